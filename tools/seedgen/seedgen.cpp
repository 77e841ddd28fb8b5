// Writes the seed corpora from real traffic: a simulated unit is started on
// a loopback port, a plain socket logs in, resyncs, presses buttons, sends
// caller information and chat, and every frame the unit sends back is kept.
// Run by hand after a protocol change: seedgen <fuzz/corpus folder>.
#include "ipc/ipc.h"
#include "sim/unitsimulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>

#include <cstdio>
#include <map>
#include <string>

namespace {

QByteArray frame(const Message& msg)
{
    std::string xml;
    msg.build_string(Message::ENC_XML, xml, false);
    strip_xml_header(xml);
    return QByteArray(xml.data(), int(xml.size())) + '\0';
}

Message command(const char* name, std::initializer_list<std::pair<const char*, const char*>> params)
{
    Message msg;
    msg.set_name(name);
    for (const auto& p : params)
        msg.params().set_string(p.first, p.second);
    return msg;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        std::fprintf(stderr, "seedgen: cannot write %s\n", qPrintable(path));
}

QByteArray compact(const Message& msg)
{
    std::string out;
    msg.build_string_compact(out);
    return QByteArray(out.data(), int(out.size()));
}

void waitFor(QTcpSocket& socket, int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        socket.waitForReadyRead(20);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: seedgen <corpus folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));

    UnitSimulator unit;
    unit.setTickInterval(200);
    if (!unit.start(0))
        return 1;
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), unit.port());
    if (!socket.waitForConnected(3000))
        return 1;

    const Message commands[] = {
        command("login", {{"id", "console"}, {"password", "tavrik"}, {"username", "studio"}}),
        command("set_handset_id", {{"id", "none"}}),
        command("set_config", {{"surface", "4"}}),
        command("resync", {}),
        command("change_line_state", {{"command", "hold"}, {"line_id", "0"}}),
        command("change_line_state", {{"command", "air"}, {"line_id", "1"}}),
        command("change_line_flags", {{"flag", "locked"}, {"line_id", "2"}, {"state", "true"}}),
        command("change_global_state", {{"enabled", "true"}, {"state", "aa"}}),
        command("ancillary_data",
                {{"line_id", "1"},
                 {"name", "Ann \"the caller\""},
                 {"location", "Zürich"},
                 {"genderidx", "2"},
                 {"moodidx", "1"},
                 {"notes", "<first> & last"}}),
        command("chat_data", {{"from", "studio"}, {"text", "on air in 5 < 6 & \"soon\""}}),
        command("change_line_state", {{"command", "drop"}, {"line_id", "1"}}),
    };
    unit.ring(1, QStringLiteral("Bob"));
    for (const Message& msg : commands) {
        socket.write(frame(msg));
        waitFor(socket, 150);
    }
    waitFor(socket, 1200);
    const QByteArray stream = socket.readAll();

    // One file per distinct shape of frame (name plus attribute names).
    std::map<std::string, Message> shapes;
    for (const QByteArray& bytes : stream.split('\0')) {
        if (bytes.isEmpty())
            continue;
        const Message msg(bytes.toStdString());
        std::string key = msg.get_name();
        for (const auto& p : msg.params().entries())
            key += "." + p.first;
        shapes.emplace(key, msg);
    }
    for (const Message& msg : commands)
        shapes.emplace("cmd." + msg.get_name() + std::to_string(msg.params().num_params()), msg);

    int n = 0;
    for (const auto& shape : shapes) {
        const Message& msg = shape.second;
        const QString base
            = QStringLiteral("%1-%2").arg(n++, 2, 10, QLatin1Char('0')).arg(QString::fromStdString(msg.get_name()));
        // Mode byte 0: NUL-framed XML, whole; mode 1: one compact block.
        writeFile(out.filePath(QStringLiteral("ipc_stream/") + base), QByteArray(1, '\0') + frame(msg));
        writeFile(out.filePath(QStringLiteral("ipc_stream/") + base + QStringLiteral(".compact")),
                  QByteArray(1, '\1') + QByteArray(1, '\0') + compact(msg));
        writeFile(out.filePath(QStringLiteral("compact/") + base), compact(msg));
        writeFile(out.filePath(QStringLiteral("text/") + base), QByteArray::fromStdString(msg.params().build_string()));
    }
    // The whole session as it came off the socket, in 7-byte pieces.
    writeFile(out.filePath(QStringLiteral("ipc_stream/session")), QByteArray(1, char(6 << 1)) + stream.left(60000));

    Message status(stream.left(stream.indexOf('\0')).toStdString());
    for (const auto& shape : shapes) {
        if (shape.second.get_name() == "line_status")
            status.add_child(shape.second);
    }
    std::string xml;
    status.build_string_xml(xml, true);
    writeFile(out.filePath(QStringLiteral("message_file/status.xml")), QByteArray::fromStdString(xml));
    std::string tagged;
    status.build_string(Message::ENC_COMPACT, tagged);
    writeFile(out.filePath(QStringLiteral("message_file/status.bin")), QByteArray::fromStdString(tagged));
    std::fprintf(stderr, "seedgen: %d frames, %d shapes\n", int(stream.count('\0')), n);
    return 0;
}
