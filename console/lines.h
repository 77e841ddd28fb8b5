#pragma once

#include "console/blinkclock.h"
#include "console/line.h"

#include <QObject>
#include <QRectF>
#include <QTimer>
#include <QVector>

#include <array>
#include <cstdint>
#include <memory>

class IPCObject;
class Message;
class QGraphicsScene;
struct Surface;

// The console's model of the unit's twelve telephone lines. Owns the Line
// objects (and through them their drawn panels and buttons), a hold on the
// blink clock every lamp of the program follows, the number of lines in use
// and the selected line. Created and deleted by the console window.
class Lines : public QObject
{
    Q_OBJECT

public:
    enum { MaxLines = LineStatus::MaxLines };
    // Half a blink period of a fast-blinking lamp.
    enum { BlinkIntervalMs = BlinkClock::IntervalMs };

    Lines(QGraphicsScene& scene, IPCObject& session);
    ~Lines() override;

    unsigned count() const { return m_count; }
    // Null for an index outside 0..11.
    Line* line(unsigned index) const;
    // Where the shown lines' panels paint every pixel, in scene coordinates.
    QVector<QRectF> opaqueAreas() const;
    // The caller information of a line; null for an index outside 0..11.
    LineAttributes* attributes(unsigned index) const;
    unsigned selectedLine() const { return m_selected; }
    // False until the user first picks a line.
    bool hasSelection() const { return m_hasSelection; }
    const QTimer& blinkTimer() const { return m_blinkClock->timer(); }

signals:
    void blink(int tick);
    void lineSelected(uint line, LineAttributes& attributes);
    void ancillaryChanged(uint line, LineAttributes& attributes, bool local);

public slots:
    void changeAssociation(bool associated, Surface* surface);
    // One tick of the shared blink clock now, for every console.
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
    std::shared_ptr<BlinkClock> m_blinkClock;
    // After the blink clock: the lines go first when the model is destroyed.
    std::array<std::unique_ptr<Line>, MaxLines> m_lines;
    unsigned m_selected;
    bool m_hasSelection;
};
