#pragma once

#include <QFont>
#include <QGraphicsItem>
#include <QObject>
#include <QPixmap>

class QPainter;
class QPoint;
class QRect;

// Base of every drawn panel of the console. Besides being a graphics item it
// hands its panels the logos and the mood emoticons; the decoded images are
// shared by all panels of the process, so building a console stays cheap.
class SurfacePanel : public QObject, public QGraphicsItem
{
    Q_OBJECT
    Q_INTERFACES(QGraphicsItem)

public:
    enum { EmoticonCount = 10 };

    SurfacePanel(int width, int height, QGraphicsItem* parent = nullptr);
    ~SurfacePanel() override;

    // The 300-pixel wide maker and product logos, and their 100-pixel versions.
    const QPixmap& ardenoLogo300() const { return m_ardenoLogo300; }
    const QPixmap& mirtLogo300() const { return m_mirtLogo300; }
    const QPixmap& ardenoLogo100() const { return m_ardenoLogo100; }
    const QPixmap& mirtLogo100() const { return m_mirtLogo100; }

    // Emoticons by mood number; any index is taken modulo EmoticonCount.
    const QPixmap& emoticon(unsigned index) const;
    const QPixmap& emoticonSmall(unsigned index) const;

    // Draws one of these images with its top left corner at pos, one image
    // pixel per unit, as sharp as the device allows at any scale.
    static void drawImage(QPainter* painter, const QPoint& pos, const QPixmap& image);

    // The console's drawing font: Helvetica with one point per scene unit.
    // The scene is stretched to the window, so its text must not grow with
    // the screen's dots per inch: at 96 dpi a 16-point number would no longer
    // fit the 18-unit box laid out for it.
    static QFont surfaceFont(int points, bool bold);

    // The panels' frame: the light box with rounded corners and, when a title
    // is given, the title in bold 16 centred over the top 30 units of
    // titleWidth. Leaves the painter with the title's font and a black pen.
    static void drawFrame(QPainter* painter, const QRect& box, const QString& title = QString(), int titleWidth = 0);

protected:
    int m_width;
    int m_height;
    QPixmap m_ardenoLogo300;
    QPixmap m_mirtLogo300;
    QPixmap m_ardenoLogo100;
    QPixmap m_mirtLogo100;
    QPixmap m_emoticons[EmoticonCount];
    QPixmap m_emoticonsSmall[EmoticonCount];
};
