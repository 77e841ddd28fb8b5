#include "tests/support/barrier.h"

#include "ipc/ipcobject.h"
#include "message/message.h"
#include "sim/unitsimulator.h"
#include "tests/support/wait.h"

#include <QObject>

namespace testsupport {

namespace {
unsigned g_marker = 0;
}

bool roundTrip(IPCObject& session, UnitSimulator& unit, int timeoutMs)
{
    const unsigned n = ++g_marker;
    unsigned echoed = 0;
    const QMetaObject::Connection echo = QObject::connect(
        &session, &IPCObject::recvLogMessage, [&echoed](const Message& m) { echoed = m.params().get_uint("n", 0); });

    Message marker;
    marker.set_name("test_marker");
    marker.params().set_uint("n", n);
    bool done = session.send_message(marker);
    done = done
        && waitFor(
               [&] {
                   for (const Message& m : unit.receivedMessages(QStringLiteral("test_marker")))
                       if (m.params().get_uint("n", 0) == n)
                           return true;
                   return false;
               },
               timeoutMs);
    if (done) {
        Message back;
        back.set_name("log_message");
        back.params().set_uint("n", n);
        unit.sendMessage(back);
        done = waitFor([&] { return echoed == n; }, timeoutMs);
    }
    QObject::disconnect(echo);
    return done;
}

QList<Message> receivedFrames(const UnitSimulator& unit)
{
    QList<Message> out;
    for (const Message& m : unit.receivedMessages())
        if (m.get_name() != "test_marker")
            out.append(m);
    return out;
}

QList<Message> editorSends(const UnitSimulator& unit)
{
    QList<Message> out;
    for (const Message& m : unit.receivedMessages(QStringLiteral("ancillary_data")))
        if (m.params().has_param("moodidx"))
            out.append(m);
    return out;
}

QString xmlOf(const Message& m)
{
    std::string xml;
    m.build_string(Message::ENC_XML, xml, false);
    strip_xml_header(xml);
    return QString::fromStdString(xml);
}

} // namespace testsupport
