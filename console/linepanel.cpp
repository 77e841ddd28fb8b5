#include "console/linepanel.h"

#include "console/blinkclock.h"

#include "console/consolelook.h"

#include <QGlyphRun>
#include <QGraphicsSceneHoverEvent>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>
#include <QRawFont>
#include <QStyleOptionGraphicsItem>
#include <QTransform>

#include <algorithm>
#include <cmath>

#include <algorithm>

namespace {

// Pens of the panel: solid, square caps, bevel joins.
QPen panelPen(const QColor& color, int width)
{
    return QPen(QBrush(color), width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

// Where a painter may still change pixels, in its item coordinates; empty
// when it has no clip (the whole item is drawn).
QRectF clipOf(const QPainter* painter)
{
    return painter->hasClipping() ? painter->clipBoundingRect() : QRectF();
}

// A change renews a few boxes of the panel (the timer each second, the text
// area on a new status), drawn again with the clip set to them. Where the clip
// lies inside a rounded box, clear of its outline and rounded corners, the box
// only fills it: filling the clip there gives the same pixels as the whole
// antialiased shape, without tracing and stroking its outline all round.
void drawBox(QPainter* painter, const QRectF& clip, const QRect& box, qreal radius)
{
    if (!clip.isEmpty()) {
        const QTransform t = painter->deviceTransform();
        const qreal scale = std::min(std::hypot(t.m11(), t.m12()), std::hypot(t.m21(), t.m22()));
        // Half the outline, and half a device pixel to spare: the rasterizer
        // covers exactly the shape, so a pixel past the outline's edge is
        // the fill's alone.
        const qreal margin = painter->pen().widthF() / 2 + (scale > 0 ? 0.5 / scale : 1e9);
        const QRectF inner = QRectF(box).adjusted(margin, margin, -margin, -margin);
        const qreal corner = radius + margin;
        const QRectF left(box.left(), box.top(), corner, box.height());
        const QRectF right(box.left() + box.width() - corner, box.top(), corner, box.height());
        const QRectF top(box.left(), box.top(), box.width(), corner);
        const QRectF bottom(box.left(), box.top() + box.height() - corner, box.width(), corner);
        const bool inCorner
            = (clip.intersects(left) || clip.intersects(right)) && (clip.intersects(top) || clip.intersects(bottom));
        if (inner.contains(clip) && !inCorner) {
            painter->fillRect(clip, painter->brush());
            return;
        }
    }
    painter->drawRoundedRect(box, radius, radius, Qt::AbsoluteSize);
}

// Whether a part drawn in rect can change any pixel the painter may touch.
bool reaches(const QRectF& clip, const QRect& rect)
{
    return clip.isEmpty() || clip.intersects(QRectF(rect));
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
    // The exposed part in each paint, so only that part of the picture is
    // copied: a blinking lamp exposes a few hundred of its 39,000 pixels.
    setFlag(QGraphicsItem::ItemUsesExtendedStyleOption);
}

LinePanel::~LinePanel()
{
    QPixmapCache::remove(m_pictureKey);
}

QRect LinePanel::boundingRecti() const
{
    return QRect(0, 0, 680, 55 * m_span);
}

QRect LinePanel::solidRect() const
{
    return boundingRecti().adjusted(10, 2, -10, -2);
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

// Each setter marks its part for painting only when the value changes: a
// status report sets every text and mark of the panel again, most of them
// to what they were, and the part repainted is the part drawn anew.
void LinePanel::setLineNum(unsigned lineNum)
{
    if (lineNum == m_lineNum)
        return;
    m_lineNum = lineNum;
    changed(rectLineNum());
}

void LinePanel::setTextLine1(QString text)
{
    if (text == m_line1)
        return;
    m_line1 = std::move(text);
    changed(rectTextLine1());
}

void LinePanel::setTextLine2(QString text)
{
    if (text == m_line2)
        return;
    m_line2 = std::move(text);
    changed(rectTextLine2());
}

void LinePanel::setTextGender(QString text)
{
    if (text == m_gender)
        return;
    m_gender = std::move(text);
    changed(rectTextGender());
}

void LinePanel::setTextTimer(QString text)
{
    if (text == m_timer)
        return;
    m_timer = std::move(text);
    // The timer changes every second on every call and is not in the
    // picture: the panel's picture is copied under it and the text drawn
    // over, with no part of the picture drawn anew.
    RepaintBatch::update(this, mapRectToScene(QRectF(rectTextTimer())));
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
    if (color == m_textPanelColor)
        return;
    m_textPanelColor = color;
    // The outline of the text area is 3 wide when hovered: repaint its margin too.
    changed(rectTextPanel().adjusted(-2, -2, 2, 2));
}

void LinePanel::setEmoticonIndex(unsigned index)
{
    // Drawn only on a coloured text area: no other change shows it.
    if (index % EmoticonCount == m_emoticonIndex)
        return;
    m_emoticonIndex = index % EmoticonCount;
    changed(rectTextPanel().adjusted(-2, -2, 2, 2));
}

void LinePanel::setUtility(bool utility)
{
    if (utility == m_utility)
        return;
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
    if (selected == m_selected)
        return;
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

void LinePanel::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*)
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
    const auto drawing = [this](QPainter* p) { drawPanel(p, false); };
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
    // The exposed part is cut to the bounding rectangle, which the outline
    // overhangs by a unit: that unit is copied with it.
    // A paint that reaches only the overhang is told of no exposed part at
    // all: the whole picture is offered then, and the clip keeps to the part.
    const QRectF exposed
        = option && !option->exposedRect.isEmpty() ? option->exposedRect.adjusted(-1, -1, 1, 1) : QRectF();
    grid.draw(painter, picture, exposed);
    if (reaches(exposed, rectTextTimer()))
        drawTimer(painter);
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

void LinePanel::drawTimer(QPainter* painter) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QColor(0, 0, 0));
    const QFont font = surfaceFont(m_large ? 16 : 12, true);
    painter->setFont(font);
    const QRect box = rectTextTimer();
    if (!drawGlyphs(painter, font, box, m_timer))
        painter->drawText(box, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, m_timer);
    painter->restore();
}

bool LinePanel::drawGlyphs(QPainter* painter, const QFont& font, const QRect& box, const QString& text)
{
    // Every call's timer is drawn again each second. Its digits need no
    // shaping or line breaking: set as a run of the font's own glyphs, at
    // their kerned advances, they land on the same pixels as the laid out
    // text, for a fraction of the work. Anything the font lacks is laid out.
    static QFont rawFor;
    static QRawFont raw;
    if (!(font == rawFor)) {
        raw = QRawFont::fromFont(font);
        rawFor = font;
    }
    if (!raw.isValid() || text.isEmpty())
        return false;
    const QVector<quint32> glyphs = raw.glyphIndexesForString(text);
    if (glyphs.size() != text.size() || glyphs.contains(0u))
        return false;
    const QVector<QPointF> advances = raw.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);
    QVector<QPointF> positions;
    positions.reserve(advances.size());
    qreal x = 0;
    for (const QPointF& advance : advances) {
        positions.append(QPointF(x, 0));
        x += advance.x();
    }
    QGlyphRun run;
    run.setRawFont(raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    painter->drawGlyphRun(QPointF(box.left() + box.width() - x, box.top() + raw.ascent()), run);
    return true;
}

void LinePanel::drawPanel(QPainter* painter, bool withTimer) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    // High contrast: black boxes with white edges, an amber band for the
    // selected line, and the texts on light fills inside a strong outline.
    const bool strong = ConsoleLook::isHighContrast(*this);
    const QRectF clip = clipOf(painter);
    const QColor white(255, 255, 255);
    const QColor black(0, 0, 0);

    painter->setBrush(strong ? black : QColor(204, 204, 238));
    painter->setPen(panelPen(strong ? white : QColor(170, 170, 204), 2));
    drawBox(painter, clip, QRect(0, 0, 680, m_span * 55), 10);

    if (strong)
        painter->setBrush(m_selected ? ConsoleLook::selectedBand() : black);
    else
        painter->setBrush(m_selected ? QColor(136, 136, 170) : QColor(170, 170, 204));
    painter->setPen(panelPen(strong ? white : QColor(204, 204, 238), 2));
    drawBox(painter, clip, QRect(55, 0, 575, m_span * 55), 10);

    painter->setBrush(strong ? highContrastFill(m_textPanelColor) : textPanelFill(m_textPanelColor, m_hovered));
    painter->setPen(panelPen(Qt::black, m_hovered || strong ? 3 : 2));
    drawBox(painter, clip, rectTextPanel(), 5);

    painter->setPen(strong && !m_selected ? white : black);
    painter->setFont(surfaceFont(16, true));
    if (reaches(clip, rectLineNum()))
        painter->drawText(rectLineNum(), Qt::AlignLeft, QStringLiteral("%1").arg(m_lineNum));

    if (m_utility && reaches(clip, rectUtility())) {
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
    // Texts no change reaches are not laid out at all.
    if (reaches(clip, rectTextGender())) {
        painter->setFont(surfaceFont(10, true));
        painter->drawText(rectTextGender(), Qt::AlignLeft | textFlags, m_gender);
    }
    if (withTimer && reaches(clip, rectTextTimer()))
        drawTimer(painter);
    const int lineSize = m_large ? 18 : 12;
    if (reaches(clip, rectTextLine1())) {
        painter->setFont(surfaceFont(lineSize, true));
        painter->drawText(rectTextLine1(), Qt::AlignLeft | textFlags, m_line1);
    }
    if (reaches(clip, rectTextLine2())) {
        painter->setFont(surfaceFont(lineSize, false));
        painter->drawText(rectTextLine2(), Qt::AlignRight | textFlags, m_line2);
    }

    painter->restore();
}
