#include "console/shortcutoverlay.h"

#include "console/shortcuts.h"

#include <QFontMetrics>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>

namespace {

constexpr int kWidth = 700;
constexpr int kTitleHeight = 44;
constexpr int kRowHeight = 28;
constexpr int kBottomMargin = 14;
constexpr int kKeysX = 20;
constexpr int kKeysWidth = 150;
constexpr int kNameX = 180;
constexpr int kNameWidth = 110;
constexpr int kDoesX = 295;
constexpr int kDoesWidth = kWidth - kDoesX - 15;
constexpr int kCapHeight = 20;
constexpr int kCapPadding = 7;

// Above every panel and embedded widget of the console (the choosers lie at 20).
constexpr qreal kOverlayZ = 100.0;

int height()
{
    return kTitleHeight + int(shortcuts::size()) * kRowHeight + kBottomMargin;
}

// A key drawn as a key cap in the colours of an unlit lamp; returns the x
// just after it.
int drawCap(QPainter* painter, int x, int rowY, const QString& text)
{
    const QFontMetrics metrics(painter->font());
    const int width = metrics.horizontalAdvance(text) + 2 * kCapPadding;
    const QRect cap(x, rowY + (kRowHeight - kCapHeight) / 2, width, kCapHeight);
    painter->setBrush(QColor(221, 221, 255));
    painter->setPen(QPen(QColor(51, 51, 85), 1));
    painter->drawRoundedRect(cap, 4, 4, Qt::AbsoluteSize);
    painter->setPen(Qt::black);
    painter->drawText(cap, Qt::AlignCenter, text);
    return x + width;
}

} // namespace

ShortcutOverlay::ShortcutOverlay(QGraphicsItem* parent)
    : SurfacePanel(0, 0, parent)
{
    // Centred on the 1024 x 768 console.
    setPos((1024 - kWidth) / 2, (768 - height()) / 2);
    setZValue(kOverlayZ);
    setVisible(false);
    // Lamps blink under it several times a second; a cached image makes each
    // of those repaints a copy rather than a new layout of every row.
    setCacheMode(QGraphicsItem::DeviceCoordinateCache);
}

QRect ShortcutOverlay::boundingRecti() const
{
    return QRect(0, 0, kWidth, height());
}

QRectF ShortcutOverlay::boundingRect() const
{
    return QRectF(boundingRecti());
}

int ShortcutOverlay::rowCount() const
{
    return int(shortcuts::size());
}

QRect ShortcutOverlay::rowRect(int row) const
{
    return QRect(0, kTitleHeight + row * kRowHeight, kWidth, kRowHeight);
}

QRect ShortcutOverlay::keysRect(int row) const
{
    return QRect(kKeysX, rowRect(row).y(), kKeysWidth, kRowHeight);
}

QRect ShortcutOverlay::nameRect(int row) const
{
    return QRect(kNameX, rowRect(row).y(), kNameWidth, kRowHeight);
}

QRect ShortcutOverlay::doesRect(int row) const
{
    return QRect(kDoesX, rowRect(row).y(), kDoesWidth, kRowHeight);
}

void ShortcutOverlay::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    drawFrame(painter, boundingRecti(), QStringLiteral("Keyboard Shortcuts"), kWidth);
    painter->setPen(QPen(QColor(170, 170, 204), 1));
    painter->drawLine(15, kTitleHeight - 6, kWidth - 15, kTitleHeight - 6);

    const QFont capFont = surfaceFont(11, true);
    const QFont nameFont = surfaceFont(12, true);
    const QFont doesFont = surfaceFont(12, false);
    int row = 0;
    for (const Shortcut* s = shortcuts::begin(); s != shortcuts::end(); ++s, ++row) {
        const int y = rowRect(row).y();

        painter->setFont(capFont);
        int x = drawCap(painter, kKeysX, y, s->sequence(0).toString(QKeySequence::NativeText));
        if (s->count > 1) {
            const QRect between(x, y, 28, kRowHeight);
            painter->setPen(QColor(51, 51, 85));
            painter->drawText(between, Qt::AlignCenter, QStringLiteral("to"));
            drawCap(painter, between.right() + 1, y, s->sequence(s->count - 1).toString(QKeySequence::NativeText));
        }

        painter->setPen(Qt::black);
        painter->setFont(nameFont);
        painter->drawText(nameRect(row), Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(s->name));
        painter->setFont(doesFont);
        painter->drawText(doesRect(row), Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(s->does));
    }

    painter->restore();
}

void ShortcutOverlay::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    // The click only closes the list; it must not reach a button under it.
    event->accept();
    hide();
}
