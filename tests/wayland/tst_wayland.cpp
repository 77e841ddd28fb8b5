#include "console/customgraphicsview.h"
#include "console/display.h"
#include "console/line.h"
#include "console/lines.h"
#include "console/mirtgui.h"
#include "sim/unitsimulator.h"
#include "tests/support/barrier.h"
#include "tests/support/settings.h"
#include "tests/support/unit.h"
#include "tests/support/wait.h"

#include <QAccessible>
#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace testsupport;

namespace {

// A console logged into a simulated unit, at the size of its scene, with the
// call ringing on line 3 answered by a press of ANSWER through the button's
// accessible action: the weston headless back end has no input to inject, and
// that action is what a screen reader or a switch device presses.
struct AnsweredCall
{
    std::unique_ptr<UnitSimulator> sim;
    std::unique_ptr<MIRTGui> gui;

    bool sync() { return roundTrip(gui->session(), *sim, scaled(5000)); }
    static QAccessibleInterface* child(QAccessibleInterface* node, const QString& name)
    {
        for (int i = 0; node && i < node->childCount(); ++i)
            if (node->child(i)->text(QAccessible::Name) == name)
                return node->child(i);
        return nullptr;
    }
    // What went wrong, or null.
    const char* run()
    {
        isolateSettings();
        if (!(sim = startUnit()))
            return "the simulated unit does not listen";
        // The picture holds still: no ticks, and the call rings until answered.
        sim->setTickInterval(3600 * 1000);
        sim->setRingTimeout(1000000);
        gui = std::make_unique<MIRTGui>(QStringLiteral("127.0.0.1"), sim->port(), QStringLiteral("tester"),
                                        QStringLiteral("tavrik"));
        if (!waitFor([this] { return gui->session().getState() == IPCObject::IPC_READY; }, scaled(20000)))
            return "the console did not log in";
        CustomGraphicsView& view = gui->consoleView();
        view.resize(1024, 768);
        if (!QTest::qWaitForWindowExposed(&view) || !sim->ring(2, QStringLiteral("Ann")) || !sync())
            return "the console did not show the ringing call";
        QAccessibleInterface* answer
            = child(child(QAccessible::queryAccessibleInterface(&view), QStringLiteral("Line 3")), "ANSWER");
        if (!answer || !answer->actionInterface())
            return "line 3 has no accessible ANSWER button";
        answer->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        if (!waitFor([this] { return sim->line(2).word == LineStatus::OnHandset; }, scaled(5000)) || !sync())
            return "the press of ANSWER did not reach the unit";
        if (LineStatus::wordOf(gui->lines()->line(2)->state().status) != LineStatus::OnHandset)
            return "the console did not show the answered call";
        return nullptr;
    }
    // The console window as it draws itself, the column of line panels only.
    QImage panels()
    {
        CustomGraphicsView& view = gui->consoleView();
        // Whether the new window is active is the platform's choice (weston
        // without a keyboard never activates it): without the keyboard focus
        // the selected line shows no focus frame on either.
        view.clearFocus();
        drainEvents();
        QRectF column;
        for (unsigned i = 0; i < sim->numLines(); ++i)
            column |= gui->lines()->line(i)->panel().sceneBoundingRect();
        // Wayland's windows have an alpha channel, X11's not: the colours count.
        const QImage window = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRectF r = view.mapFromScene(column).boundingRect();
        const qreal ratio = window.devicePixelRatio();
        return window.copy(QRect((r.topLeft() * ratio).toPoint(), (r.size() * ratio).toSize()));
    }
};

} // namespace

// The program as a native Wayland client, under a headless weston that
// tests/wayland/weston-session.sh starts (at scale 1, or 2).
class TestWayland : public QObject
{
    Q_OBJECT

private slots:
    void answeredCallLooksAsOnX11()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
        AnsweredCall call;
        const char* failure = call.run();
        QVERIFY2(!failure, failure);
        // Drawn at the output's scale, not stretched by the compositor.
        QCOMPARE(call.gui->consoleView().devicePixelRatioF(), qreal(qEnvironmentVariableIntValue("WESTON_SCALE")));

        // The same console on Qt's offscreen platform (the raster drawing of
        // X11, without a server), at the scale of this compositor's output.
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("x11.png"));
        const QImage wayland = call.panels();
        QProcess reference;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // At X11's usual 96 dpi: offscreen's own 100 would scale the picture.
        env.insert(QStringLiteral("QT_FONT_DPI"), QStringLiteral("96"));
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(call.gui->consoleView().devicePixelRatioF()));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
        reference.setProcessEnvironment(env);
        reference.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        reference.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--reference"), file});
        QVERIFY(reference.waitForFinished(scaled(60000)) && reference.exitCode() == 0);
        const QImage x11(file);
        QCOMPARE(x11.size(), wayland.size());
        if (x11 != wayland) {
            wayland.save(dir.filePath(QStringLiteral("wayland.png")));
            dir.setAutoRemove(false);
            QFAIL(qPrintable(QStringLiteral("the line panels differ: see %1").arg(dir.path())));
        }
    }
};

int main(int argc, char* argv[])
{
    prepareDisplay();
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--reference") == 0) {
        AnsweredCall call;
        const char* failure = call.run();
        if (!failure && !call.panels().save(QString::fromLocal8Bit(argv[2])))
            failure = "the picture was not saved";
        if (failure)
            qCritical("reference: %s", failure);
        return failure ? 1 : 0;
    }
    TestWayland test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_wayland.moc"
