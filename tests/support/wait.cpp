#include "tests/support/wait.h"

namespace testsupport {

void drainEvents()
{
    // A queued call may queue another; a few rounds settle any chain the
    // program makes, without ever waiting for the clock.
    for (int round = 0; round < 8; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

} // namespace testsupport

int testsupport::scaled(int ms)
{
    bool ok = false;
    const double factor = qEnvironmentVariable("MIRT_TIME_FACTOR").toDouble(&ok);
    return ok && factor > 1 ? int(ms * factor) : ms;
}
