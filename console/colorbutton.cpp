#include "console/colorbutton.h"

#include "console/blinkclock.h"
#include "console/consolelook.h"
#include "console/pixelgrid.h"
#include "console/surfacepanel.h"

#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyleOptionGraphicsItem>

#include <cmath>
#include <cstring>

namespace {

const QColor kOutline(51, 51, 85);

const ColorButtonPalette kPalettes[ColorButton::ColorCount] = {
    {kOutline, QColor(187, 187, 221), QColor(221, 221, 255), QColor(238, 238, 255)}, // Unlit
    {kOutline, QColor(0, 51, 204), QColor(0, 102, 255), QColor(0, 119, 255)},        // Blue
    {kOutline, QColor(204, 0, 0), QColor(255, 0, 0), QColor(255, 51, 51)},           // Red
    {kOutline, QColor(0, 153, 0), QColor(0, 204, 0), QColor(0, 221, 0)},             // Green
    {kOutline, QColor(204, 204, 0), QColor(255, 255, 102), QColor(255, 255, 204)},   // Yellow
};

// High contrast: every colour has a brightness of its own (in grey scale the
// face is 0 unlit, about 70 red or blue, over 200 green or yellow), a label
// that stands out on it, and an edge of its own around the face, so that no
// lamp is told apart by its hue alone: a ringing lamp (green) and one on air
// (red) differ for red/green colour-blind eyes and in grey scale.
struct HighContrastLamp
{
    ColorButtonPalette colours;
    QColor text;
    int edgeWidth;
    Qt::PenStyle edge;
};

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);

const HighContrastLamp kHighContrast[ColorButton::ColorCount] = {
    {{kWhite, kBlack, kBlack, QColor(128, 128, 128)}, kWhite, 1, Qt::SolidLine}, // Unlit
    {{kWhite, kBlack, QColor(0, 70, 220), kWhite}, kWhite, 3, Qt::DotLine},      // Blue
    {{kWhite, kBlack, QColor(200, 0, 0), kWhite}, kWhite, 3, Qt::SolidLine},     // Red
    {{kWhite, kBlack, QColor(150, 255, 150), kBlack}, kBlack, 1, Qt::SolidLine}, // Green
    {{kWhite, kBlack, QColor(255, 255, 0), kBlack}, kBlack, 3, Qt::DashLine},    // Yellow
};

// Looks come from the unit's status words through the line model; a colour
// outside the table must not index past the palettes.
int colorIndex(ColorButton::ButtonColors color)
{
    const int i = static_cast<int>(color);
    return (i >= 0 && i < ColorButton::ColorCount) ? i : ColorButton::Unlit;
}

} // namespace

ColorButton::ColorButton(bool rotated, int width, int height, QGraphicsItem* parent)
    : SurfaceButton(width, height, parent)
    , m_width(54)
    , m_height(27)
    , m_state(Steady)
    , m_first(Unlit)
    , m_second(Unlit)
    , m_blinking(false)
    , m_halfPeriod(0)
    , m_current(Unlit)
{
    for (int i = 0; i < ColorCount; ++i)
        m_palettes[i] = kPalettes[i];
    // Each paint is told the part exposed, so only that part is copied.
    setFlag(QGraphicsItem::ItemUsesExtendedStyleOption);
    if (rotated) {
        // The line lamps lean into the panel's diagonal band.
        setRotation(-45);
        setPos(-(m_width / 8), m_height + m_height / 6);
    }
}

ColorButtonPalette ColorButton::palette(ButtonColors color)
{
    return kPalettes[colorIndex(color)];
}

QRect ColorButton::boundingRecti() const
{
    return QRect(0, 0, m_width, m_height);
}

QRectF ColorButton::boundingRect() const
{
    return QRectF(boundingRecti());
}

void ColorButton::showColor(ButtonColors color)
{
    // A status report sets every lamp's look again, most often to the one it
    // shows: repainted only when its colour changes.
    const int index = colorIndex(color);
    if (index == m_current)
        return;
    m_current = index;
    updateFace();
}

void ColorButton::updateFace()
{
    // A colour changes the ring and the face only; the outline around them
    // looks the same in every colour. On a lamp leaning 45 degrees, the box
    // around those two ellipses is half of the box around the whole lamp,
    // and every item under the lamp (the panels, the background) is painted
    // again over all of the box at each blink.
    const int w = m_width;
    const int h = m_height;
    const qreal a = w - w / 5;
    const qreal b = h - w / 5;
    // The face's widest edge is 3 units; one more for antialiasing.
    const qreal margin = 2.5;
    const QRectF parts[] = {
        QRectF(w / 20, w / 20, a, b),               // ring
        QRectF(w / 10, w / 8, a * 0.95, b * 0.95),  // face
        QRectF(w / 11, w / 11, a * 0.95, b * 0.95), // face, pressed
    };
    const QTransform toScene = sceneTransform();
    QRectF box;
    for (const QRectF& part : parts) {
        const QRectF r = part.adjusted(-margin, -margin, margin, margin);
        // The box of an ellipse under a linear map: the half extents are
        // the lengths of its two mapped half axes' projections.
        const QPointF centre = toScene.map(r.center());
        const QPointF u = toScene.map(r.center() + QPointF(r.width() / 2, 0)) - centre;
        const QPointF v = toScene.map(r.center() + QPointF(0, r.height() / 2)) - centre;
        const qreal hx = std::hypot(u.x(), v.x());
        const qreal hy = std::hypot(u.y(), v.y());
        box |= QRectF(centre.x() - hx, centre.y() - hy, 2 * hx, 2 * hy);
    }
    RepaintBatch::update(this, box);
}

void ColorButton::setLook(ButtonStates state, ButtonColors first, ButtonColors second)
{
    m_state = state;
    m_first = first;
    m_second = second;
    m_blinking = false;
    if (state == BlinkSlow) {
        m_halfPeriod = 2;
        m_blinking = true;
    } else if (state == BlinkFast) {
        m_halfPeriod = 1;
        m_blinking = true;
    }
    // A new look always starts on its first colour, whatever the blink phase.
    showColor(first);
}

void ColorButton::blink(int tick)
{
    if (!m_blinking || m_halfPeriod == 0)
        return;
    // Unsigned, so a wrapped counter keeps all lamps in step instead of failing.
    const unsigned t = static_cast<unsigned>(tick);
    if (t % m_halfPeriod != 0)
        return;
    showColor(t % (2 * m_halfPeriod) == 0 ? m_first : m_second);
}

void ColorButton::setLabel(QString label)
{
    m_label = std::move(label);
    forgetDrawn();
    update();
}

void ColorButton::setSize(int width, int height)
{
    prepareGeometryChange();
    m_width = width;
    m_height = height;
    forgetDrawn();
    update();
}

void ColorButton::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*)
{
    // Blinking lamps are drawn anew several times a second, and the lamps of
    // every console share a handful of looks. So a look is drawn once for
    // its place on the device's pixel grid, kept in the pixmap cache and
    // copied from there: the same picture (edge pixels differ by at most one
    // level of rounding) at a fraction of the cost. Painters that cannot take
    // such a copy get the lamp drawn directly.
    PixelGrid grid;
    // One unit of margin for the outline's pen and its antialiasing.
    if (!grid.place(painter, QRectF(-1, -1, m_width + 2, m_height + 2))) {
        drawLamp(painter);
        return;
    }
    const bool highContrast = ConsoleLook::isHighContrast(*this);
    // The part of the lamp to be painted: a column of blinking lamps is
    // repainted as one rectangle, narrower than a leaning lamp's picture.
    // A part that reaches only the outline's overhang out of the bounding
    // rectangle comes as none: then the whole picture, kept to the clip.
    const QRectF part
        = option && !option->exposedRect.isEmpty() ? option->exposedRect.adjusted(-1, -1, 1, 1) : QRectF();
    // A blinking lamp shows two looks in turn: both stay at hand.
    for (const Drawn& drawn : m_drawn) {
        if (drawn.look == m_current && drawn.pressed == m_pressed && drawn.highContrast == highContrast
            && drawn.grid.sameGrid(grid)) {
            grid.draw(painter, drawn.picture, part);
            return;
        }
    }
    const ColorButtonPalette& pal = m_palettes[m_current];
    // The numbers' own bits as characters: printing them cost more than the
    // copy of the lamp, and blinking lamps are painted several times a second.
    const quint32 look[]
        = {pal.outline.rgba(), pal.ring.rgba(),   pal.face.rgba(),     pal.faceEdge.rgba(),
           quint32(m_width),   quint32(m_height), m_pressed ? 1u : 0u, highContrast ? quint32(m_current) : 0xffffffffu};
    constexpr size_t unitCount = sizeof(look) / (sizeof(ushort));
    ushort units[unitCount];
    std::memcpy(units, look, sizeof look);
    const QString key = QStringLiteral("mirt-lamp/") + QString(reinterpret_cast<const QChar*>(units), int(unitCount))
        + grid.key() + QLatin1Char('/') + m_label;
    QPixmap lamp;
    if (!QPixmapCache::find(key, &lamp)) {
        lamp = grid.render([this](QPainter* p) { drawLamp(p); });
        QPixmapCache::insert(key, lamp);
    }
    m_drawn[m_nextDrawn] = {m_current, m_pressed, highContrast, grid, lamp};
    m_nextDrawn = 1 - m_nextDrawn;
    grid.draw(painter, lamp, part);
}

void ColorButton::forgetDrawn()
{
    for (Drawn& drawn : m_drawn)
        drawn = Drawn();
}

void ColorButton::drawLamp(QPainter* painter) const
{
    const bool highContrast = ConsoleLook::isHighContrast(*this);
    const HighContrastLamp& strong = kHighContrast[m_current];
    const ColorButtonPalette& pal = highContrast ? strong.colours : m_palettes[m_current];
    const int w = m_width;
    const int h = m_height;
    const int a = w - w / 5;
    const int b = h - w / 5;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    painter->setBrush(pal.outline);
    painter->setPen(QPen(pal.outline, 1));
    painter->drawEllipse(QRect(0, 0, w, h));

    painter->setBrush(pal.ring);
    painter->setPen(QPen(pal.ring, 1));
    painter->drawEllipse(QRect(w / 20, w / 20, a, b));

    // Pressing moves the face up and left, into the ring's shadow.
    const QPoint origin = m_pressed ? QPoint(w / 11, w / 11) : QPoint(w / 10, w / 8);
    const QRect face(origin, QSize(static_cast<int>(a * 0.95), static_cast<int>(b * 0.95)));
    painter->setBrush(pal.face);
    if (highContrast)
        painter->setPen(QPen(pal.faceEdge, strong.edgeWidth, strong.edge));
    else
        painter->setPen(QPen(pal.faceEdge, 1));
    painter->drawEllipse(face);

    painter->setFont(SurfacePanel::surfaceFont(8, true));
    painter->setPen(highContrast ? strong.text : QColor(Qt::black));
    painter->drawText(face, Qt::AlignCenter, m_label);

    painter->restore();
}
