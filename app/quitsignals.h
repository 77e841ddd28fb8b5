#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

// SIGTERM (a logout, a shutdown), SIGINT (Ctrl+C in a terminal) and SIGHUP
// (the terminal went away) as a Qt signal, delivered through the event loop
// like any other event, so the program can close as a window close does:
// the consoles closed, the call log written. A handler may only write to a
// pipe; the notifier reads it on the GUI thread. One per process.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

    // On any of the signals: the window is closed, as the user would close
    // it, and the application's loop ends.
    static void closeOnQuit(QWidget& window);

signals:
    void received(int signal);

private:
    void read();

    QSocketNotifier* m_notifier = nullptr;
};
