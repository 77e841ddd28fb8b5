// Drawn panels and buttons: rendered into images and sampled at known points,
// plus their press, blink and hit-test behaviour.
#include "console/colorbutton.h"
#include "console/dropbutton.h"
#include "console/linepanel.h"
#include "console/miscbutton.h"
#include "console/offlinepanel.h"
#include "console/pixelgrid.h"

#include <QGraphicsScene>
#include <QGraphicsSceneHoverEvent>
#include <QGraphicsSceneMouseEvent>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

#include <functional>

namespace {

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
    out.image.fill(QColor(1, 2, 3));
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
    for (int j = 0; j < img.height(); ++j)
        for (int i = 0; i < img.width(); ++i)
            if (img.pixelColor(i, j).alpha() == 255 && ++opaque && r.at(x + i, y + j) != img.pixelColor(i, j))
                return false;
    return opaque > 0;
}

// Mouse presses and releases with a button, hover events without one.
void send(QGraphicsScene& scene, QGraphicsItem& item, QEvent::Type type, QPointF pos,
          Qt::MouseButton button = Qt::NoButton)
{
    QGraphicsSceneHoverEvent hover(type);
    QGraphicsSceneMouseEvent mouse(type);
    mouse.setButton(button);
    mouse.setButtons(type == QEvent::GraphicsSceneMousePress ? Qt::MouseButtons(button) : Qt::NoButton);
    mouse.setPos(pos);
    mouse.setScenePos(item.mapToScene(pos));
    hover.setPos(pos);
    hover.setScenePos(item.mapToScene(pos));
    scene.sendEvent(&item, button == Qt::NoButton ? static_cast<QEvent*>(&hover) : &mouse);
}

// A lamp's face colour as a letter of "UBRGY" (unlit, blue, red, green, yellow), '?' for any other.
QChar faceLetter(QGraphicsItem& button)
{
    const QColor c = render(button).at(25, 14);
    for (int i = 0; i < ColorButton::ColorCount; ++i)
        if (ColorButton::palette(ColorButton::ButtonColors(i)).face == c)
            return QStringLiteral("UBRGY").at(i);
    return '?';
}

// A part of the scene as a view shows it on a screen of the given device pixel ratio, with the
// scene stretched to the window: through the items' caches, or past every cache (the items'
// own and the scene's item caches) with every item drawing directly.
QImage shoot(QGraphicsScene& scene, const QRectF& area, qreal ratio, QSizeF stretch, bool cached)
{
    const quint64 copies = PixelGrid::copies();
    PixelGrid::setCachingEnabled(cached);
    QList<QPair<QGraphicsItem*, QGraphicsItem::CacheMode>> modes;
    for (QGraphicsItem* item : cached ? QList<QGraphicsItem*>() : scene.items()) {
        modes.append({item, item->cacheMode()});
        item->setCacheMode(QGraphicsItem::NoCache);
    }
    const QSizeF logical(area.width() * stretch.width(), area.height() * stretch.height());
    QImage image(qCeil(logical.width() * ratio), qCeil(logical.height() * ratio), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    scene.render(&p, QRectF(QPointF(), logical), area, Qt::IgnoreAspectRatio);
    p.end();
    for (const auto& mode : modes)
        mode.first->setCacheMode(mode.second);
    PixelGrid::setCachingEnabled(true);
    // Cached, the pictures were copied: with the cache broken the items
    // would draw directly, and look the same.
    bool caching = false;
    for (QGraphicsItem* item : scene.items(area))
        caching = caching || dynamic_cast<LinePanel*>(item) || dynamic_cast<ColorButton*>(item);
    if (cached && caching && PixelGrid::copies() == copies)
        QTest::qFail("no cached picture was copied", __FILE__, __LINE__);
    return image;
}

// The pixels of two pictures of one size whose largest channel difference is
// over 3 levels: antialiased edges composed in a picture first and then copied
// round a level or two apart from the same edges drawn straight onto the
// screen; a picture drawn at another resolution and stretched is off by up to 255.
int pixelsOff(const QImage& a, const QImage& b)
{
    int pixels = 0, largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const QRgb* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int diff = std::max({std::abs(qRed(pa[x]) - qRed(pb[x])), std::abs(qGreen(pa[x]) - qGreen(pb[x])),
                                       std::abs(qBlue(pa[x]) - qBlue(pb[x])), std::abs(qAlpha(pa[x]) - qAlpha(pb[x]))});
            largest = std::max(largest, diff);
            pixels += diff > 3;
        }
    }
    if (pixels)
        qWarning("%d pixels off, by up to %d levels", pixels, largest);
    return pixels;
}

// The look of a ringing line with a caller: number, name, topic, gender, timer
// and mood on a green text area, its ANSWER lamp blinking on it. Line 3's place.
struct RingingLine
{
    QGraphicsScene scene{0, 0, 1024, 768};
    LinePanel panel{0, 0, nullptr};
    ColorButton lamp{true, 0, 0, nullptr};
    const QRectF area{0, 175, 700, 65};

    RingingLine()
    {
        scene.setBackgroundBrush(QColor(85, 85, 119));
        panel.setLineNum(3);
        panel.setTextPanelColor(LinePanel::Green);
        panel.setText(QStringLiteral("Jane Caller - Springfield"), QStringLiteral("Weather tonight"),
                      QStringLiteral("F"), QStringLiteral("01:23"));
        panel.setUtility(false);
        panel.setEmoticonIndex(1);
        panel.setPos(5, 181);
        lamp.setLabel(QStringLiteral("ANSWER"));
        lamp.setLook(ColorButton::BlinkSlow, ColorButton::Green, ColorButton::Unlit);
        lamp.setPos(5, 217);
        lamp.setZValue(1);
        scene.addItem(&panel);
        scene.addItem(&lamp);
    }
};

// The changes a line panel or its lamp goes through while shown.
const struct
{
    const char* name;
    void (*apply)(RingingLine&);
} kChanges[] = {
    {"number", [](RingingLine& l) { l.panel.setLineNum(11); }},
    {"line 1", [](RingingLine& l) { l.panel.setTextLine1("Someone Else - Shelbyville"); }},
    {"line 2", [](RingingLine& l) { l.panel.setTextLine2("Traffic"); }},
    {"gender", [](RingingLine& l) { l.panel.setTextGender("M"); }},
    {"timer", [](RingingLine& l) { l.panel.setTextTimer("01:24"); }},
    {"colour", [](RingingLine& l) { l.panel.setTextPanelColor(LinePanel::Red); }},
    {"mood", [](RingingLine& l) { l.panel.setEmoticonIndex(4); }},
    {"utility", [](RingingLine& l) { l.panel.setUtility(true); }},
    {"hover", [](RingingLine& l) { l.panel.handle_hover(true); }},
    {"selected", [](RingingLine& l) { l.panel.setSelected(true); }},
    {"large", [](RingingLine& l) { l.panel.setLarge(true); }},
    {"lamp", [](RingingLine& l) { l.lamp.blink(2); }},
};

} // namespace

class TestPanels : public QObject
{
    Q_OBJECT

private slots:
    void imagesLoad()
    {
        // Building a panel registers the resources; the test itself never does.
        OfflinePanel first(0, 0, nullptr);
        LinePanel second(0, 0, nullptr);
        QStringList names{"ardeno_logo_300", "mirt_logo_300", "ardeno_logo_100", "mirt_logo_100"};
        for (const char* mood :
             {"neutral", "happy", "sad", "crying", "angry", "rude", "shocked", "embarassed", "eyeroll", "crazy"})
            names << QStringLiteral("emoticon_%1").arg(mood) << QStringLiteral("emoticon_%1_26").arg(mood);
        auto images = [](const SurfacePanel& p) {
            QList<QPixmap> all{p.ardenoLogo300(), p.mirtLogo300(), p.ardenoLogo100(), p.mirtLogo100()};
            for (unsigned i = 0; i < 10; ++i)
                all << p.emoticon(i) << p.emoticonSmall(i);
            return all;
        };
        const QList<QPixmap> a = images(first), b = images(second);
        for (int i = 0; i < names.size(); ++i) {
            const QPixmap direct(QStringLiteral(":/icons/%1.png").arg(names[i]));
            QVERIFY(!direct.isNull());
            QCOMPARE(a[i].toImage(), direct.toImage());
            // Decoded once for the process: every panel holds the same pixmap data.
            QCOMPARE(b[i].cacheKey(), a[i].cacheKey());
            // The same picture at twice the size, for screens that show it magnified.
            QCOMPARE(QImage(QStringLiteral(":/icons/%1@2x.png").arg(names[i])).size(), direct.size() * 2);
        }
    }

    // The line panel and its lamp through their caches at the usual screen scales, with the
    // scene at its own size and stretched to a window of another shape, against the same scene
    // drawn directly. Each ratio is shot cached twice (the second copy comes from the cached
    // pictures), then directly; moving to another ratio, pictures made at the one before must
    // not be shown, neither on the way there nor on the way back.
    void cachedLooksLikeDirect_data()
    {
        QTest::addColumn<QList<qreal>>("ratios");
        QTest::addColumn<QSizeF>("stretch");
        for (const qreal ratio : {1.0, 1.25, 2.0})
            QTest::newRow(qPrintable(QString::number(ratio))) << QList<qreal>{ratio} << QSizeF(1, 1);
        QTest::newRow("1.5 stretched") << QList<qreal>{1.5} << QSizeF(1.3, 1.1);
        QTest::newRow("1.5 to 1 and back") << QList<qreal>{1.5, 1.0, 1.5} << QSizeF(1, 1);
    }

    void cachedLooksLikeDirect()
    {
        QFETCH(QList<qreal>, ratios);
        QFETCH(QSizeF, stretch);
        RingingLine line;
        QImage direct;
        for (const qreal ratio : ratios) {
            const QImage cached[] = {shoot(line.scene, line.area, ratio, stretch, true),
                                     shoot(line.scene, line.area, ratio, stretch, true)};
            direct = shoot(line.scene, line.area, ratio, stretch, false);
            for (const QImage& shot : cached) {
                QCOMPARE(shot.size(), direct.size());
                QCOMPARE(pixelsOff(shot, direct), 0);
            }
        }
        // What was compared is the line: its lit lamp and its number's ink are there.
        const qreal ratio = ratios.last();
        auto count = [&](const QRectF& area, const std::function<bool(const QColor&)>& test) {
            const QRect r
                = QTransform::fromScale(stretch.width() * ratio, stretch.height() * ratio).mapRect(area).toRect();
            int n = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    n += test(direct.pixelColor(x, y));
            return n;
        };
        const QColor face = ColorButton::palette(ColorButton::Green).face;
        QVERIFY(count(QRectF(5, 10, 50, 45), [&](const QColor& c) { return c == face; }) > 50);
        QVERIFY(count(QRectF(65, 10, 15, 20), [](const QColor& c) { return c.lightness() < 60; }) > 10);
    }

    // Every change of the panel reaches its cached picture (only the changed part is
    // drawn anew): after each, the cached panel matches the panel drawn directly.
    void cacheFollowsChanges_data()
    {
        QTest::addColumn<int>("change");
        for (int i = 0; i < int(std::size(kChanges)); ++i)
            QTest::newRow(kChanges[i].name) << i;
    }

    void cacheFollowsChanges()
    {
        QFETCH(int, change);
        RingingLine line;
        const QRectF area(0, 175, 700, 125);
        shoot(line.scene, area, 1.5, QSizeF(1.1, 1.05), true);
        kChanges[change].apply(line);
        const QImage cached = shoot(line.scene, area, 1.5, QSizeF(1.1, 1.05), true);
        QCOMPARE(pixelsOff(cached, shoot(line.scene, area, 1.5, QSizeF(1.1, 1.05), false)), 0);
    }

    // Above 1:1 the images come from their twice as large versions: at ratio 2 the
    // device shows those pixel for pixel, sharp, where the small image would be
    // stretched to twice its size.
    void imagesAtRatioTwo_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("image");
        QTest::addColumn<QPoint>("at");
        QTest::newRow("line panel mood") << "line"
                                         << "emoticon_happy_26" << QPoint(138, 188);
        QTest::newRow("connection screen logo") << "offline"
                                                << "mirt_logo_300" << QPoint(362, 310);
    }

    void imagesAtRatioTwo()
    {
        QFETCH(QString, item);
        QFETCH(QString, image);
        QFETCH(QPoint, at);
        RingingLine line;
        line.scene.removeItem(&line.lamp);
        line.panel.setLarge(item == "large line");
        OfflinePanel offline(0, 0, nullptr);
        if (item == "offline") {
            line.scene.removeItem(&line.panel);
            line.scene.addItem(&offline);
        }
        const QImage twice = QImage(":/icons/" + image + "@2x.png").convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!twice.isNull());
        for (const bool cached : {true, false}) {
            const QImage shot = shoot(line.scene, QRectF(0, 0, 1024, 768), 2, QSizeF(1, 1), cached);
            int opaque = 0;
            for (int y = 0; y < twice.height(); ++y)
                for (int x = 0; x < twice.width(); ++x)
                    if (twice.pixelColor(x, y).alpha() == 255 && ++opaque)
                        QCOMPARE(shot.pixelColor(2 * at.x() + x, 2 * at.y() + y), twice.pixelColor(x, y));
            QVERIFY(opaque > twice.width());
        }
    }

    void colorButtonBlink_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("colors"); // first and second, as face letters
        QTest::addColumn<int>("startTick");
        QTest::addColumn<QString>("expected"); // the face over six ticks
        QTest::newRow("slow green/unlit") << int(ColorButton::BlinkSlow) << "GU" << 0 << "GGUUGG";
        QTest::newRow("fast green/unlit") << int(ColorButton::BlinkFast) << "GU" << 0 << "GUGUGU";
        QTest::newRow("fast red/yellow") << int(ColorButton::BlinkFast) << "RY" << 0 << "RYRYRY";
        // Starting on an odd tick, a slow look keeps its first colour until tick 2.
        QTest::newRow("slow from tick 1") << int(ColorButton::BlinkSlow) << "BR" << 1 << "BRRBBR";
        QTest::newRow("steady ignores ticks") << int(ColorButton::Steady) << "BR" << 0 << "BBBBBB";
        // The counter is taken as unsigned, so negative ticks still alternate in step.
        QTest::newRow("fast across wrap") << int(ColorButton::BlinkFast) << "GU" << -3 << "UGUGUG";
    }

    void colorButtonBlink()
    {
        QFETCH(int, state);
        QFETCH(QString, colors);
        QFETCH(int, startTick);
        QFETCH(QString, expected);
        const QString names = QStringLiteral("UBRGY");
        ColorButton button(true, 0, 0, nullptr);
        // Caught showing the second colour of an earlier look: the new look starts on its first.
        button.setLook(ColorButton::BlinkFast, ColorButton::Yellow, ColorButton::Blue);
        button.blink(1);
        button.setLook(ColorButton::ButtonStates(state), ColorButton::ButtonColors(names.indexOf(colors[0])),
                       ColorButton::ButtonColors(names.indexOf(colors[1])));
        QCOMPARE(faceLetter(button), colors[0]);
        QString seen;
        for (int tick = startTick; tick < startTick + 6; ++tick) {
            button.blink(tick);
            seen += faceLetter(button);
        }
        QCOMPARE(seen, expected);
    }

    // A lamp in every colour set (the face's lower part and the ring above it), the DROP
    // and a misc button, released and pressed: a pressed face moves up and to the left.
    void buttonFaces_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("color");
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<QColor>("released");
        QTest::addColumn<QColor>("pressed");
        const struct
        {
            const char* name;
            int color;
            QColor ring, face;
        } lamps[] = {{"unlit", ColorButton::Unlit, {187, 187, 221}, {221, 221, 255}},
                     {"green", ColorButton::Green, {0, 153, 0}, {0, 204, 0}},
                     {"yellow", ColorButton::Yellow, {204, 204, 0}, {255, 255, 102}},
                     // A colour outside the table (the unit's status drives the looks) falls back to unlit.
                     {"out of range", 9, {187, 187, 221}, {221, 221, 255}}};
        // Default 54 x 27 lamp: face 41 x 16 at (5, 6) moves to (4, 4), the outline below it.
        for (const auto& l : lamps) {
            QTest::newRow(qPrintable(QStringLiteral("%1 face").arg(l.name)))
                << "lamp" << l.color << QPointF(25.5, 21) << l.face << QColor(51, 51, 85);
            QTest::newRow(qPrintable(QStringLiteral("%1 ring").arg(l.name)))
                << "lamp" << l.color << QPointF(25.5, 5) << l.ring << l.face;
        }
        // DROP: face 30 x 30 at (4, 5) moves to (3, 3); its edge pen is 3 wide.
        QTest::newRow("drop, bottom") << "drop" << 0 << QPointF(19, 33) << QColor(255, 0, 51) << QColor(204, 0, 0);
        // Misc: face 34 x 34 at (4, 6) moves to (4, 4).
        QTest::newRow("misc, top") << "misc" << 0 << QPointF(21, 6.5) << QColor(72, 72, 72) << QColor(68, 68, 68);
    }

    void buttonFaces()
    {
        QFETCH(QString, kind);
        QFETCH(int, color);
        QFETCH(QPointF, point);
        QFETCH(QColor, released);
        QFETCH(QColor, pressed);
        QGraphicsScene scene;
        ColorButton lamp(false, 0, 0, nullptr);
        lamp.setLook(ColorButton::Steady, ColorButton::ButtonColors(color), ColorButton::Red);
        DropButton drop(0, 0, nullptr);
        MiscButton misc(0, 0, nullptr);
        SurfaceButton* button = kind == "lamp" ? static_cast<SurfaceButton*>(&lamp)
            : kind == "drop"                   ? static_cast<SurfaceButton*>(&drop)
                                               : static_cast<SurfaceButton*>(&misc);
        scene.addItem(button);
        QSignalSpy pressSpy(button, &SurfaceButton::buttonPressed);
        QSignalSpy releaseSpy(button, &SurfaceButton::buttonReleased);
        auto sample = [&] { return render(*button, 8).at(point.x(), point.y()); };
        auto emitted = [&] { return QPoint(pressSpy.count(), releaseSpy.count()); }; // (pressed, released)

        QCOMPARE(sample(), released);
        // Only the left button presses.
        send(scene, *button, QEvent::GraphicsSceneMousePress, QPointF(10, 10), Qt::RightButton);
        QCOMPARE(emitted(), QPoint(0, 0));
        send(scene, *button, QEvent::GraphicsSceneMousePress, QPointF(10, 10), Qt::LeftButton);
        QCOMPARE(emitted(), QPoint(1, 0));
        QCOMPARE(sample(), pressed);
        send(scene, *button, QEvent::GraphicsSceneMouseRelease, QPointF(10, 10), Qt::LeftButton);
        QCOMPARE(emitted(), QPoint(1, 1));
        QCOMPARE(sample(), released);
    }

    void offlinePanelError()
    {
        OfflinePanel panel(0, 0, nullptr);
        const Rendered plain = render(panel);
        QVERIFY(showsPixmap(plain, panel.ardenoLogo300(), 362, 250));
        QVERIFY(showsPixmap(plain, panel.mirtLogo300(), 362, 310));
        QVERIFY(darkPixels(plain, QRect(262, 392, 500, 20)) > 0); // "Connecting..."
        // The error line sits below the status descenders.
        const QRect errorBand(262, 422, 500, 14);
        QCOMPARE(darkPixels(plain, errorBand), 0);
        panel.setError(QStringLiteral("Error: Connection refused"));
        QVERIFY(darkPixels(render(panel), errorBand) > 0);
        panel.setError(QString());
        QCOMPARE(darkPixels(render(panel), errorBand), 0);
    }

    // The text area's fill and outline, the band behind the buttons, and the caller's
    // emoticon, shown only in the four coloured states.
    void linePanelLooks_data()
    {
        QTest::addColumn<int>("color");
        QTest::addColumn<QString>("flags"); // h hovered, s selected, L large
        QTest::addColumn<QColor>("fill");
        QTest::addColumn<int>("emoticon");
        QTest::addColumn<bool>("shown");
        const int plain = LinePanel::Plain, unavailable = LinePanel::Unavailable;
        QTest::newRow("plain hovered") << plain << "h" << QColor(238, 238, 238) << 1 << false;
        QTest::newRow("red") << int(LinePanel::Red) << "" << QColor(255, 221, 221) << 1 << true;
        QTest::newRow("green hovered") << int(LinePanel::Green) << "h" << QColor(238, 255, 238) << 1 << true;
        QTest::newRow("blue") << int(LinePanel::Blue) << "" << QColor(221, 221, 255) << 1 << true;
        QTest::newRow("unavailable hovered") << unavailable << "h" << QColor(170, 170, 170) << 1 << false;
        QTest::newRow("beyond table") << 6 << "" << QColor(221, 221, 221) << 1 << false;
        QTest::newRow("large selected green") << int(LinePanel::Green) << "sL" << QColor(221, 255, 221) << 1 << true;
        QTest::newRow("emoticon 13 shows 3") << int(LinePanel::Yellow) << "" << QColor(255, 255, 221) << 13 << true;
    }

    void linePanelLooks()
    {
        QFETCH(int, color);
        QFETCH(QString, flags);
        QFETCH(QColor, fill);
        QFETCH(int, emoticon);
        QFETCH(bool, shown);
        const bool hovered = flags.contains('h'), large = flags.contains('L');
        LinePanel panel(0, 0, nullptr);
        panel.setLarge(large);
        panel.setSelected(flags.contains('s'));
        panel.setTextPanelColor(LinePanel::TextPanelColor(color));
        panel.setEmoticonIndex(unsigned(emoticon));
        panel.handle_hover(hovered);
        const int height = large ? 110 : 55;
        const Rendered r = render(panel, 4);
        QCOMPARE(r.at(350, 30), fill);
        // The outline is 2 wide around x 130, 3 wide when hovered.
        QCOMPARE(r.at(131.3, 30), hovered ? QColor(Qt::black) : fill);
        QCOMPARE(r.at(130, 30), QColor(Qt::black));
        const QColor band = flags.contains('s') ? QColor(136, 136, 170) : QColor(170, 170, 204);
        QCOMPARE(r.at(115, height - 20), band);
        QCOMPARE(r.at(600, height - 20), band);
        QCOMPARE(r.at(20, height / 2), QColor(204, 204, 238));

        const unsigned drawn = unsigned(emoticon % 10);
        const QPixmap& image = large ? panel.emoticon(drawn) : panel.emoticonSmall(drawn);
        // Shown 1:1 the image is copied unchanged (magnified, its sharper version is used).
        QCOMPARE(showsPixmap(render(panel), image, 133, 7), shown);
        if (!shown)
            QCOMPARE(r.at(133 + image.width() / 2, 7 + image.width() / 2), fill);
    }

    void utilityMarkAndText()
    {
        LinePanel panel(0, 0, nullptr);
        panel.setLineNum(12);
        panel.setText(QStringLiteral("Jane Caller - Springfield"), QStringLiteral("Weather tonight"),
                      QStringLiteral("F"), QStringLiteral("01:23"));
        // The whole "U" fits its box: ink inside, none on the box's last row.
        const Rendered r = render(panel);
        const QRect u = panel.rectUtility();
        QVERIFY(darkPixels(r, u.adjusted(0, 0, 0, -1)) > 0);
        QCOMPARE(darkPixels(r, QRect(u.left(), u.bottom(), u.width(), 1)), 0);
        // The scene is stretched to the window: text keeps to its boxes at any screen resolution.
        QCOMPARE(render(panel, 1, 72).image, r.image);
        QCOMPARE(render(panel, 1, 144).image, r.image);

        panel.setUtility(false);
        QCOMPARE(darkPixels(render(panel), u), 0);
        panel.setLarge(true);
        panel.setUtility(true);
        QVERIFY(darkPixels(render(panel), panel.rectUtility()) > 0);
    }

    // Clicks select, and the pointer hovers, only inside the text area.
    void hitTest_data()
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
    }

    void hitTest()
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
        send(scene, panel, QEvent::GraphicsSceneMousePress, point, Qt::LeftButton);
        QCOMPARE(spy.count(), inside ? 1 : 0);
        send(scene, panel, QEvent::GraphicsSceneHoverMove, point);
        QCOMPARE(panel.isHovered(), inside);
        send(scene, panel, QEvent::GraphicsSceneHoverLeave, point);
        QVERIFY(!panel.isHovered());
    }
};

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"
