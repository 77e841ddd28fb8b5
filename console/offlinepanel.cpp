#include "console/offlinepanel.h"

#include <QPainter>

OfflinePanel::OfflinePanel(int width, int height, QGraphicsItem* parent)
    : SurfacePanel(width, height, parent)
    , m_status(QStringLiteral("Connecting..."))
{
}

QRect OfflinePanel::boundingRecti() const
{
    return QRect(256, 240, 512, 256);
}

QRectF OfflinePanel::boundingRect() const
{
    return QRectF(boundingRecti());
}

void OfflinePanel::setStatus(QString status)
{
    m_status = std::move(status);
    update();
}

void OfflinePanel::setError(QString error)
{
    m_error = std::move(error);
    update();
}

void OfflinePanel::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    drawFrame(painter, boundingRecti());

    // A missing image is a null pixmap, which draws nothing.
    drawImage(painter, QPoint(362, 250), m_ardenoLogo300);
    drawImage(painter, QPoint(362, 310), m_mirtLogo300);

    painter->setFont(surfaceFont(20, true));
    painter->setPen(Qt::black);
    painter->drawText(QRect(262, 390, 500, 30), Qt::AlignCenter, m_status);

    painter->setFont(surfaceFont(12, false));
    painter->drawText(QRect(262, 410, 500, 30), Qt::AlignCenter, m_error);

    painter->restore();
}
