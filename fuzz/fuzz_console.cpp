// Frames from a unit, through the session's receive path into a whole
// console: the real Lines, Chat, InfoEdit and Top on the offscreen platform,
// then drawn. A fresh console per input, so every finding replays alone.
//
// Input: the first byte's low nibble picks the line the user has selected
// (0-11, 12 and above: none); bit 4 set starts with an accepted login, so
// the console is live; the rest is the NUL-framed byte stream.
//
// Properties: nothing crashes or hangs; and after any stream the console
// still follows its unit: a well-formed line status and caller record
// afterwards show on the line and in the caller editor as sent.
#include "fuzz/fuzzcheck.h"

#include "console/infoedit.h"
#include "console/line.h"
#include "console/lines.h"
#include "console/mirtgui.h"
#include "tests/support/settings.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <string>

namespace {

QApplication* g_app = nullptr;

void feed(IPCObject& session, const std::string& bytes)
{
    size_t taken = 0;
    while (taken < bytes.size()) {
        const unsigned int n
            = session.incoming_data(bytes.data() + taken, static_cast<unsigned int>(bytes.size() - taken));
        if (n == 0)
            break;
        taken += n;
    }
}

// Debug lines (every frame is logged) and warnings (failed sends: there is
// no unit) would only slow the fuzzer down.
void quiet(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtFatalMsg || type == QtCriticalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    (void)argc;
    (void)argv;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    testsupport::isolateSettings();
    static int appArgc = 1;
    static char name[] = "fuzz_console";
    static char* appArgv[] = {name, nullptr};
    g_app = new QApplication(appArgc, appArgv);
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (size < 1)
        return 0;
    const unsigned int selected = data[0] & 0x0f;
    const bool live = data[0] & 0x10;
    const std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);

    // Port 0 reaches nothing: the attempt fails at once and is not retried
    // while no events run.
    MIRTGui console(QStringLiteral("127.0.0.1"), 0, QStringLiteral("studio"), QStringLiteral("tavrik"));
    IPCObject& session = console.session();
    if (live)
        feed(session, std::string("<login success=\"true\"/>", 23) + '\0');
    if (selected < Lines::MaxLines)
        console.lines()->panelSelected(selected);

    feed(session, stream);
    QCoreApplication::processEvents();

    // Drawn as the window would be, at a small size.
    QImage image(256, 192, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    console.consoleScene().render(&painter);
    painter.end();

    // Still following the unit.
    const unsigned int line = selected < Lines::MaxLines ? selected : 0;
    const std::string id = std::to_string(line);
    feed(session,
         "<system_status aa_enabled=\"false\" busied_out=\"false\" num_lines=\"12\"/>" + std::string(1, '\0')
             + "<line_status line_id=\"" + id + "\" locked=\"false\" status=\"on hold\" time=\"5\"/>"
             + std::string(1, '\0') + "<ancillary_data line_id=\"" + id
             + "\" local=\"false\" name=\"Probe\" location=\"Here\"/>" + std::string(1, '\0'));
    const Line* probe = console.lines()->line(line);
    FUZZ_CHECK(probe);
    FUZZ_CHECK(probe->state().status == QStringLiteral("on hold"));
    FUZZ_CHECK(probe->attributes().name == QStringLiteral("Probe"));
    if (selected < Lines::MaxLines && console.lines()->selectedLine() == line)
        FUZZ_CHECK(console.infoEdit()->nameEditor().text() == QStringLiteral("Probe"));
    console.disconnect();
    return 0;
}
