#pragma once

#include "app/attentionsettings.h"
#include "app/consoleoptions.h"
#include "attention/desktopnotifier.h"
#include "store/unittablemodel.h"

#include <QMainWindow>
#include <QMap>
#include <QString>

class CallLog;
class CallLogWindow;
class CallerHistoryWindow;
class LogCallerHistory;
class MIRTGui;
class QCloseEvent;
class QMenu;
class QModelIndex;
class QPoint;

namespace Ui {
class MainWindow;
}

// The directory of saved units and the one main window of the program: a
// table of units with Connect, Add and Remove. It owns the unit store and
// keeps track of the console window open for each unit.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    AttentionSettings& attentionSettings() { return m_attention; }
    // The consoles' look, which every console follows.
    ConsoleOptions& consoleOptions() { return m_consoleOptions; }
    // The console open for a unit key, or null.
    MIRTGui* console(const QString& key) const { return m_consoles.value(key); }

    // The show log the consoles opened from here write to; without one the
    // "Call Log" button is disabled. Set once, before the first Connect.
    void setCallLog(CallLog* log);
    // Opens (or raises) the log window, showing one unit's calls, or every
    // unit's for an empty key.
    void showCallLog(const QString& unitKey = QString());
    CallLogWindow* callLogWindow() const { return m_callLogWindow; }
    // Opens (or raises) the "Caller History" window, following the
    // selected caller of the console filed under the key.
    void showCallerHistory(const QString& unitKey);
    CallerHistoryWindow* callerHistoryWindow() const { return m_historyWindow; }

public slots:
    void handleQuit();
    void handleAdd();
    void handleRemove();
    void handleConnect();
    void handleTableSelect(const QModelIndex& index);
    void handleMIRTWindowClosed(QString address, int port);
    void handlePasswordRequest(QString address, int port);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The display text of a column of a row; empty for a short row.
    QString cellText(int row, int column) const;
    // Shuts down and forgets the console filed under key, if it is open.
    void closeConsole(const QString& key);
    // Asks for the password of the console filed under key, if it is open.
    void askPassword(const QString& key);
    // The attention switches: the two for all units and, when a unit key is
    // given, that unit's own.
    void fillAttentionMenu(QMenu& menu, const QString& unitKey);
    void showTableMenu(const QPoint& pos);
    // Makes sure the row the keyboard is on (the selected row, or else the
    // current one) is selected; false when there is none.
    bool selectKeyboardRow();

    Ui::MainWindow* m_ui;
    UnitTableModel m_units;
    AttentionSettings m_attention;
    ConsoleOptions m_consoleOptions;
    // Shared by every console; on the session bus, first used when a
    // console has something to show.
    DesktopNotifier m_notifier;
    // Unit key "address:port" to the console open for that unit.
    QMap<QString, MIRTGui*> m_consoles;
    CallLog* m_callLog = nullptr;
    CallLogWindow* m_callLogWindow = nullptr;
    CallerHistoryWindow* m_historyWindow = nullptr;
    // The history window's own source; each console has its own too.
    LogCallerHistory* m_historySource = nullptr;
};
