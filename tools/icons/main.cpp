// mirt-icongen: draws every image of the ":/icons/" resource as an anti-aliased
// PNG, from code, so the pictures can be regenerated and reviewed like code.
// Each picture is drawn in a fixed logical coordinate system and scaled to the
// pixel size it is needed at, so the large and small variants stay identical in
// shape. All pictures share one small palette taken from the console itself.
#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QtMath>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QLinearGradient>
#include <QtGui/QPainter>
#include <QtGui/QPainterPath>
#include <QtGui/QRadialGradient>

#include <cstdio>
#include <functional>

namespace {

// The console's own colours: its navy outline, its lavender panels and the lamp colours.
const QColor kInk(51, 51, 85);
const QColor kInkDeep(34, 34, 68);
const QColor kLavender(204, 204, 238);
const QColor kPanel(238, 238, 255);
const QColor kBlue(0, 102, 255);
const QColor kBlueDeep(0, 51, 204);
const QColor kGreen(0, 204, 0);
const QColor kGreenDeep(0, 153, 0);
const QColor kRed(255, 0, 51);
const QColor kYellow(255, 210, 63);
const QColor kYellowEdge(224, 160, 0);
const QColor kTear(80, 170, 255);
const QColor kBlush(255, 120, 140, 150);
const QColor kTongue(235, 80, 110);

using Painter = std::function<void(QPainter&)>;

// Renders a picture drawn in a logicalW x logicalH space into a pixelW x pixelH PNG.
bool render(const QString& path, int pixelW, int pixelH, qreal logicalW, qreal logicalH, const Painter& draw)
{
    QImage img(pixelW, pixelH, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.scale(pixelW / logicalW, pixelH / logicalH);
        draw(p);
    }
    if (!img.convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), pixelW, pixelH);
    return true;
}

// Text as a path scaled to fill a box, so the wordmarks do not depend on font metrics.
QPainterPath fittedText(const QString& text, bool bold, qreal letterSpacing, const QRectF& box)
{
    QFont f("Helvetica");
    f.setPixelSize(100);
    f.setBold(bold);
    f.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing);
    QPainterPath path;
    path.addText(0, 0, f, text);
    const QRectF r = path.boundingRect();
    const qreal s = qMin(box.width() / r.width(), box.height() / r.height());
    QTransform t;
    t.translate(box.left() + (box.width() - r.width() * s) / 2, box.top() + (box.height() - r.height() * s) / 2);
    t.scale(s, s);
    t.translate(-r.left(), -r.top());
    return t.map(path);
}

// --- logos, logical size 300 x 54 -----------------------------------------------

void drawArdenoLogo(QPainter& p)
{
    // Mark: a blue disc with a centred antenna sending waves to both sides.
    const QPointF c(27, 27);
    QRadialGradient disc(c - QPointF(6, 6), 30);
    disc.setColorAt(0, kBlue.lighter(125));
    disc.setColorAt(1, kBlueDeep);
    p.setPen(QPen(kInk, 2));
    p.setBrush(disc);
    p.drawEllipse(c, 24, 24);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(c, 4.5, 4.5);
    p.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 2; ++i) {
        const qreal r = 7.5 * i + 1;
        const QRectF ring(c.x() - r, c.y() - r, 2 * r, 2 * r);
        p.drawArc(ring, -40 * 16, 80 * 16);
        p.drawArc(ring, 140 * 16, 80 * 16);
    }
    // Wordmark.
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawPath(fittedText(QStringLiteral("ardeno"), true, 4, QRectF(64, 8, 230, 38)));
}

void drawMirtLogo(QPainter& p)
{
    const QRectF box(4, 4, 196, 46);
    QLinearGradient g(0, 4, 0, 50);
    g.setColorAt(0, kBlue);
    g.setColorAt(1, kBlueDeep);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(fittedText(QStringLiteral("MIRT"), true, 6, box));
    // Four lamps, the line colours of the console, as the product's signature.
    const QColor lamps[] = {kGreen, QColor(255, 220, 40), kRed, kBlue};
    for (int i = 0; i < 4; ++i) {
        const QPointF c(218 + i * 22, 27);
        QRadialGradient lg(c - QPointF(2.5, 3), 10);
        lg.setColorAt(0, lamps[i].lighter(150));
        lg.setColorAt(1, lamps[i]);
        p.setPen(QPen(kInk, 2));
        p.setBrush(lg);
        p.drawEllipse(c, 9, 9);
    }
}

// --- emoticons, logical size 52 x 52 --------------------------------------------

enum Mood { Neutral, Happy, Sad, Crying, Angry, Rude, Shocked, Embarassed, Eyeroll, Crazy };

void face(QPainter& p, const QColor& top, const QColor& bottom)
{
    QRadialGradient g(QPointF(20, 17), 34);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(kInk, 2.2));
    p.setBrush(g);
    p.drawEllipse(QPointF(26, 26), 23.5, 23.5);
}

void dotEyes(QPainter& p, qreal y = 20)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kInkDeep);
    p.drawEllipse(QPointF(18.5, y), 3, 4);
    p.drawEllipse(QPointF(33.5, y), 3, 4);
}

QPen inkPen(qreal w = 2.8)
{
    return QPen(kInkDeep, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void mouthCurve(QPainter& p, qreal y, qreal bend, qreal halfWidth = 10)
{
    QPainterPath m;
    m.moveTo(26 - halfWidth, y);
    m.quadTo(26, y + bend, 26 + halfWidth, y);
    p.setPen(inkPen());
    p.setBrush(Qt::NoBrush);
    p.drawPath(m);
}

void tear(QPainter& p, qreal x, qreal y)
{
    QPainterPath d;
    d.moveTo(x, y);
    d.cubicTo(x - 4, y + 6, x - 4, y + 10, x, y + 10);
    d.cubicTo(x + 4, y + 10, x + 4, y + 6, x, y);
    p.setPen(QPen(kBlueDeep, 1));
    p.setBrush(kTear);
    p.drawPath(d);
}

void whiteEye(QPainter& p, const QPointF& c, qreal r, const QPointF& pupilOffset, qreal pupilR)
{
    p.setPen(QPen(kInkDeep, 1.6));
    p.setBrush(Qt::white);
    p.drawEllipse(c, r, r);
    p.setPen(Qt::NoPen);
    p.setBrush(kInkDeep);
    p.drawEllipse(c + pupilOffset, pupilR, pupilR);
}

void drawEmoticon(QPainter& p, Mood mood)
{
    const QColor light = kYellow.lighter(125);
    switch (mood) {
    case Neutral:
        face(p, light, kYellow);
        dotEyes(p);
        p.setPen(inkPen());
        p.drawLine(QPointF(17, 35), QPointF(35, 35));
        break;
    case Happy:
        face(p, light, kYellow);
        dotEyes(p);
        mouthCurve(p, 31, 12, 12);
        break;
    case Sad:
        face(p, light, kYellow);
        dotEyes(p, 21);
        mouthCurve(p, 39, -9, 9);
        break;
    case Crying:
        face(p, light, kYellow);
        p.setPen(inkPen(2.4));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(14, 17, 9, 7), 0, 180 * 16);
        p.drawArc(QRectF(29, 17, 9, 7), 0, 180 * 16);
        mouthCurve(p, 40, -10, 9);
        tear(p, 16, 24);
        tear(p, 37, 24);
        break;
    case Angry:
        face(p, QColor(255, 190, 120), QColor(240, 110, 60));
        p.setPen(inkPen(3));
        p.drawLine(QPointF(12, 13), QPointF(23, 18));
        p.drawLine(QPointF(40, 13), QPointF(29, 18));
        dotEyes(p, 22);
        mouthCurve(p, 39, -7, 10);
        break;
    case Rude: {
        face(p, light, kYellow);
        p.setPen(inkPen());
        p.drawLine(QPointF(14, 20), QPointF(23, 20));
        p.setPen(Qt::NoPen);
        p.setBrush(kInkDeep);
        p.drawEllipse(QPointF(33.5, 20), 3, 4);
        QPainterPath tongue;
        tongue.moveTo(21, 33);
        tongue.lineTo(21, 39);
        tongue.cubicTo(21, 46, 33, 46, 33, 39);
        tongue.lineTo(33, 33);
        tongue.closeSubpath();
        p.setPen(QPen(kInkDeep, 1.6));
        p.setBrush(kTongue);
        p.drawPath(tongue);
        p.setPen(inkPen());
        p.drawLine(QPointF(14, 33), QPointF(38, 33));
        break;
    }
    case Shocked:
        face(p, light, kYellow);
        whiteEye(p, QPointF(18.5, 19), 5.5, QPointF(0, 0), 2.4);
        whiteEye(p, QPointF(33.5, 19), 5.5, QPointF(0, 0), 2.4);
        p.setPen(QPen(kInkDeep, 2.4));
        p.setBrush(QColor(120, 40, 40));
        p.drawEllipse(QPointF(26, 36), 5, 6.5);
        break;
    case Embarassed: {
        face(p, light, kYellow);
        p.setPen(Qt::NoPen);
        p.setBrush(kBlush);
        p.drawEllipse(QPointF(13.5, 29), 5.5, 3.5);
        p.drawEllipse(QPointF(38.5, 29), 5.5, 3.5);
        p.setPen(inkPen(2.4));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(14, 17, 9, 7), 180 * 16, 180 * 16);
        p.drawArc(QRectF(29, 17, 9, 7), 180 * 16, 180 * 16);
        QPainterPath m;
        m.moveTo(19, 36);
        m.quadTo(22.5, 33, 26, 36);
        m.quadTo(29.5, 39, 33, 36);
        p.drawPath(m);
        break;
    }
    case Eyeroll:
        face(p, light, kYellow);
        whiteEye(p, QPointF(18.5, 20), 5, QPointF(0, -2.6), 2.2);
        whiteEye(p, QPointF(33.5, 20), 5, QPointF(0, -2.6), 2.2);
        p.setPen(inkPen());
        p.drawLine(QPointF(19, 36), QPointF(34, 34));
        break;
    case Crazy: {
        face(p, light, kYellow);
        whiteEye(p, QPointF(17.5, 19), 6, QPointF(1.5, -1.5), 2.4);
        whiteEye(p, QPointF(34, 20), 3.6, QPointF(-1, 1), 1.6);
        QPainterPath grin;
        grin.moveTo(13, 31);
        grin.quadTo(26, 46, 39, 31);
        grin.closeSubpath();
        p.setPen(QPen(kInkDeep, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(QColor(120, 40, 40));
        p.drawPath(grin);
        p.setPen(Qt::NoPen);
        p.setBrush(kTongue);
        p.drawEllipse(QPointF(30, 37.5), 4, 2.8);
        break;
    }
    }
}

// --- gear, logical size 64 x 64 -------------------------------------------------

QPainterPath gearPath(const QPointF& c, qreal outer, qreal root, qreal hole, int teeth)
{
    QPainterPath gear;
    const qreal step = 2 * M_PI / teeth;
    for (int i = 0; i < teeth; ++i) {
        const qreal a = i * step;
        // Each tooth: rising flank, flat top, falling flank, then the root arc.
        const qreal pts[][2]
            = {{a - step * 0.25, root}, {a - step * 0.14, outer}, {a + step * 0.14, outer}, {a + step * 0.25, root}};
        for (int k = 0; k < 4; ++k) {
            const QPointF q(c.x() + pts[k][1] * qCos(pts[k][0]), c.y() + pts[k][1] * qSin(pts[k][0]));
            if (i == 0 && k == 0)
                gear.moveTo(q);
            else
                gear.lineTo(q);
        }
    }
    gear.closeSubpath();
    QPainterPath h;
    h.addEllipse(c, hole, hole);
    return gear.subtracted(h);
}

void drawGear(QPainter& p)
{
    const QPointF c(32, 32);
    QLinearGradient g(0, 4, 0, 60);
    g.setColorAt(0, QColor(150, 150, 200));
    g.setColorAt(1, kInk);
    p.setPen(QPen(kInkDeep, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(g);
    p.drawPath(gearPath(c, 29, 22, 9, 9));
    p.setPen(QPen(kLavender, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 15, 15);
}

// --- application icon, logical size 256 x 256 ------------------------------------

void drawApp(QPainter& p)
{
    // Tile in the console's background and panel colours.
    QLinearGradient bg(0, 0, 0, 256);
    bg.setColorAt(0, QColor(110, 110, 160));
    bg.setColorAt(1, QColor(60, 60, 100));
    p.setPen(QPen(kInkDeep, 6));
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(10, 10, 236, 236), 48, 48);

    // A lit line lamp, drawn like the console's colour buttons: outline, ring, face.
    const QRectF outer(28, 58, 200, 140);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawEllipse(outer.translated(0, 8));
    p.setBrush(kInk);
    p.drawEllipse(outer);
    p.setBrush(kGreenDeep);
    p.drawEllipse(outer.adjusted(10, 10, -10, -10));
    QRadialGradient face(QPointF(110, 100), 120);
    face.setColorAt(0, QColor(120, 255, 120));
    face.setColorAt(1, kGreen);
    p.setPen(QPen(QColor(0, 221, 0), 3));
    p.setBrush(face);
    const QRectF faceRect = outer.adjusted(20, 18, -20, -22);
    p.drawEllipse(faceRect);

    // A telephone handset across the lamp: earpiece and mouthpiece joined by a bent grip.
    p.save();
    p.translate(faceRect.center());
    p.rotate(-30);
    QPainterPath handset;
    handset.moveTo(-62, 4);
    handset.cubicTo(-50, -26, 50, -26, 62, 4);
    QPen grip(Qt::white, 18, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    QPainterPathStroker stroker(grip);
    QPainterPath shape = stroker.createStroke(handset);
    QPainterPath ear;
    ear.addRoundedRect(QRectF(-78, -2, 34, 22), 9, 9);
    QPainterPath mouth;
    mouth.addRoundedRect(QRectF(44, -2, 34, 22), 9, 9);
    shape = shape.united(ear).united(mouth);
    p.setPen(QPen(kInkDeep, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(shape);
    p.restore();

    // Highlight on the lamp's glass.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 90));
    p.drawEllipse(QRectF(70, 84, 70, 22));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    bool ok = true;
    auto file = [&out](const QString& name) { return out.filePath(name); };
    // Each picture in its own size and at twice that as "name@2x.png": the
    // console draws the larger one on screens that show it above 1:1 (a high
    // device pixel ratio, a stretched window), so it stays sharp there.
    auto both = [&](const QString& name, int pixelW, int pixelH, qreal logicalW, qreal logicalH, const Painter& draw) {
        ok &= render(file(name + ".png"), pixelW, pixelH, logicalW, logicalH, draw);
        ok &= render(file(name + "@2x.png"), 2 * pixelW, 2 * pixelH, logicalW, logicalH, draw);
    };

    both("ardeno_logo_300", 300, 54, 300, 54, drawArdenoLogo);
    both("ardeno_logo_100", 100, 18, 300, 54, drawArdenoLogo);
    both("mirt_logo_300", 300, 54, 300, 54, drawMirtLogo);
    both("mirt_logo_100", 100, 18, 300, 54, drawMirtLogo);

    const char* moods[]
        = {"neutral", "happy", "sad", "crying", "angry", "rude", "shocked", "embarassed", "eyeroll", "crazy"};
    for (int i = 0; i < 10; ++i) {
        const Painter draw = [i](QPainter& p) { drawEmoticon(p, static_cast<Mood>(i)); };
        const QString base = QStringLiteral("emoticon_%1").arg(QLatin1String(moods[i]));
        both(base, 52, 52, 52, 52, draw);
        both(base + "_26", 26, 26, 52, 52, draw);
    }

    both("gear", 64, 64, 64, 64, drawGear);
    both("app", 256, 256, 256, 256, drawApp);
    return ok ? 0 : 1;
}
