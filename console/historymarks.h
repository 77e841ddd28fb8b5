#pragma once

#include "console/callerhistorysource.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

class InfoEdit;
class Lines;
struct LineAttributes;

// Marks the lines whose caller has called before: asks the history source
// about each line's caller when the caller's name or location changes (and
// when the log changes), sets the line's history from the answer, and puts
// the selected caller's last three calls and flag into the caller editor's
// tooltip. An answer about a caller the line no longer shows is dropped.
// Created and deleted by the console window, after the lines and the editor.
class HistoryMarks : public QObject
{
    Q_OBJECT

public:
    // Changes of a caller's texts are gathered this long before the log is
    // asked: the unit echoes every keystroke of the screener.
    static constexpr int SettleMs = 300;
    // Calls listed in the tooltip.
    static constexpr int TooltipCalls = 3;

    HistoryMarks(Lines& lines, InfoEdit& edit);
    ~HistoryMarks() override;

    // No source: no marks, no tooltip.
    void setSource(CallerHistorySource* source);
    // The selected line's caller's calls and flag, as the tooltip shows them.
    QString selectedSummary() const;

    // The text of a tooltip about an answer.
    static QString summary(const HistoryAnswer& answer);

private:
    struct Asked
    {
        unsigned line = 0;
        QString name;
        QString location;
    };
    void schedule(unsigned line);
    void scheduleAll();
    void ask();
    void answered(int ticket, const HistoryAnswer& answer);
    void showTooltip();

    Lines& m_lines;
    InfoEdit& m_edit;
    QPointer<CallerHistorySource> m_source;
    QSet<unsigned> m_due;
    QTimer m_settle;
    QHash<int, Asked> m_asked;
    // The last answer of each line, for the tooltip.
    QHash<unsigned, HistoryAnswer> m_answers;
};
