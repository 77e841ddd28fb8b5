#pragma once

#include "console/customgraphicsview.h"
#include "console/offlinepanel.h"
#include "ipc/ipcobject.h"
#include "support/qtcompat.h"

#include <QGraphicsScene>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>

class QProgressBar;
class Lines;
class Chat;
class InfoEdit;
class Top;
class Keyboard;
class ConsoleAccess;
class AttentionEvents;
class CallerHistorySource;
class HistoryMarks;
class NameCompleter;
class QMenu;

// The console of one unit: owns the session to the unit, keeps retrying the
// connection until the session is ready, and shows either the connection
// screen or the drawn console. Created and deleted by the main window, which
// it tells when its window is closed or the unit refused the password.
class MIRTGui : public QObject
{
    Q_OBJECT

public:
    MIRTGui(QString address, int port, QString username, QString password);
    ~MIRTGui() override;

    void setPassword(QString password);
    // Closes the session for good: the console is about to be deleted, so it
    // neither retries nor brings a window back up any more.
    void disconnect();
    // Selects a line as a click on its panel does; a line beyond the unit's
    // number of lines is ignored.
    void selectLine(unsigned line);

    // For the controllers that draw into the console.
    IPCObject& session() { return m_session; }
    QGraphicsScene& consoleScene() { return m_consoleScene; }
    QPalette& palette() { return m_palette; }
    Lines* lines() const { return m_lines.get(); }
    Chat* chat() const { return m_chat.get(); }
    InfoEdit* infoEdit() const { return m_infoEdit.get(); }
    Top* top() const { return m_top.get(); }
    Keyboard* keyboard() const { return m_keyboard.get(); }
    ConsoleAccess* access() const { return m_access.get(); }
    // What on this console's session is news to its user.
    AttentionEvents& attentionEvents() const { return *m_attentionEvents; }

    // Where this console learns about its callers' earlier calls (the
    // application's call log); null, as at first, for none: no completion
    // of names, no marks. Not owned.
    void setCallerHistory(CallerHistorySource* source);
    CallerHistorySource* callerHistory() const;
    NameCompleter* nameCompleter() const { return m_completer.get(); }
    // The caller of the selected line; empty without a selection.
    QString selectedCallerName() const;
    QString selectedCallerLocation() const;

    // The high-contrast look of both windows (see ConsoleLook).
    void setHighContrast(bool on);
    bool highContrast() const;

    const QString& address() const { return m_address; }
    int port() const { return m_port; }
    const QString& unitKey() const { return m_unitKey; }

    // What the connection screen shows, and the two windows.
    QString statusText() const { return m_connectionPanel.status(); }
    QString errorText() const { return m_connectionPanel.error(); }
    int progressValue() const;
    int progressMaximum() const;
    bool retryTimerActive() const { return m_retryTimer.isActive(); }
    CustomGraphicsView& consoleView() { return m_consoleView; }
    CustomGraphicsView& connectionView() { return m_connectionView; }
    QGraphicsScene& connectionScene() { return m_connectionScene; }

signals:
    void closing(QString address, int port);
    void requestPassword(QString address, int port);
    // The user asked for the call log of this unit (Ctrl+L); the application
    // opens it.
    void callLogRequested();
    // The user asked for the selected caller's earlier calls (Ctrl+H, or
    // the context menu); the application opens them.
    void callerHistoryRequested();
    // Another line was selected, or the selected line's caller changed.
    void selectedCallerChanged();
    // The window's context menu is about to open (a right click on the
    // drawn console): the application adds its entries, which come first.
    void contextMenu(QMenu* menu);
    // The user switched the high-contrast look in the context menu; this
    // console already shows it.
    void highContrastChosen(bool on);

public slots:
    void saveGeometry();

private slots:
    void handleViewClosing();
    void ipcChangedState(IPCObject::IPC_STATE state);
    void ipcError(QString text);
    void connectTimer();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tryConnect();
    void setOnline(bool online);
    void setupViewScene(QGraphicsView& view, QGraphicsScene& scene);
    void describeConnection();
    void buildPalette();

    IPCObject m_session;
    QString m_address;
    int m_port;
    QString m_username;
    QString m_password;

    QGraphicsScene m_consoleScene;
    CustomGraphicsView m_consoleView;
    QGraphicsScene m_connectionScene;
    CustomGraphicsView m_connectionView;
    // Declared after its scene, so it leaves the scene before the scene goes.
    OfflinePanel m_connectionPanel;
    // Owned by its proxy item in the connection scene.
    QProgressBar* m_progress = nullptr;
    QTimer m_retryTimer;
    QPalette m_palette;

    // Follows the session; the attention code and m_access follow it.
    std::unique_ptr<AttentionEvents> m_attentionEvents;

    // The controllers of the live console, declared after the scene they
    // draw into so they leave it first, and in the order they are built:
    // InfoEdit and Top follow the line selection of Lines, so they go before
    // it.
    std::unique_ptr<Lines> m_lines;
    std::unique_ptr<Chat> m_chat;
    std::unique_ptr<InfoEdit> m_infoEdit;
    std::unique_ptr<Top> m_top;
    // Drives all four above from the keyboard, so it goes first.
    std::unique_ptr<Keyboard> m_keyboard;
    // Reads all of the above for assistive technology, so it goes first.
    std::unique_ptr<ConsoleAccess> m_access;
    // Read the editor and the lines, and take the list's keys before the
    // keyboard: they go first.
    std::unique_ptr<HistoryMarks> m_marks;
    std::unique_ptr<NameCompleter> m_completer;
    QPointer<CallerHistorySource> m_history;

    Utf8Settings m_settings;
    QString m_unitKey;

    // A refused password leaves the console waiting for the user; a dropped
    // connection meanwhile must not start a retry with the refused password.
    bool m_awaitingPassword = false;
    // Set by disconnect(): the console is on its way out.
    bool m_shutDown = false;
};
