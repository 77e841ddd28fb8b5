#include "console/surfacepanel.h"

#include "unit/callerinfo.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPen>
#include <QRect>

#include <cmath>

namespace {

const char* const kLogoPaths[] = {
    ":/icons/ardeno_logo_300.png",
    ":/icons/mirt_logo_300.png",
    ":/icons/ardeno_logo_100.png",
    ":/icons/mirt_logo_100.png",
};

static_assert(kMoodCount == SurfacePanel::EmoticonCount, "one emoticon per mood");

// Every panel of every console draws from these decoded images; QPixmap is
// implicitly shared, so a panel's copies cost no decoding and no pixel memory.
struct ImageCache
{
    QPixmap logos[4];
    QPixmap emoticons[SurfacePanel::EmoticonCount];
    QPixmap emoticonsSmall[SurfacePanel::EmoticonCount];
    // The resource path of each image above, by its pixmap's cache key, and
    // the twice as large versions loaded so far (null where there is none).
    QHash<qint64, QString> paths;
    QHash<qint64, QPixmap> doubles;
};

ImageCache* g_cache = nullptr;

// Pixmaps must not outlive the application object that backs them, so the
// cache goes away with it; a later application fills a new one.
void dropImageCache()
{
    delete g_cache;
    g_cache = nullptr;
}

const ImageCache* imageCache()
{
    if (g_cache)
        return g_cache;
    // QPixmap aborts without a GUI application; panels built without one
    // (never the case in the program) simply draw no images.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return nullptr;
    g_cache = new ImageCache;
    auto load = [](QPixmap& pixmap, const QString& path) {
        if (pixmap.load(path))
            g_cache->paths.insert(pixmap.cacheKey(), path);
    };
    for (int i = 0; i < 4; ++i)
        load(g_cache->logos[i], QString::fromLatin1(kLogoPaths[i]));
    for (int i = 0; i < SurfacePanel::EmoticonCount; ++i) {
        const QString base = QStringLiteral(":/icons/emoticon_%1").arg(QLatin1String(kMoodChoices[i].sent));
        load(g_cache->emoticons[i], base + QStringLiteral(".png"));
        load(g_cache->emoticonsSmall[i], base + QStringLiteral("_26.png"));
    }
    qAddPostRoutine(dropImageCache);
    return g_cache;
}

// The "@2x" version of one of the shared images, loaded on first use: only
// screens that show the images above 1:1 ever need them. The image itself
// when it has none.
QPixmap doubleSize(const QPixmap& image)
{
    if (!g_cache)
        return image;
    const qint64 key = image.cacheKey();
    auto found = g_cache->doubles.constFind(key);
    if (found == g_cache->doubles.constEnd()) {
        const QString path = g_cache->paths.value(key);
        QPixmap twice;
        if (path.endsWith(QLatin1String(".png"))) {
            twice.load(path.left(path.size() - 4) + QStringLiteral("@2x.png"));
            // Only a picture of exactly twice the size can stand in for the image.
            if (twice.size() == image.size() * 2)
                twice.setDevicePixelRatio(2);
            else
                twice = QPixmap();
        }
        found = g_cache->doubles.insert(key, twice);
    }
    return found->isNull() ? image : *found;
}

} // namespace

SurfacePanel::SurfacePanel(int width, int height, QGraphicsItem* parent)
    : QObject(nullptr)
    , QGraphicsItem(parent)
    , m_width(width)
    , m_height(height)
{
    const ImageCache* cache = imageCache();
    if (!cache)
        return;
    m_ardenoLogo300 = cache->logos[0];
    m_mirtLogo300 = cache->logos[1];
    m_ardenoLogo100 = cache->logos[2];
    m_mirtLogo100 = cache->logos[3];
    for (int i = 0; i < EmoticonCount; ++i) {
        m_emoticons[i] = cache->emoticons[i];
        m_emoticonsSmall[i] = cache->emoticonsSmall[i];
    }
}

SurfacePanel::~SurfacePanel() = default;

const QPixmap& SurfacePanel::emoticon(unsigned index) const
{
    return m_emoticons[index % EmoticonCount];
}

const QPixmap& SurfacePanel::emoticonSmall(unsigned index) const
{
    return m_emoticonsSmall[index % EmoticonCount];
}

void SurfacePanel::drawImage(QPainter* painter, const QPoint& pos, const QPixmap& image)
{
    const QTransform toDevice = painter->deviceTransform();
    // Shown 1:1, the image is copied as it is.
    if (toDevice.type() <= QTransform::TxTranslate) {
        painter->drawPixmap(pos, image);
        return;
    }
    // Otherwise it is scaled to the device: down from the larger version
    // wherever one unit covers more than one device pixel (a 150 % screen,
    // a stretched window), which stays sharp, where scaling the image up
    // would blur or, unsmoothed, double some of its pixels.
    const qreal scale = std::sqrt(std::abs(toDevice.determinant()));
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawPixmap(pos, scale > 1.0 ? doubleSize(image) : image);
    painter->restore();
}

QFont SurfacePanel::surfaceFont(int points, bool bold)
{
    QFont font(QStringLiteral("Helvetica"));
    font.setPixelSize(points);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void SurfacePanel::drawFrame(QPainter* painter, const QRect& box, const QString& title, int titleWidth)
{
    painter->setBrush(QColor(204, 204, 238));
    painter->setPen(QPen(QColor(170, 170, 204), 2));
    painter->drawRoundedRect(box, 10, 10, Qt::AbsoluteSize);
    if (title.isEmpty())
        return;
    painter->setFont(surfaceFont(16, true));
    painter->setPen(Qt::black);
    painter->drawText(QRect(0, 0, titleWidth, 30), Qt::AlignCenter, title);
}
