#pragma once

#include "message/message.h"
#include "unit/callerinfo.h"
#include "unit/linestatus.h"
#include "unit/surfacestatus.h"
#include "unit/unitcommands.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <vector>

class SimPeer;

// A stand-in for a MIRT Orvel unit: a TCP server that speaks the unit's
// protocol to any number of consoles at once. It checks the login password,
// answers "resync" with the full status, ticks every second, changes its
// lines when consoles press buttons and reports every change to every
// logged-in console, keeps and re-sends caller information, relays chat and
// can start made-up calls. Tests drive it directly: start it on port 0, make
// it send any frame, read back what it received, and switch on faults.
class UnitSimulator : public QTcpServer
{
    Q_OBJECT

public:
    static constexpr unsigned int MAX_LINES = LineStatus::MaxLines;
    static constexpr unsigned int NUM_SURFACES = 4;

    // One telephone line as the unit keeps it: what it reports, and the
    // caller information behind it.
    struct Line : LineStatus
    {
        Line() { setWord(Idle); }
        // As the consoles sent it; no fields when nobody did.
        CallerInfo info;
        // The made-up caller of a ringing line, screened when answered.
        CallerInfo caller;
    };
    using Surface = SurfaceStatus;

    // A message a console sent, with the connection it came on.
    struct Received
    {
        int connection;
        Message msg;
    };

    explicit UnitSimulator(QObject* parent = nullptr);
    ~UnitSimulator() override;

    // Listens on address:port (port 0 lets the system choose).
    bool start(quint16 port = 0, const QHostAddress& address = QHostAddress(QHostAddress::LocalHost));
    quint16 port() const { return serverPort(); }

    void setPassword(const QString& password) { m_password = password; }
    QString password() const { return m_password; }
    // 12 or 6; other values are taken as 12.
    void setNumLines(unsigned int lines);
    unsigned int numLines() const { return m_numLines; }
    void setVerbose(bool verbose) { m_verbose = verbose; }
    void setTickInterval(int ms);
    // Made-up incoming calls every interval; unanswered ones end after
    // ringTimeout ticks.
    void setCalls(bool enabled, int intervalMs = 4000);
    void setRingTimeout(unsigned int ticks) { m_ringTimeout = ticks; }

    const Line& line(unsigned int index) const;
    const Surface& surface(unsigned int index) const;
    void setSurface(unsigned int index, bool online, const QString& type);
    bool aaEnabled() const { return m_aaEnabled; }
    bool busiedOut() const { return m_busiedOut; }

    // Starts a call ringing on that line (when it is idle); returns whether
    // it did. ring() without a line picks the first idle one.
    bool ring(unsigned int line, const QString& name = QString());
    bool ring();
    // Rings with this caller information, which the unit hands out once the
    // call is taken.
    bool ring(unsigned int line, const CallerInfo& caller);

    // What the unit's other positions and the callers do, for scripted
    // shows: puts a line in any state and reports it to every console.
    // "on hook (idle)" ends the call, clearing its flags and caller
    // information; taking a ringing call hands out its caller information.
    bool setLineState(unsigned int line, const QString& status, int location = 0);
    bool setLineFlag(unsigned int line, UnitCommands::Flag flag, bool state);
    // Replaces the caller information of a line and reports it.
    bool setCallerInfo(unsigned int line, const CallerInfo& info);

    int connectionCount() const { return m_peers.size(); }
    int loggedInCount() const;
    QList<int> connectionIds() const;
    // The surface and handset id a connection announced.
    unsigned int connectionSurface(int connection) const;
    QString connectionHandsetId(int connection) const;

    // Sends to one connection, or to every open one with connection 0,
    // whether logged in or not.
    void sendMessage(const Message& msg, int connection = 0);
    void sendRaw(const QByteArray& bytes, int connection = 0);

    // Everything the consoles sent, in order of arrival.
    const std::vector<Received>& received() const { return m_received; }
    QList<Message> receivedMessages(const QString& name = QString()) const;
    void clearReceived() { m_received.clear(); }
    // On by default; a long-running demo turns it off so memory stays flat.
    void setRecording(bool recording) { m_recording = recording; }

    // One second of the unit's clock: every line in use counts on, and
    // "timer_tick" goes out. The tick timer calls it; a test with a clock of
    // its own calls it as its clock advances.
    void tick();

    // Fault switches for reliability tests.
    void setStopReading(bool stop);
    void setIgnoreLogin(bool ignore) { m_ignoreLogin = ignore; }
    void dropAllConnections();
    void dropConnection(int connection);

signals:
    void messageReceived(int connection, const Message& msg);
    void connectionOpened(int connection);
    void connectionClosed(int connection);

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    void peerReceived(SimPeer* peer, const Message& msg);
    void peerClosed(SimPeer* peer);
    void madeUpCall();

    void handleLogin(SimPeer* peer, const Message& msg);
    void handleResync(SimPeer* peer);
    void handleLineState(SimPeer* peer, const Message& msg);
    void handleLineFlags(const UnitCommands::FlagCommand& command);
    void handleAncillary(SimPeer* peer, const Message& msg);
    // Takes a ringing call's caller information as the line's own.
    void screen(unsigned int index);

    void setLineStatus(unsigned int index, LineStatus::Word word, int location = 0);
    void setLineStatus(unsigned int index, const QString& status, int location);
    void clearInfo(unsigned int index);

    Message lineStatus(unsigned int index) const;
    Message ancillaryData(unsigned int index, bool local) const;
    Message systemStatus() const;
    Message surfaceStatus(unsigned int index) const;

    // To every logged-in console.
    void broadcast(const Message& msg);
    void send(SimPeer* peer, const Message& msg);
    SimPeer* peer(int connection) const;

    QString m_password = QStringLiteral("tavrik");
    unsigned int m_numLines = MAX_LINES;
    bool m_verbose = false;
    bool m_aaEnabled = false;
    bool m_busiedOut = false;
    bool m_stopReading = false;
    bool m_ignoreLogin = false;
    bool m_recording = true;
    unsigned int m_ringTimeout = 20;
    unsigned int m_callCounter = 0;
    int m_nextId = 1;

    Line m_lines[MAX_LINES];
    Surface m_surfaces[NUM_SURFACES];
    QList<SimPeer*> m_peers;
    std::vector<Received> m_received;
    QTimer m_tickTimer;
    QTimer m_callTimer;
};
