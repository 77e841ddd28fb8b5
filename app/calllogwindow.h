#pragma once

#include "calllog/callrecord.h"

#include <QDate>
#include <QString>
#include <QTimer>
#include <QWidget>

class CallLog;
class CallTableModel;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableView;
class QTableWidget;

// The show log on screen: the calls of the log, newest first or in the
// order of the column header clicked, with a text search and filters for
// unit, outcome and dates, the selected call's notes beside the table and
// per-day totals below it. Follows the log live while it is shown, row by
// row so that the selection, the current row and the scroll position stay;
// exports the rows it selects to CSV and deletes selected calls. Every
// search and sort runs in the log's database on its worker thread; the
// window only shows answers. Owned by the main window, which opens it from
// its "Call Log" button and from a console's Ctrl+L.
class CallLogWindow : public QWidget
{
    Q_OBJECT

public:
    // The first this many matching calls in the chosen order are listed;
    // totals and exports cover them all.
    static constexpr int RowLimit = 2000;

    explicit CallLogWindow(CallLog& log, QWidget* parent = nullptr);
    ~CallLogWindow() override;

    // Shows only that unit's calls; empty for every unit.
    void setUnitFilter(const QString& unitKey);
    QString unitFilter() const;
    CallFilter filter() const;
    // The order chosen with the headers, kept in the settings.
    CallSort sort() const { return m_sort; }
    CallTableModel& model() const { return *m_model; }

    // Writes the calls the filters select to path; exported() reports.
    void exportTo(const QString& path);

    // The retention setting the user chose (days), and where it is kept;
    // the window changes it only after asking when it deletes calls.
    static int retentionDays();
    static void setRetentionDays(int days);

public slots:
    // Asks the log again with the current filters, also while hidden.
    void refresh();
    void deleteSelected();

signals:
    // An answer of the log is on screen.
    void refreshed();
    void exported(bool ok, int rows, const QString& error);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildUi();
    bool onScreen() const;
    // The log's today, which the date ranges count from.
    QDate today() const;
    // A filter changed: asks now when shown, else when shown next.
    void refreshWhenShown();
    // The log changed: one search at a time, none while hidden.
    void logChanged();
    void sortChanged(int column, Qt::SortOrder order);
    void showRows(const QVector<CallRecord>& rows, bool sameSearch);
    QString limitText(int shown, int matching) const;
    void setUnits(QStringList units);
    void copySelected();
    void showNotes();
    // The retention box settled on a value: saved when it keeps more,
    // asked about with the number of calls it deletes when it keeps less.
    void retentionEdited();
    void confirmRetention(int ticket, int calls, const QString& refused);
    void showResult(int ticket, const CallQueryResult& result);
    void showDetails();
    void showError(const QString& text);
    void chooseExportFile();
    void rangeChanged();
    QVector<qint64> selectedIds() const;

    CallLog& m_log;
    CallTableModel* m_model;
    QLabel* m_error = nullptr;
    QLineEdit* m_search = nullptr;
    QComboBox* m_unit = nullptr;
    QComboBox* m_outcome = nullptr;
    QComboBox* m_range = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_details = nullptr;
    QPlainTextEdit* m_notes = nullptr;
    QTableWidget* m_days = nullptr;
    QLabel* m_count = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_delete = nullptr;
    QSpinBox* m_retention = nullptr;

    // Typing and the log's changes ask again after a short quiet spell.
    QTimer m_searchDelay;

    QTimer m_retentionDelay;
    int m_retentionTicket = 0;
    int m_retentionAsked = 0;
    int m_queryTicket = 0;
    // An answer to m_queryTicket is awaited; the log changed meanwhile.
    bool m_waiting = false;
    bool m_changedMeanwhile = false;
    // The log changed or a filter did while the window was hidden.
    bool m_stale = true;
    CallSort m_sort;
    // The search asked last, and the one whose answer is on screen: a
    // newer answer to the same search is merged in place.
    CallFilter m_askedFilter;
    CallSort m_askedSort;
    CallFilter m_shownFilter;
    CallSort m_shownSort;
    bool m_showsRows = false;
    int m_exportTicket = 0;
    // Chosen before the unit list knew the unit.
    QString m_wantedUnit;
};
