#include "console/dropbutton.h"

#include "console/consolelook.h"
#include "console/pixelgrid.h"
#include "console/surfacepanel.h"

#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>

DropButton::DropButton(int width, int height, QGraphicsItem* parent)
    : SurfaceButton(width, height, parent)
    , m_diameter(40)
{
    // Leans like the line's lamps; the line model later places it absolutely.
    setRotation(-45);
    setPos(m_diameter / 3, m_diameter / 2);
}

QRect DropButton::boundingRecti() const
{
    return QRect(0, 0, m_diameter, m_diameter);
}

QRectF DropButton::boundingRect() const
{
    return QRectF(boundingRecti());
}

void DropButton::setArmed(bool armed)
{
    const bool changed = armed != m_armed;
    m_armed = armed;
    // Dims at once, so the first press shows before the next blink tick.
    m_dimmed = armed;
    update();
    if (changed)
        emit armedChanged(armed);
}

void DropButton::blink(int tick)
{
    if (!m_armed)
        return;
    const bool dimmed = (unsigned(tick) % 2) == 0;
    if (dimmed == m_dimmed)
        return;
    m_dimmed = dimmed;
    update();
}

void DropButton::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    static const RoundLook look{QColor(51, 51, 85), QColor(153, 0, 0), QColor(255, 0, 51),
                                QColor(204, 0, 0),  QColor(Qt::white), 9};
    // The other half of an armed blink: an unlit lamp's colours, red label.
    static const RoundLook dimmed{QColor(51, 51, 85),    QColor(187, 187, 221), QColor(221, 221, 255),
                                  QColor(238, 238, 255), QColor(204, 0, 0),     9};
    // High contrast: a darker red face inside a white edge, and a black
    // one while an armed DROP blinks.
    static const RoundLook strong{QColor(255, 255, 255), QColor(0, 0, 0),       QColor(200, 0, 0),
                                  QColor(255, 255, 255), QColor(255, 255, 255), 9};
    static const RoundLook strongDimmed{QColor(255, 255, 255), QColor(0, 0, 0),     QColor(0, 0, 0),
                                        QColor(128, 128, 128), QColor(255, 90, 90), 9};
    const bool highContrast = ConsoleLook::isHighContrast(*this);
    const RoundLook& shown = highContrast ? (m_dimmed ? strongDimmed : strong) : (m_dimmed ? dimmed : look);
    const auto draw = [&](QPainter* p) { paintRound(p, m_diameter, shown, QStringLiteral("DROP")); };

    // Every change of its line's panel paints over the button too: its few
    // looks are drawn once for their place on the pixel grid and copied, as
    // the lamps' are.
    PixelGrid grid;
    if (!grid.place(painter, QRectF(-2, -2, m_diameter + 4, m_diameter + 4))) {
        draw(painter);
        return;
    }
    const QString key = QStringLiteral("mirt-drop/%1/%2/%3/%4/")
                            .arg(highContrast ? 1 : 0)
                            .arg(m_dimmed ? 1 : 0)
                            .arg(m_pressed ? 1 : 0)
                            .arg(m_diameter)
        + grid.key();
    QPixmap picture;
    if (!QPixmapCache::find(key, &picture)) {
        picture = grid.render(draw);
        QPixmapCache::insert(key, picture);
    }
    grid.draw(painter, picture);
}
