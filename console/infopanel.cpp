#include "console/infopanel.h"

#include <QPainter>

InfoPanel::InfoPanel(int width, int height, QGraphicsItem* parent)
    : SurfacePanel(width, height, parent)
{
}

QRect InfoPanel::boundingRecti() const
{
    return QRect(0, 0, 325, 360);
}

QRectF InfoPanel::boundingRect() const
{
    return QRectF(boundingRecti());
}

void InfoPanel::setLineNum(unsigned line)
{
    m_lineNum = line;
    m_noLine = false;
    update();
}

void InfoPanel::setEmoticonIndex(unsigned index)
{
    // The index may come straight from the network.
    m_emoticonIndex = index % EmoticonCount;
    update();
}

QString InfoPanel::title() const
{
    if (m_noLine)
        return QStringLiteral("Select a Line");
    // Lines are counted from 0 on the wire and from 1 on the screen.
    return QStringLiteral("Line %1 Information").arg(qulonglong(m_lineNum) + 1);
}

void InfoPanel::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    drawFrame(painter, boundingRecti(), title(), 325);

    painter->setFont(surfaceFont(14, true));
    const int label = Qt::AlignRight | Qt::AlignVCenter;
    painter->drawText(QRect(5, 50, 70, 25), label, QStringLiteral("Name"));
    painter->drawText(QRect(5, 80, 70, 25), label, QStringLiteral("Location"));
    painter->drawText(QRect(5, 110, 70, 25), label, QStringLiteral("Topic"));
    painter->drawText(QRect(5, 150, 70, 25), label, QStringLiteral("Gender"));
    painter->drawText(QRect(5, 190, 70, 25), label, QStringLiteral("Mood"));
    // The notes box is tall; its label sits at its top.
    painter->drawText(QRect(5, 230, 70, 25), Qt::AlignRight | Qt::AlignTop, QStringLiteral("Notes"));

    drawImage(painter, QPoint(272, 190), emoticonSmall(m_emoticonIndex));

    painter->restore();
}
