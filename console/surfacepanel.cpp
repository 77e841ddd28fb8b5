#include "console/surfacepanel.h"

#include "console/callerchoices.h"

#include <QCoreApplication>
#include <QGuiApplication>

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
    for (int i = 0; i < 4; ++i)
        g_cache->logos[i].load(QString::fromLatin1(kLogoPaths[i]));
    for (int i = 0; i < SurfacePanel::EmoticonCount; ++i) {
        const QString base = QStringLiteral(":/icons/emoticon_%1").arg(QLatin1String(kMoodChoices[i].sent));
        g_cache->emoticons[i].load(base + QStringLiteral(".png"));
        g_cache->emoticonsSmall[i].load(base + QStringLiteral("_26.png"));
    }
    qAddPostRoutine(dropImageCache);
    return g_cache;
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

QFont SurfacePanel::surfaceFont(int points, bool bold)
{
    QFont font(QStringLiteral("Helvetica"));
    font.setPixelSize(points);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}
