#pragma once

#include <QPainter>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QTransform>

#include <functional>

class QPixmap;
class QRectF;
class QRegion;

// Where an item lands on the pixels of the device a painter draws on. Caches
// of drawn items keep their pictures in those device pixels: drawn with the
// painter's whole transform (the view's stretch and the screen's device pixel
// ratio included) and copied back 1:1, so a cached item is as sharp as one
// drawn directly at any scale factor, fractional ones too. The key names the
// transform without its whole-pixel position, and the ratio, so a picture is
// only ever reused for the same pixel grid; moving the window to a screen
// with another scale makes a new one.
class PixelGrid
{
public:
    // Places rect (item coordinates) for the painter. False when the picture
    // could not be copied 1:1: no raster engine (printing, pictures), a
    // shearing or perspective transform, a huge or empty area, or no GUI
    // application to make pixmaps with. Callers then draw directly.
    bool place(const QPainter* painter, const QRectF& rect);

    // Item coordinates to the pixels of the cached picture.
    const QTransform& itemToImage() const { return m_itemToImage; }
    // The picture's size in device pixels.
    const QSize& size() const { return m_size; }
    qreal ratio() const { return m_ratio; }
    // Equal for two placements exactly when one picture serves both.
    QString key() const;
    bool sameGrid(const PixelGrid& other) const;

    using Drawing = std::function<void(QPainter*)>;

    // A new picture for this placement: drawing in item coordinates, with the
    // render hints of the painter placed for, on transparency.
    QPixmap render(const Drawing& drawing) const;
    // Draws part of a picture made for this placement anew: area is in the
    // picture's pixels. The rest of the picture is left as it is.
    void renew(QPixmap* picture, const QRegion& area, const Drawing& drawing) const;

    // Copies a picture made for this placement to the painter's device, pixel
    // for pixel; the painter's clip still applies.
    void draw(QPainter* painter, const QPixmap& picture) const;

    // Caching on (the default) or off for the whole process: with it off every
    // item draws directly, the reference the cached pictures are measured by.
    static void setCachingEnabled(bool enabled);
    static bool cachingEnabled();
    // Pictures copied to a device so far in this process (by draw()): tests
    // read it to tell a cache in use from one that silently draws directly.
    static quint64 copies();

private:
    QTransform m_itemToImage;
    QPoint m_devicePos;
    QSize m_size;
    qreal m_ratio = 1;
    QPainter::RenderHints m_hints;
};
