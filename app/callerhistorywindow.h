#pragma once

#include "console/callerhistorysource.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

class MIRTGui;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// "Caller History": every earlier call of one caller, newest first, with
// date and time, unit, line, topic, outcome, wait and air times and notes;
// the caller's flag, which the user sets here; and an entry box to look up
// any other name. Follows the selected line of the console that opened it
// while it is open. Asks only its history source, whose answers come from
// off the GUI thread. Owned by the main window, which opens it on a
// console's Ctrl+H.
class CallerHistoryWindow : public QWidget
{
    Q_OBJECT

public:
    // Calls listed at most.
    static constexpr int RowLimit = 500;

    explicit CallerHistoryWindow(CallerHistorySource& source, QWidget* parent = nullptr);
    ~CallerHistoryWindow() override;

    // Shows the selected caller of this console, now and whenever it
    // changes.
    void follow(MIRTGui* console);
    // Shows one caller (a location tells two callers of a name apart).
    void showCaller(const QString& name, const QString& location);
    const QString& callerName() const { return m_name; }
    const QString& callerLocation() const { return m_location; }
    QTableWidget& table() const { return *m_table; }
    QLineEdit& flagEditor() const { return *m_flag; }
    QLineEdit& lookUpEditor() const { return *m_lookUp; }
    QString flagShown() const;

signals:
    // An answer is on screen.
    void shown();

private:
    void refresh();
    void answered(int ticket, const HistoryAnswer& answer);
    void setFlag();

    CallerHistorySource& m_source;
    QPointer<MIRTGui> m_console;
    QString m_name;
    QString m_location;
    int m_ticket = 0;
    int m_flagTicket = 0;
    QString m_flagShown;
    QTimer m_changeDelay;
    QLineEdit* m_lookUp = nullptr;
    QLabel* m_caller = nullptr;
    QLineEdit* m_flag = nullptr;
    QPushButton* m_setFlag = nullptr;
    QLabel* m_error = nullptr;
    QTableWidget* m_table = nullptr;
};
