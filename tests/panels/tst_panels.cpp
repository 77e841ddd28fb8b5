// Drawn panels and buttons: rendered into images and sampled at known points,
// plus their press, blink and hit-test behaviour.
#include "console/colorbutton.h"
#include "console/dropbutton.h"
#include "console/linepanel.h"
#include "console/miscbutton.h"
#include "console/offlinepanel.h"

#include <QGraphicsScene>
#include <QGraphicsSceneHoverEvent>
#include <QGraphicsSceneMouseEvent>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QColor kBackground(1, 2, 3);

// An item's own drawing at a magnification, so sub-unit shifts become whole pixels.
struct Rendered
{
    QImage image;
    QPointF origin;
    qreal scale;

    QColor at(qreal x, qreal y) const
    {
        return image.pixelColor(int((x - origin.x()) * scale), int((y - origin.y()) * scale));
    }
};

Rendered render(QGraphicsItem& item, qreal scale = 1, int dpi = 96)
{
    const QRectF r = item.boundingRect();
    Rendered out{QImage((r.size() * scale).toSize(), QImage::Format_ARGB32), r.topLeft(), scale};
    out.image.setDotsPerMeterX(qRound(dpi / 0.0254));
    out.image.setDotsPerMeterY(qRound(dpi / 0.0254));
    out.image.fill(kBackground);
    QPainter p(&out.image);
    p.scale(scale, scale);
    p.translate(-r.topLeft());
    item.paint(&p, nullptr, nullptr);
    return out;
}

// Pixels darker than the light panel colours: drawn text.
int darkPixels(const Rendered& r, const QRect& area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += r.at(x, y).lightness() < 110;
    return n;
}

// True when every opaque pixel of the pixmap appears unchanged at (x, y) in the rendering.
bool showsPixmap(const Rendered& r, const QPixmap& pixmap, int x, int y)
{
    const QImage img = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    for (int j = 0; j < img.height(); ++j) {
        for (int i = 0; i < img.width(); ++i) {
            const QColor c = img.pixelColor(i, j);
            if (c.alpha() != 255)
                continue;
            ++opaque;
            if (r.at(x + i, y + j) != c)
                return false;
        }
    }
    return opaque > 0;
}

void sendMouse(QGraphicsScene& scene, QGraphicsItem& item, QEvent::Type type, QPointF pos, Qt::MouseButton button)
{
    QGraphicsSceneMouseEvent ev(type);
    ev.setButton(button);
    ev.setButtons(type == QEvent::GraphicsSceneMousePress ? Qt::MouseButtons(button) : Qt::NoButton);
    ev.setPos(pos);
    ev.setScenePos(item.mapToScene(pos));
    scene.sendEvent(&item, &ev);
}

void sendHover(QGraphicsScene& scene, QGraphicsItem& item, QEvent::Type type, QPointF pos)
{
    QGraphicsSceneHoverEvent ev(type);
    ev.setPos(pos);
    ev.setScenePos(item.mapToScene(pos));
    scene.sendEvent(&item, &ev);
}

QColor faceOf(int color)
{
    return ColorButton::palette(ColorButton::ButtonColors(color)).face;
}

} // namespace

class TestPanels : public QObject
{
    Q_OBJECT

private slots:
    void imagesLoad_data();
    void imagesLoad();

    void colorButtonLooks_data();
    void colorButtonLooks();
    void colorButtonBlink_data();
    void colorButtonBlink();
    void newLookStartsOnFirstColour();
    void pressedFace_data();
    void pressedFace();
    void buttonPlacement();

    void offlinePanelTexts();

    void textPanelFill_data();
    void textPanelFill();
    void hoverFollowsPointer();
    void selectedBand_data();
    void selectedBand();
    void utilityMark();
    void textIndependentOfDpi();
    void emoticonOnlyWithCaller_data();
    void emoticonOnlyWithCaller();
    void emoticonIndexWraps();
    void hitTest_data();
    void hitTest();
};

// slot: 0-3 the panel's logos, 10+i large emoticon i, 20+i small emoticon i, -1 only by path.
void TestPanels::imagesLoad_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("slot");

    QTest::newRow("ardeno 300") << ":/icons/ardeno_logo_300.png" << QSize(300, 54) << 0;
    QTest::newRow("mirt 300") << ":/icons/mirt_logo_300.png" << QSize(300, 54) << 1;
    QTest::newRow("ardeno 100") << ":/icons/ardeno_logo_100.png" << QSize(100, 18) << 2;
    QTest::newRow("mirt 100") << ":/icons/mirt_logo_100.png" << QSize(100, 18) << 3;
    const char* moods[] = {"neutral", "happy", "sad", "crying", "angry",
                           "rude", "shocked", "embarassed", "eyeroll", "crazy"};
    for (int i = 0; i < 10; ++i) {
        const QString base = QStringLiteral(":/icons/emoticon_%1").arg(QLatin1String(moods[i]));
        QTest::newRow(qPrintable(base)) << base + ".png" << QSize(52, 52) << 10 + i;
        QTest::newRow(qPrintable(base + "_26")) << base + "_26.png" << QSize(26, 26) << 20 + i;
    }
    QTest::newRow("gear") << ":/icons/gear.png" << QSize(64, 64) << -1;
    QTest::newRow("app") << ":/icons/app.png" << QSize(256, 256) << -1;
}

void TestPanels::imagesLoad()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(int, slot);

    // Building a panel registers the resources; the test itself never does.
    OfflinePanel first(0, 0, nullptr);
    LinePanel second(0, 0, nullptr);
    const QPixmap direct(path);
    QVERIFY(!direct.isNull());
    QCOMPARE(direct.size(), size);
    if (slot < 0)
        return;

    auto pick = [slot](const SurfacePanel& p) -> QPixmap {
        switch (slot) {
        case 0: return p.ardenoLogo300();
        case 1: return p.mirtLogo300();
        case 2: return p.ardenoLogo100();
        case 3: return p.mirtLogo100();
        default: return slot < 20 ? p.emoticon(unsigned(slot - 10)) : p.emoticonSmall(unsigned(slot - 20));
        }
    };
    const QPixmap a = pick(first);
    QCOMPARE(a.size(), size);
    QCOMPARE(a.toImage(), direct.toImage());
    // Decoded once for the process: every panel holds the same pixmap data.
    QCOMPARE(pick(second).cacheKey(), a.cacheKey());
}

void TestPanels::colorButtonLooks_data()
{
    QTest::addColumn<int>("color");
    QTest::addColumn<QColor>("outline");
    QTest::addColumn<QColor>("ring");
    QTest::addColumn<QColor>("face");

    const QColor outline(51, 51, 85);
    QTest::newRow("unlit") << int(ColorButton::Unlit) << outline << QColor(187, 187, 221) << QColor(221, 221, 255);
    QTest::newRow("blue") << int(ColorButton::Blue) << outline << QColor(0, 51, 204) << QColor(0, 102, 255);
    QTest::newRow("red") << int(ColorButton::Red) << outline << QColor(204, 0, 0) << QColor(255, 0, 0);
    QTest::newRow("green") << int(ColorButton::Green) << outline << QColor(0, 153, 0) << QColor(0, 204, 0);
    QTest::newRow("yellow") << int(ColorButton::Yellow) << outline << QColor(204, 204, 0) << QColor(255, 255, 102);
    // A colour outside the table (the unit's status drives the looks) falls back to unlit.
    QTest::newRow("out of range") << 9 << outline << QColor(187, 187, 221) << QColor(221, 221, 255);
}

void TestPanels::colorButtonLooks()
{
    QFETCH(int, color);
    QFETCH(QColor, outline);
    QFETCH(QColor, ring);
    QFETCH(QColor, face);

    ColorButton button(false, 0, 0, nullptr);
    button.setLook(ColorButton::Steady, ColorButton::ButtonColors(color), ColorButton::Red);
    const Rendered r = render(button, 8);
    // Sample points in button units: the face centre, the ring above the
    // face and the outline below it (default 54 x 27 button).
    QCOMPARE(r.at(25.5, 14), face);
    QCOMPARE(r.at(24, 4), ring);
    QCOMPARE(r.at(27, 24.5), outline);
}

void TestPanels::colorButtonBlink_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("startTick");
    QTest::addColumn<QString>("expected"); // face colour letters for six ticks

    QTest::newRow("slow green/unlit") << int(ColorButton::BlinkSlow) << int(ColorButton::Green)
                                      << int(ColorButton::Unlit) << 0 << "GGUUGG";
    QTest::newRow("fast green/unlit") << int(ColorButton::BlinkFast) << int(ColorButton::Green)
                                      << int(ColorButton::Unlit) << 0 << "GUGUGU";
    QTest::newRow("fast red/yellow") << int(ColorButton::BlinkFast) << int(ColorButton::Red)
                                     << int(ColorButton::Yellow) << 0 << "RYRYRY";
    // Starting on an odd tick, a slow look keeps its first colour until tick 2.
    QTest::newRow("slow from tick 1") << int(ColorButton::BlinkSlow) << int(ColorButton::Blue)
                                      << int(ColorButton::Red) << 1 << "BRRBBR";
    QTest::newRow("steady ignores ticks") << int(ColorButton::Steady) << int(ColorButton::Blue)
                                          << int(ColorButton::Red) << 0 << "BBBBBB";
    // The counter is taken as unsigned, so negative ticks still alternate in step.
    QTest::newRow("fast across wrap") << int(ColorButton::BlinkFast) << int(ColorButton::Green)
                                      << int(ColorButton::Unlit) << -3 << "UGUGUG";
}

void TestPanels::colorButtonBlink()
{
    QFETCH(int, state);
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(int, startTick);
    QFETCH(QString, expected);

    const QHash<QRgb, QChar> letters = {
        {faceOf(ColorButton::Unlit).rgb(), 'U'}, {faceOf(ColorButton::Blue).rgb(), 'B'},
        {faceOf(ColorButton::Red).rgb(), 'R'},   {faceOf(ColorButton::Green).rgb(), 'G'},
        {faceOf(ColorButton::Yellow).rgb(), 'Y'}};
    ColorButton button(true, 0, 0, nullptr);
    button.setLook(ColorButton::ButtonStates(state), ColorButton::ButtonColors(first),
                   ColorButton::ButtonColors(second));
    QString seen;
    for (int tick = startTick; tick < startTick + 6; ++tick) {
        button.blink(tick);
        seen += letters.value(render(button).at(25, 14).rgb(), '?');
    }
    QCOMPARE(seen, expected);
}

void TestPanels::newLookStartsOnFirstColour()
{
    ColorButton button(false, 0, 0, nullptr);
    button.setLook(ColorButton::BlinkSlow, ColorButton::Green, ColorButton::Unlit);
    button.blink(2);
    QCOMPARE(render(button).at(25, 14), faceOf(ColorButton::Unlit));
    button.setLook(ColorButton::BlinkSlow, ColorButton::Red, ColorButton::Unlit);
    QCOMPARE(render(button).at(25, 14), faceOf(ColorButton::Red));
    button.blink(3);
    QCOMPARE(render(button).at(25, 14), faceOf(ColorButton::Red));

    // Steady stops the blinking for good.
    button.setLook(ColorButton::Steady, ColorButton::Yellow, ColorButton::Blue);
    button.blink(1);
    button.blink(2);
    QCOMPARE(render(button).at(25, 14), faceOf(ColorButton::Yellow));
    QVERIFY(!button.isBlinking());
}

void TestPanels::pressedFace_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<QColor>("released");
    QTest::addColumn<QColor>("pressed");

    const QColor green(0, 204, 0);
    // Default lamp: face at (5, 6) moves to (4, 4), 41 x 16.
    QTest::newRow("lamp, below pressed face") << "color" << QPointF(25.5, 21) << green << QColor(51, 51, 85);
    QTest::newRow("lamp, above released face") << "color" << QPointF(25.5, 5) << QColor(0, 153, 0) << green;
    // DROP: face 30 x 30 at (4, 5) moves to (3, 3); its edge pen is 3 wide.
    QTest::newRow("drop, bottom") << "drop" << QPointF(19, 33) << QColor(255, 0, 51) << QColor(204, 0, 0);
    // Misc: face 34 x 34 at (4, 6) moves to (4, 4).
    QTest::newRow("misc, top") << "misc" << QPointF(21, 6.5) << QColor(72, 72, 72) << QColor(68, 68, 68);
}

void TestPanels::pressedFace()
{
    QFETCH(QString, kind);
    QFETCH(QPointF, point);
    QFETCH(QColor, released);
    QFETCH(QColor, pressed);

    QGraphicsScene scene;
    ColorButton color(false, 0, 0, nullptr);
    color.setLook(ColorButton::Steady, ColorButton::Green, ColorButton::Unlit);
    DropButton drop(0, 0, nullptr);
    MiscButton misc(0, 0, nullptr);
    SurfaceButton* button = kind == "color" ? static_cast<SurfaceButton*>(&color)
                          : kind == "drop"  ? static_cast<SurfaceButton*>(&drop)
                                            : static_cast<SurfaceButton*>(&misc);
    scene.addItem(button);
    QSignalSpy pressSpy(button, &SurfaceButton::buttonPressed);
    QSignalSpy releaseSpy(button, &SurfaceButton::buttonReleased);

    QCOMPARE(render(*button, 8).at(point.x(), point.y()), released);

    // Only the left button presses.
    sendMouse(scene, *button, QEvent::GraphicsSceneMousePress, QPointF(10, 10), Qt::RightButton);
    QCOMPARE(pressSpy.count(), 0);
    QVERIFY(!button->isPressed());

    sendMouse(scene, *button, QEvent::GraphicsSceneMousePress, QPointF(10, 10), Qt::LeftButton);
    QCOMPARE(pressSpy.count(), 1);
    QCOMPARE(releaseSpy.count(), 0);
    QCOMPARE(render(*button, 8).at(point.x(), point.y()), pressed);

    sendMouse(scene, *button, QEvent::GraphicsSceneMouseRelease, QPointF(10, 10), Qt::LeftButton);
    QCOMPARE(pressSpy.count(), 1);
    QCOMPARE(releaseSpy.count(), 1);
    QCOMPARE(render(*button, 8).at(point.x(), point.y()), released);
}

void TestPanels::buttonPlacement()
{
    // The lean of the line buttons is derived from their size by integer division.
    ColorButton lamp(true, 0, 0, nullptr);
    QCOMPARE(lamp.rotation(), -45.0);
    QCOMPARE(lamp.pos(), QPointF(-6, 31));
    DropButton drop(0, 0, nullptr);
    QCOMPARE(drop.rotation(), -45.0);
    QCOMPARE(drop.pos(), QPointF(13, 20));
}

void TestPanels::offlinePanelTexts()
{
    OfflinePanel panel(0, 0, nullptr);
    QCOMPARE(panel.boundingRect(), QRectF(256, 240, 512, 256));
    QCOMPARE(panel.status(), QStringLiteral("Connecting..."));

    const Rendered plain = render(panel);
    QCOMPARE(plain.at(300, 470), QColor(204, 204, 238));
    QVERIFY(showsPixmap(plain, panel.ardenoLogo300(), 362, 250));
    QVERIFY(showsPixmap(plain, panel.mirtLogo300(), 362, 310));
    QVERIFY(darkPixels(plain, QRect(262, 392, 500, 20)) > 0);
    // The error line sits below the status descenders.
    const QRect errorBand(262, 422, 500, 14);
    QCOMPARE(darkPixels(plain, errorBand), 0);

    panel.setError(QStringLiteral("Error: Connection refused"));
    QVERIFY(darkPixels(render(panel), errorBand) > 0);
    panel.setError(QString());
    QCOMPARE(darkPixels(render(panel), errorBand), 0);
}

void TestPanels::textPanelFill_data()
{
    QTest::addColumn<int>("color");
    QTest::addColumn<bool>("hovered");
    QTest::addColumn<QColor>("fill");

    QTest::newRow("plain") << int(LinePanel::Plain) << false << QColor(221, 221, 221);
    QTest::newRow("plain hovered") << int(LinePanel::Plain) << true << QColor(238, 238, 238);
    QTest::newRow("red") << int(LinePanel::Red) << false << QColor(255, 221, 221);
    QTest::newRow("red hovered") << int(LinePanel::Red) << true << QColor(255, 238, 238);
    QTest::newRow("yellow") << int(LinePanel::Yellow) << false << QColor(255, 255, 221);
    QTest::newRow("green hovered") << int(LinePanel::Green) << true << QColor(238, 255, 238);
    QTest::newRow("blue") << int(LinePanel::Blue) << false << QColor(221, 221, 255);
    QTest::newRow("unavailable") << int(LinePanel::Unavailable) << false << QColor(170, 170, 170);
    QTest::newRow("unavailable hovered") << int(LinePanel::Unavailable) << true << QColor(170, 170, 170);
    QTest::newRow("beyond table") << 6 << false << QColor(221, 221, 221);
}

void TestPanels::textPanelFill()
{
    QFETCH(int, color);
    QFETCH(bool, hovered);
    QFETCH(QColor, fill);

    LinePanel panel(0, 0, nullptr);
    panel.setTextPanelColor(LinePanel::TextPanelColor(color));
    panel.handle_hover(hovered);
    const Rendered r = render(panel, 4);
    QCOMPARE(r.at(350, 30), fill);
    // The outline is 2 wide around x 130, 3 wide when hovered.
    QCOMPARE(r.at(131.3, 30), hovered ? QColor(Qt::black) : fill);
    QCOMPARE(r.at(130, 30), QColor(Qt::black));
}

void TestPanels::hoverFollowsPointer()
{
    QGraphicsScene scene;
    LinePanel panel(0, 0, nullptr);
    scene.addItem(&panel);
    QVERIFY(panel.acceptHoverEvents());

    sendHover(scene, panel, QEvent::GraphicsSceneHoverEnter, QPointF(100, 20));
    QVERIFY(!panel.isHovered());
    sendHover(scene, panel, QEvent::GraphicsSceneHoverMove, QPointF(200, 20));
    QVERIFY(panel.isHovered());
    QCOMPARE(render(panel).at(350, 30), QColor(238, 238, 238));
    sendHover(scene, panel, QEvent::GraphicsSceneHoverMove, QPointF(600, 20));
    QVERIFY(!panel.isHovered());
    sendHover(scene, panel, QEvent::GraphicsSceneHoverEnter, QPointF(300, 40));
    QVERIFY(panel.isHovered());
    sendHover(scene, panel, QEvent::GraphicsSceneHoverLeave, QPointF(300, 40));
    QVERIFY(!panel.isHovered());
    QCOMPARE(render(panel).at(350, 30), QColor(221, 221, 221));
}

void TestPanels::selectedBand_data()
{
    QTest::addColumn<bool>("large");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QColor>("band");

    QTest::newRow("normal") << false << false << QColor(170, 170, 204);
    QTest::newRow("normal selected") << false << true << QColor(136, 136, 170);
    QTest::newRow("large") << true << false << QColor(170, 170, 204);
    QTest::newRow("large selected") << true << true << QColor(136, 136, 170);
}

void TestPanels::selectedBand()
{
    QFETCH(bool, large);
    QFETCH(bool, selected);
    QFETCH(QColor, band);

    LinePanel panel(0, 0, nullptr);
    panel.setLarge(large);
    panel.setSelected(selected);
    const int height = large ? 110 : 55;
    QCOMPARE(panel.boundingRect(), QRectF(0, 0, 680, height));
    const Rendered r = render(panel);
    QCOMPARE(r.image.height(), height);
    QCOMPARE(r.at(115, height - 20), band);
    QCOMPARE(r.at(600, height - 20), band);
    QCOMPARE(r.at(20, height / 2), QColor(204, 204, 238));
}

void TestPanels::utilityMark()
{
    LinePanel panel(0, 0, nullptr);
    QVERIFY(darkPixels(render(panel), panel.rectUtility()) > 0);
    panel.setUtility(false);
    QCOMPARE(darkPixels(render(panel), panel.rectUtility()), 0);
    panel.setLarge(true);
    panel.setUtility(true);
    QCOMPARE(panel.rectUtility(), QRect(62, 90, 20, 14));
    QVERIFY(darkPixels(render(panel), panel.rectUtility()) > 0);
}

void TestPanels::textIndependentOfDpi()
{
    // The scene is stretched to the window; its text must keep to the boxes
    // laid out for it whatever the screen's resolution.
    LinePanel panel(0, 0, nullptr);
    panel.setLineNum(12);
    panel.setText(QStringLiteral("Jane Caller - Springfield"), QStringLiteral("Weather tonight"),
                  QStringLiteral("F"), QStringLiteral("01:23"));
    const QImage at72 = render(panel, 1, 72).image;
    QCOMPARE(render(panel, 1, 96).image, at72);
    QCOMPARE(render(panel, 1, 144).image, at72);

    // At that size the whole "U" fits its box: ink inside, none on the box's last row.
    Rendered r = render(panel);
    const QRect u = panel.rectUtility();
    QVERIFY(darkPixels(r, u.adjusted(0, 0, 0, -1)) > 0);
    QCOMPARE(darkPixels(r, QRect(u.left(), u.bottom(), u.width(), 1)), 0);
}

void TestPanels::emoticonOnlyWithCaller_data()
{
    QTest::addColumn<int>("color");
    QTest::addColumn<bool>("large");
    QTest::addColumn<bool>("shown");

    QTest::newRow("plain") << int(LinePanel::Plain) << false << false;
    QTest::newRow("red") << int(LinePanel::Red) << false << true;
    QTest::newRow("yellow") << int(LinePanel::Yellow) << false << true;
    QTest::newRow("green") << int(LinePanel::Green) << false << true;
    QTest::newRow("blue") << int(LinePanel::Blue) << false << true;
    QTest::newRow("unavailable") << int(LinePanel::Unavailable) << false << false;
    QTest::newRow("green large") << int(LinePanel::Green) << true << true;
    QTest::newRow("plain large") << int(LinePanel::Plain) << true << false;
}

void TestPanels::emoticonOnlyWithCaller()
{
    QFETCH(int, color);
    QFETCH(bool, large);
    QFETCH(bool, shown);

    LinePanel panel(0, 0, nullptr);
    panel.setLarge(large);
    panel.setEmoticonIndex(1);
    panel.setTextPanelColor(LinePanel::TextPanelColor(color));
    const QPixmap& image = large ? panel.emoticon(1) : panel.emoticonSmall(1);
    const Rendered r = render(panel);
    QCOMPARE(showsPixmap(r, image, 133, 7), shown);
    if (!shown) {
        const int centre = image.width() / 2;
        QCOMPARE(r.at(133 + centre, 7 + centre), LinePanel::textPanelFill(LinePanel::TextPanelColor(color), false));
    }
}

void TestPanels::emoticonIndexWraps()
{
    LinePanel panel(0, 0, nullptr);
    panel.setTextPanelColor(LinePanel::Yellow);
    panel.setEmoticonIndex(13);
    QCOMPARE(panel.emoticonIndex(), 3u);
    const Rendered r = render(panel);
    QVERIFY(showsPixmap(r, panel.emoticonSmall(3), 133, 7));
    QVERIFY(!showsPixmap(r, panel.emoticonSmall(0), 133, 7));
}

void TestPanels::hitTest_data()
{
    QTest::addColumn<bool>("large");
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<bool>("inside");

    QTest::newRow("left of text area") << false << QPointF(129, 20) << false;
    QTest::newRow("top left corner") << false << QPointF(130, 5) << true;
    QTest::newRow("right edge") << false << QPointF(568, 20) << true;
    QTest::newRow("right of text area") << false << QPointF(569, 20) << false;
    QTest::newRow("above") << false << QPointF(300, 4) << false;
    QTest::newRow("bottom edge") << false << QPointF(300, 50) << true;
    QTest::newRow("below") << false << QPointF(300, 51) << false;
    QTest::newRow("large, y 100") << true << QPointF(300, 100) << true;
    QTest::newRow("large, y 101") << true << QPointF(300, 101) << false;
    QTest::newRow("large, x 569") << true << QPointF(569, 60) << false;
}

void TestPanels::hitTest()
{
    QFETCH(bool, large);
    QFETCH(QPointF, point);
    QFETCH(bool, inside);

    QGraphicsScene scene;
    LinePanel panel(0, 0, nullptr);
    panel.setLarge(large);
    scene.addItem(&panel);
    QSignalSpy spy(&panel, &LinePanel::selected);

    QCOMPARE(panel.isPointInTextPanel(point), inside);
    sendMouse(scene, panel, QEvent::GraphicsSceneMousePress, point, Qt::LeftButton);
    QCOMPARE(spy.count(), inside ? 1 : 0);
}

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"
