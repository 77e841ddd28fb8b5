#include "console/linepanel.h"

#include "console/consolelook.h"

#include <QGraphicsSceneHoverEvent>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

// Pens of the panel: solid, square caps, bevel joins.
QPen panelPen(const QColor& color, int width)
{
    return QPen(QBrush(color), width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

} // namespace

LinePanel::LinePanel(int width, int height, QGraphicsItem* parent)
    : SurfacePanel(width, height, parent)
    , m_large(false)
    , m_span(1)
    , m_lineNum(0)
    // The "U" shows until the unit's first status says otherwise.
    , m_utility(true)
    , m_emoticonIndex(0)
    , m_hovered(false)
    , m_selected(false)
    , m_textPanelColor(Plain)
{
    setAcceptHoverEvents(true);
}

LinePanel::~LinePanel()
{
    QPixmapCache::remove(m_pictureKey);
}

QRect LinePanel::boundingRecti() const
{
    return QRect(0, 0, 680, 55 * m_span);
}

QRectF LinePanel::boundingRect() const
{
    return QRectF(boundingRecti());
}

QRect LinePanel::rectTextPanel() const
{
    return m_large ? QRect(130, 5, 438, 100) : QRect(130, 5, 438, 45);
}

QRect LinePanel::rectLineNum() const
{
    return QRect(62, 5, 40, 18);
}

QRect LinePanel::rectUtility() const
{
    return m_large ? QRect(62, 90, 20, 14) : QRect(62, 38, 20, 14);
}

QRect LinePanel::rectTextGender() const
{
    return m_large ? QRect(190, 28, 30, 12) : QRect(140, 34, 30, 12);
}

QRect LinePanel::rectTextTimer() const
{
    return m_large ? QRect(455, 10, 100, 28) : QRect(455, 10, 100, 18);
}

QRect LinePanel::rectTextLine1() const
{
    return m_large ? QRect(140, 58, 420, 28) : QRect(170, 10, 275, 18);
}

QRect LinePanel::rectTextLine2() const
{
    return m_large ? QRect(140, 78, 420, 28) : QRect(170, 27, 385, 18);
}

// In the text area, right of the gender letter (one character) and left of
// where the second line's text can reach however long it is; in the large
// panel, right of the gender letter, above the texts. The HOLD button lies
// over the band left of the text area, so the mark cannot go there.
QRect LinePanel::rectHistoryMark() const
{
    return m_large ? QRect(224, 27, 26, 15) : QRect(151, 33, 18, 13);
}

bool LinePanel::isPointInTextPanel(QPointF p) const
{
    return p.x() >= 130 && p.x() <= 568 && p.y() >= 5 && p.y() <= m_span * 50;
}

QColor LinePanel::textPanelFill(TextPanelColor color, bool hovered)
{
    const int c = hovered ? 238 : 221;
    switch (color) {
    case Red:
        return QColor(255, c, c);
    case Yellow:
        return QColor(255, 255, c);
    case Green:
        return QColor(c, 255, c);
    case Blue:
        return QColor(c, c, 255);
    case Unavailable:
        return QColor(170, 170, 170);
    case Plain:
    default:
        return QColor(c, c, c);
    }
}

void LinePanel::setLineNum(unsigned lineNum)
{
    m_lineNum = lineNum;
    changed(rectLineNum());
}

void LinePanel::setTextLine1(QString text)
{
    m_line1 = std::move(text);
    changed(rectTextLine1());
}

void LinePanel::setTextLine2(QString text)
{
    m_line2 = std::move(text);
    changed(rectTextLine2());
}

void LinePanel::setTextGender(QString text)
{
    m_gender = std::move(text);
    changed(rectTextGender());
}

void LinePanel::setTextTimer(QString text)
{
    m_timer = std::move(text);
    changed(rectTextTimer());
}

void LinePanel::setText(QString line1, QString line2, QString gender, QString timer)
{
    setTextLine1(std::move(line1));
    setTextLine2(std::move(line2));
    setTextGender(std::move(gender));
    setTextTimer(std::move(timer));
}

void LinePanel::setTextLines(QString line1, QString line2)
{
    setTextLine1(std::move(line1));
    setTextLine2(std::move(line2));
}

void LinePanel::setTextPanelColor(TextPanelColor color)
{
    m_textPanelColor = color;
    // The outline of the text area is 3 wide when hovered: repaint its margin too.
    changed(rectTextPanel().adjusted(-2, -2, 2, 2));
}

void LinePanel::setEmoticonIndex(unsigned index)
{
    m_emoticonIndex = index % EmoticonCount;
    changed(rectTextPanel().adjusted(-2, -2, 2, 2));
}

void LinePanel::setUtility(bool utility)
{
    m_utility = utility;
    changed(rectUtility());
}

void LinePanel::setLarge(bool large)
{
    if (large == m_large)
        return;
    prepareGeometryChange();
    m_large = large;
    m_span = large ? 2 : 1;
    changedAll();
}

void LinePanel::setSelected(bool selected)
{
    m_selected = selected;
    changedAll();
}

void LinePanel::setHistoryMark(int earlierCalls, bool flagged)
{
    earlierCalls = std::max(0, earlierCalls);
    if (earlierCalls == m_historyCalls && flagged == m_historyFlagged)
        return;
    m_historyCalls = earlierCalls;
    m_historyFlagged = flagged;
    changed(rectHistoryMark().adjusted(-1, -1, 1, 1));
}

void LinePanel::handle_hover(bool over)
{
    if (over == m_hovered)
        return;
    m_hovered = over;
    changed(rectTextPanel().adjusted(-2, -2, 2, 2));
}

void LinePanel::changed(const QRect& area)
{
    // A region of the same few boxes stays small however long the panel goes
    // unpainted (a console hidden behind its connection screen still counts
    // the calls' seconds).
    m_stale += area;
    update(area);
}

void LinePanel::changedAll()
{
    QPixmapCache::remove(m_pictureKey);
    m_pictureKey = QPixmapCache::Key();
    m_stale = QRegion();
    update();
}

void LinePanel::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    if (isPointInTextPanel(event->pos())) {
        event->accept();
        emit selected();
    } else {
        event->ignore();
    }
}

void LinePanel::hoverMoveEvent(QGraphicsSceneHoverEvent* event)
{
    handle_hover(isPointInTextPanel(event->pos()));
}

void LinePanel::hoverEnterEvent(QGraphicsSceneHoverEvent* event)
{
    hoverMoveEvent(event);
}

void LinePanel::hoverLeaveEvent(QGraphicsSceneHoverEvent*)
{
    handle_hover(false);
}

void LinePanel::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    // The lamps sit on the panel and blink several times a second. Drawn from
    // its picture, the panel under them costs a copy, not a new rendering of
    // its rounded boxes and texts; its own changes renew only their part.
    PixelGrid grid;
    // The body's 2-wide outline reaches 1 unit out of the bounding rectangle.
    if (!grid.place(painter, boundingRect().adjusted(-1, -1, 1, 1))) {
        drawPanel(painter);
        return;
    }
    const auto drawing = [this](QPainter* p) { drawPanel(p); };
    const bool highContrast = ConsoleLook::isHighContrast(*this);
    QPixmap picture;
    if (!grid.sameGrid(m_pictureGrid) || highContrast != m_pictureHighContrast
        || !QPixmapCache::find(m_pictureKey, &picture)) {
        picture = grid.render(drawing);
        QPixmapCache::remove(m_pictureKey);
        m_pictureKey = QPixmapCache::insert(picture);
        m_pictureGrid = grid;
        m_pictureHighContrast = highContrast;
    } else if (!m_stale.isEmpty()) {
        QRegion area;
        for (const QRect& r : m_stale)
            area += grid.itemToImage().mapRect(QRectF(r)).toAlignedRect().adjusted(-1, -1, 1, 1);
        // Out of the cache while it is drawn on, so the pixels are not copied.
        QPixmapCache::remove(m_pictureKey);
        grid.renew(&picture, area, drawing);
        m_pictureKey = QPixmapCache::insert(picture);
    }
    m_stale = QRegion();
    grid.draw(painter, picture);
}

QColor LinePanel::highContrastFill(TextPanelColor color)
{
    switch (color) {
    case Red:
        return QColor(255, 160, 160);
    case Yellow:
        return QColor(255, 255, 140);
    case Green:
        return QColor(170, 255, 170);
    case Blue:
        return QColor(170, 200, 255);
    case Unavailable:
        return QColor(160, 160, 160);
    case Plain:
    default:
        return QColor(255, 255, 255);
    }
}

void LinePanel::drawPanel(QPainter* painter) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    // High contrast: black boxes with white edges, an amber band for the
    // selected line, and the texts on light fills inside a strong outline.
    const bool strong = ConsoleLook::isHighContrast(*this);
    const QColor white(255, 255, 255);
    const QColor black(0, 0, 0);

    painter->setBrush(strong ? black : QColor(204, 204, 238));
    painter->setPen(panelPen(strong ? white : QColor(170, 170, 204), 2));
    painter->drawRoundedRect(QRect(0, 0, 680, m_span * 55), 10, 10, Qt::AbsoluteSize);

    if (strong)
        painter->setBrush(m_selected ? ConsoleLook::selectedBand() : black);
    else
        painter->setBrush(m_selected ? QColor(136, 136, 170) : QColor(170, 170, 204));
    painter->setPen(panelPen(strong ? white : QColor(204, 204, 238), 2));
    painter->drawRoundedRect(QRect(55, 0, 575, m_span * 55), 10, 10, Qt::AbsoluteSize);

    painter->setBrush(strong ? highContrastFill(m_textPanelColor) : textPanelFill(m_textPanelColor, m_hovered));
    painter->setPen(panelPen(Qt::black, m_hovered || strong ? 3 : 2));
    painter->drawRoundedRect(rectTextPanel(), 5, 5, Qt::AbsoluteSize);

    painter->setPen(strong && !m_selected ? white : black);
    painter->setFont(surfaceFont(16, true));
    painter->drawText(rectLineNum(), Qt::AlignLeft, QStringLiteral("%1").arg(m_lineNum));

    if (m_utility) {
        painter->setFont(surfaceFont(12, false));
        painter->drawText(rectUtility(), Qt::AlignLeft, QStringLiteral("U"));
    }
    if (m_historyCalls > 0 || m_historyFlagged) {
        // A lamp-sized tag with the count of earlier calls; amber for a
        // flagged caller.
        const QColor fill = m_historyFlagged ? QColor(255, 204, 102) : (strong ? white : QColor(238, 238, 255));
        painter->setBrush(fill);
        painter->setPen(panelPen(black, 1));
        painter->drawRoundedRect(rectHistoryMark(), 3, 3, Qt::AbsoluteSize);
        painter->setFont(surfaceFont(m_large ? 9 : 8, true));
        const int most = m_large ? 99 : 9;
        const QString count = m_historyCalls > most ? QStringLiteral("%1+").arg(most)
            : m_historyCalls > 0                    ? QString::number(m_historyCalls)
                                                    : QStringLiteral("!");
        painter->drawText(rectHistoryMark(), Qt::AlignCenter | Qt::TextSingleLine, count);
    }
    painter->setPen(black);

    // Only a line with a caller on it (held, on air, ringing...) shows a mood.
    switch (m_textPanelColor) {
    case Red:
    case Yellow:
    case Green:
    case Blue:
        drawImage(painter, QPoint(133, 7), m_large ? emoticon(m_emoticonIndex) : emoticonSmall(m_emoticonIndex));
        break;
    default:
        break;
    }

    // drawText clips to the rectangle, so a long caller name cannot run over
    // the timer or out of the panel; callers' texts come from the network and
    // may hold line breaks, which must not spill into the next line's space.
    const int textFlags = Qt::AlignTop | Qt::TextSingleLine;
    painter->setFont(surfaceFont(10, true));
    painter->drawText(rectTextGender(), Qt::AlignLeft | textFlags, m_gender);

    painter->setFont(surfaceFont(m_large ? 16 : 12, true));
    painter->drawText(rectTextTimer(), Qt::AlignRight | textFlags, m_timer);

    const int lineSize = m_large ? 18 : 12;
    painter->setFont(surfaceFont(lineSize, true));
    painter->drawText(rectTextLine1(), Qt::AlignLeft | textFlags, m_line1);

    painter->setFont(surfaceFont(lineSize, false));
    painter->drawText(rectTextLine2(), Qt::AlignRight | textFlags, m_line2);

    painter->restore();
}
