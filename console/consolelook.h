#pragma once

#include <QColor>

class QGraphicsItem;
class QGraphicsScene;

// The console's two looks: its standard colours, and high contrast for
// low-vision users and for red/green colour blindness, in which the scene is
// black, the panels' texts sit on light fills with strong outlines, and each
// lamp colour has a brightness of its own and a ring shape of its own, so
// that a ringing lamp and an on-air lamp differ in grey scale too. The look
// belongs to a console's scene; its drawn items ask for it when they paint.
class ConsoleLook
{
public:
    static bool isHighContrast(const QGraphicsScene* scene);
    static bool isHighContrast(const QGraphicsItem& item);
    // Switches the scene's look and repaints it.
    static void setHighContrast(QGraphicsScene& scene, bool on);

    static QColor background(bool highContrast);
    // The focus frame around the line that has the console's focus.
    static QColor focusFrame(bool highContrast);
    // The band of the selected line in high contrast.
    static QColor selectedBand();
};
