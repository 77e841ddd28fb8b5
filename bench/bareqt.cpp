// mirt_bareqt: the yardstick of the cold start. A Qt program with nothing of
// its own, showing an empty main window; mirt_coldstart starts it the same
// way as the program, so the difference is what the program adds to the
// start of Qt itself. The display is set up as the program sets it up (no
// OpenGL, which nothing here draws with), so the difference is not the GL
// probe that the program leaves out.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(640, 480);
    window.show();
    return app.exec();
}
