#include "console/pixelgrid.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPixmap>
#include <QRectF>
#include <QRegion>

#include <cmath>

namespace {

bool g_cachingEnabled = true;
quint64 g_copies = 0;

// Larger pictures than this are drawn directly: a panel stretched over a
// wall of screens would otherwise hold hundreds of megabytes.
const int maxPictureSide = 4096;

} // namespace

void PixelGrid::setCachingEnabled(bool enabled)
{
    g_cachingEnabled = enabled;
}

bool PixelGrid::cachingEnabled()
{
    return g_cachingEnabled;
}

bool PixelGrid::place(const QPainter* painter, const QRectF& rect)
{
    if (!g_cachingEnabled)
        return false;
    const QPaintEngine* engine = painter->paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster)
        return false;
    // QPixmap aborts without a GUI application.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    // The transform all the way to device pixels: world, window and viewport,
    // and the device pixel ratio of a high-resolution screen. Qt's own item
    // cache takes that ratio as a whole number and so, at 150 %, draws at
    // 100 % and stretches the picture; this one takes it as it is.
    const QTransform toDevice = painter->deviceTransform();
    if (toDevice.type() > QTransform::TxRotate)
        return false;
    // One device pixel of margin for the antialiased edges.
    const QRectF bounds = toDevice.mapRect(rect).adjusted(-1, -1, 1, 1);
    if (!bounds.isValid() || bounds.width() > maxPictureSide || bounds.height() > maxPictureSide)
        return false;
    const int left = static_cast<int>(std::floor(bounds.left()));
    const int top = static_cast<int>(std::floor(bounds.top()));
    m_size
        = QSize(static_cast<int>(std::ceil(bounds.right())) - left, static_cast<int>(std::ceil(bounds.bottom())) - top);
    if (m_size.isEmpty())
        return false;
    m_devicePos = QPoint(left, top);
    m_itemToImage = toDevice * QTransform::fromTranslate(-left, -top);
    m_ratio = painter->device()->devicePixelRatioF();
    m_hints = painter->renderHints();
    return true;
}

// The position within a device pixel matters (antialiased edges fall
// differently), the whole-pixel position does not: itemToImage holds the
// first, m_devicePos the second.
QString PixelGrid::key() const
{
    const QTransform& t = m_itemToImage;
    return QString::asprintf("%.17g/%.17g/%.17g/%.17g/%.17g/%.17g/%dx%d/%.17g/%x", t.m11(), t.m12(), t.m21(), t.m22(),
                             t.dx(), t.dy(), m_size.width(), m_size.height(), m_ratio, unsigned(m_hints));
}

bool PixelGrid::sameGrid(const PixelGrid& other) const
{
    return m_itemToImage == other.m_itemToImage && m_size == other.m_size && m_ratio == other.m_ratio
        && m_hints == other.m_hints;
}

QPixmap PixelGrid::render(const Drawing& drawing) const
{
    QImage image(m_size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHints(m_hints);
    p.setTransform(m_itemToImage);
    drawing(&p);
    p.end();
    return QPixmap::fromImage(std::move(image));
}

void PixelGrid::renew(QPixmap* picture, const QRegion& area, const Drawing& drawing) const
{
    // Drawn into an image just the size of the area: the rasterizer then
    // skips most of the shapes outside it, which in the whole picture it
    // would still trace line by line only to clip them away.
    const QRect box = area.boundingRect() & QRect(QPoint(), m_size);
    if (box.isEmpty())
        return;
    QImage part(box.size(), QImage::Format_ARGB32_Premultiplied);
    part.fill(Qt::transparent);
    QPainter p(&part);
    p.setClipRegion(area.translated(-box.topLeft()));
    p.setRenderHints(m_hints);
    p.setTransform(m_itemToImage * QTransform::fromTranslate(-box.left(), -box.top()));
    drawing(&p);
    p.end();

    QPainter onto(picture);
    onto.setClipRegion(area);
    onto.setCompositionMode(QPainter::CompositionMode_Source);
    onto.drawImage(box.topLeft(), part);
}

void PixelGrid::draw(QPainter* painter, const QPixmap& picture) const
{
    painter->save();
    // A world transform that undoes everything between the world and the
    // device, the device pixel ratio included: one unit is one device pixel.
    painter->setWorldTransform(painter->deviceTransform().inverted() * painter->worldTransform());
    painter->drawPixmap(m_devicePos, picture);
    painter->restore();
    ++g_copies;
}

quint64 PixelGrid::copies()
{
    return g_copies;
}
