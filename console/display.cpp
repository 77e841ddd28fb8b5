#include "console/display.h"

#include "support/qtcompat.h"

#include <QGuiApplication>

void prepareDisplay()
{
    enableHighDpiScaling();
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
}
