#include "console/consolelook.h"

#include <QGraphicsItem>
#include <QGraphicsScene>

namespace {
const char* const kHighContrast = "mirtHighContrast";
} // namespace

bool ConsoleLook::isHighContrast(const QGraphicsScene* scene)
{
    return scene && scene->property(kHighContrast).toBool();
}

bool ConsoleLook::isHighContrast(const QGraphicsItem& item)
{
    return isHighContrast(item.scene());
}

void ConsoleLook::setHighContrast(QGraphicsScene& scene, bool on)
{
    scene.setProperty(kHighContrast, on);
    scene.setBackgroundBrush(background(on));
    scene.update();
}

QColor ConsoleLook::background(bool highContrast)
{
    return highContrast ? QColor(0, 0, 0) : QColor(85, 85, 119);
}

QColor ConsoleLook::focusFrame(bool highContrast)
{
    // The selection blue of the console's palette; in high contrast cyan,
    // which stands out on the black panels and on the selected line's amber
    // band alike, also to red/green colour-blind eyes.
    return highContrast ? QColor(0, 255, 255) : QColor(0, 102, 255);
}

QColor ConsoleLook::selectedBand()
{
    return QColor(255, 210, 0);
}
