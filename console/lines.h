#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>

class IPCObject;
class Line;
class Message;
class QGraphicsScene;
struct Surface;

// What the unit last reported about one line in "line_status". The time is
// counted up locally between reports, one second per "timer_tick".
struct LineState
{
    QString status;
    bool locked = false;
    bool override = false;
    bool priority = false;
    uint32_t ring_num = 0;
    uint64_t time = 0;
    bool utility = false;
    int32_t location = 0;

    void setState(const QString& status, bool locked, bool override, bool priority, uint32_t ring_num,
                  uint32_t time, bool utility, int32_t location);
};

// The caller information of one line, as the unit last sent it in
// "ancillary_data". The index fields select the gender and mood entries.
struct LineAttributes
{
    QString name;
    QString location;
    QString topic;
    QString notes;
    uint32_t genderidx = 0;
    QString gender = QStringLiteral("unknown");
    uint32_t moodidx = 0;
    QString mood = QStringLiteral("neutral");

    void setAttributes(const QString& name, const QString& location, const QString& topic,
                       const QString& notes, uint32_t genderidx, const QString& gender, uint32_t moodidx,
                       const QString& mood);
};

// The console's model of the unit's twelve telephone lines. Owns the Line
// objects (and through them their drawn panels and buttons), the blink clock
// shared by every lamp of the console, the number of lines in use and the
// selected line. Created and deleted by the console window.
class Lines : public QObject
{
    Q_OBJECT

public:
    enum { MaxLines = 12 };
    // Half a blink period of a fast-blinking lamp.
    enum { BlinkIntervalMs = 225 };

    Lines(QGraphicsScene& scene, IPCObject& session);
    ~Lines() override;

    unsigned count() const { return m_count; }
    // Null for an index outside 0..11.
    Line* line(unsigned index) const;
    // The caller information of a line; null for an index outside 0..11.
    LineAttributes* attributes(unsigned index) const;
    unsigned selectedLine() const { return m_selected; }
    // False until the user first picks a line.
    bool hasSelection() const { return m_hasSelection; }
    const QTimer& blinkTimer() const { return m_blinkTimer; }

signals:
    void blink(int tick);
    void lineSelected(uint line, LineAttributes& attributes);
    void ancillaryChanged(uint line, LineAttributes& attributes, bool local);

public slots:
    void changeAssociation(bool associated, Surface* surface);
    void timer();
    void panelSelected(uint line);
    void ipcRecvLineStatus(const Message& msg);
    void ipcRecvAncillaryData(const Message& msg);
    void ipcRecvTimerTick(const Message& msg);
    void ipcRecvSystemStatus(const Message& msg);

private:
    QGraphicsScene& m_scene;
    IPCObject& m_session;
    unsigned m_count;
    std::array<Line*, MaxLines> m_lines;
    QTimer m_blinkTimer;
    uint32_t m_blinkCounter;
    unsigned m_selected;
    bool m_hasSelection;
};
