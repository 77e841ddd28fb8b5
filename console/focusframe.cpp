#include "console/focusframe.h"

#include "console/consolelook.h"

#include <QPainter>

FocusFrame::FocusFrame()
{
    setZValue(0.5);
    setVisible(false);
}

void FocusFrame::frame(const QRectF& panel)
{
    if (panel.size() != m_rect.size())
        prepareGeometryChange();
    setPos(panel.topLeft());
    m_rect = QRectF(QPointF(0, 0), panel.size());
}

QRectF FocusFrame::boundingRect() const
{
    return m_rect;
}

void FocusFrame::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(ConsoleLook::focusFrame(ConsoleLook::isHighContrast(*this)), Width));
    // The panel's corners are rounded by 10; the frame follows them inside.
    const qreal inset = Width / 2;
    painter->drawRoundedRect(m_rect.adjusted(inset, inset, -inset, -inset), 10 - inset, 10 - inset);
    painter->restore();
}
