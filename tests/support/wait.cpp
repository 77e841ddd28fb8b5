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
