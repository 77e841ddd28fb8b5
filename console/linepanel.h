#pragma once

#include "console/pixelgrid.h"
#include "console/surfacepanel.h"

#include <QPixmapCache>
#include <QPointF>
#include <QRect>
#include <QRegion>
#include <QString>

// One telephone line of the console: number, coloured text area with the state
// text or the caller, timer, and the utility, hover and selection marks. The
// line's buttons are separate items; the panel only leaves room for them.
// Passive: its Line sets everything and hears about clicks in the text area.
class LinePanel : public SurfacePanel
{
    Q_OBJECT

public:
    enum TextPanelColor : int { Plain = 0, Red = 1, Yellow = 2, Green = 3, Blue = 4, Unavailable = 5 };
    Q_ENUM(TextPanelColor)

    LinePanel(int width, int height, QGraphicsItem* parent = nullptr);
    ~LinePanel() override;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    void setLineNum(unsigned lineNum);
    void setTextLine1(QString text);
    void setTextLine2(QString text);
    void setTextGender(QString text);
    void setTextTimer(QString text);
    void setText(QString line1, QString line2, QString gender, QString timer);
    void setTextLines(QString line1, QString line2);
    void setTextPanelColor(TextPanelColor color);
    void setEmoticonIndex(unsigned index);
    void setUtility(bool utility);
    void setLarge(bool large);
    // Hides QGraphicsItem::setSelected on purpose: selection here is the
    // line's own mark, not the scene's item selection.
    void setSelected(bool selected);
    // The caller's earlier calls: a small count left of the text area, in
    // the band between the line number and the text (0: none shown). A
    // flagged caller's mark is filled differently.
    void setHistoryMark(int earlierCalls, bool flagged);

    QRect rectTextPanel() const;
    QRect rectLineNum() const;
    QRect rectUtility() const;
    QRect rectTextGender() const;
    QRect rectTextTimer() const;
    QRect rectTextLine1() const;
    QRect rectTextLine2() const;
    QRect rectHistoryMark() const;
    QRect boundingRecti() const;
    // Where the panel paints every pixel opaquely: clear of the rounded
    // corners and of the outline's antialiased outer edge.
    QRect solidRect() const;

    bool isPointInTextPanel(QPointF p) const;
    void handle_hover(bool over);

    // The fill of the text area for a colour, normally or while hovered,
    // and in the high-contrast look.
    static QColor textPanelFill(TextPanelColor color, bool hovered);
    static QColor highContrastFill(TextPanelColor color);

    bool isLarge() const { return m_large; }
    unsigned lineNum() const { return m_lineNum; }
    const QString& textLine1() const { return m_line1; }
    const QString& textLine2() const { return m_line2; }
    const QString& textGender() const { return m_gender; }
    const QString& textTimer() const { return m_timer; }
    bool isUtility() const { return m_utility; }
    unsigned emoticonIndex() const { return m_emoticonIndex; }
    bool isHovered() const { return m_hovered; }
    bool isLineSelected() const { return m_selected; }
    TextPanelColor textPanelColor() const { return m_textPanelColor; }
    int historyMark() const { return m_historyCalls; }
    bool historyFlagged() const { return m_historyFlagged; }

signals:
    void selected();

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void hoverMoveEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;

private:
    // Everything the panel shows, in item coordinates; the picture leaves
    // out the call's timer, which is drawn over it.
    void drawPanel(QPainter* painter, bool withTimer = true) const;
    void drawTimer(QPainter* painter) const;
    // Draws text right-aligned at the top of box as a run of the font's
    // glyphs; false, with nothing drawn, where that cannot be done.
    static bool drawGlyphs(QPainter* painter, const QFont& font, const QRect& box, const QString& text);
    // A part of the panel (or all of it) changed: its cached picture is drawn
    // anew there before the next copy.
    void changed(const QRect& area);
    void changedAll();

    bool m_large;
    int m_span;
    unsigned m_lineNum;
    QString m_line1;
    QString m_line2;
    QString m_gender;
    QString m_timer;
    bool m_utility;
    unsigned m_emoticonIndex;
    bool m_hovered;
    bool m_selected;
    TextPanelColor m_textPanelColor;
    int m_historyCalls = 0;
    bool m_historyFlagged = false;

    // The panel's picture in the pixmap cache, for the pixel grid of
    // m_pictureGrid, and the parts of it that are out of date.
    QPixmapCache::Key m_pictureKey;
    PixelGrid m_pictureGrid;
    bool m_pictureHighContrast = false;
    QRegion m_stale;
};
