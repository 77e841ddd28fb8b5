#pragma once

#include "console/callerhistorysource.h"

#include <QHash>
#include <QListWidget>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QTransform>
#include <QVector>

class InfoEdit;
class Lines;
class QGraphicsScene;
class QGraphicsView;

// Completes the caller editor's Name field from the log: after two typed
// characters it asks the history source for earlier callers and shows them
// in a list of its own under the field. Up and Down move in the list (and
// change no field), Return or a click chooses: the editor takes the name,
// and the location when that field is empty, and sends the record once.
// Escape closes the list and keeps what was typed. Answers for a text the
// user has typed past are dropped, and a source that is slow or absent only
// means that no list appears. Created and deleted by the console window,
// after the editor and the keyboard (its keys come before theirs).
class NameCompleter : public QObject
{
    Q_OBJECT

public:
    // Typed characters before the log is asked.
    static constexpr int MinTyped = 2;
    static constexpr int MaxShown = 8;

    NameCompleter(QGraphicsView& view, QGraphicsScene& scene, InfoEdit& edit, Lines& lines);
    ~NameCompleter() override;

    // No source: no list, the editor as without a log.
    void setSource(CallerHistorySource* source);
    bool isShown() const { return m_list.isVisible(); }
    const QListWidget& list() const { return m_list; }
    // The entries shown, as they read.
    QStringList shownTexts() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void typed(const QString& text);
    void found(int ticket, const QVector<HistoryCaller>& callers);
    void choose(int row);
    void close();
    void prepareList();
    void prepareGlyphs(int quarter);

    QGraphicsScene& m_scene;
    QGraphicsView& m_view;
    InfoEdit& m_edit;
    QPointer<CallerHistorySource> m_source;
    // The question whose answer is awaited, and the text it asked about.
    int m_ticket = 0;
    QString m_asked;
    QVector<HistoryCaller> m_callers;
    // The scaling, the view's and the screen's, the list's glyphs were last
    // prepared for.
    QTransform m_preparedFor;
    bool m_prepared = false;
    // The sizes of the rows shown, by their texts.
    QHash<QString, QSize> m_rowSizes;
    QListWidget m_list;
};
