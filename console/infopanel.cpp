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

namespace {

const QPoint kEmoticonAt(272, 190);

} // namespace

void InfoPanel::setLineNum(unsigned line)
{
    if (!m_noLine && line == m_lineNum)
        return;
    m_lineNum = line;
    m_noLine = false;
    // The title only; the editors over the rest of the panel would be
    // repainted with it.
    update(QRectF(0, 0, 325, 30));
}

void InfoPanel::setEmoticonIndex(unsigned index)
{
    // Called on every keystroke in the editors and every report from the
    // unit: a repaint of the whole panel would repaint every editor on it
    // and the drop buttons next to it each time. Only a new emoticon is
    // drawn, in its own box.
    // The index may come straight from the network.
    index %= EmoticonCount;
    if (index == m_emoticonIndex)
        return;
    update(QRectF(QRect(kEmoticonAt, emoticonSmall(m_emoticonIndex).size())));
    m_emoticonIndex = index;
    update(QRectF(QRect(kEmoticonAt, emoticonSmall(m_emoticonIndex).size())));
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

    drawImage(painter, kEmoticonAt, emoticonSmall(m_emoticonIndex));

    painter->restore();
}
