#include "ipc/exception.h"
#include "ipc/logger.h"

#include <QtTest>

#include <cerrno>
#include <cstring>
#include <syslog.h>

namespace {

// Records what reaches the sink instead of writing it.
class RecordingLogger : public Logger
{
public:
    struct Line {
        unsigned int mask;
        LOG_LEVEL level;
        QByteArray text;
    };
    QVector<Line> lines;

    void handle_log(unsigned int mask, LOG_LEVEL level, const char *text) override
    {
        lines.append({mask, level, QByteArray(text)});
    }
};

} // namespace

class TestSupport : public QObject
{
    Q_OBJECT

private slots:
    void exceptionFormats();
    void exceptionCutsLongText();
    void errstrReadsErrno();
    void gate_data();
    void gate();
    void errnoVariantsAlwaysPass();
    void longLinesAreCut();
    void syslogPriority_data();
    void syslogPriority();
};

void TestSupport::exceptionFormats()
{
    try {
        throw Exception("%s: Failed to find '%s' #%d", "sig()", "line", 3);
    } catch (const std::exception &e) {
        QCOMPARE(QByteArray(e.what()), QByteArray("sig(): Failed to find 'line' #3"));
    }
}

void TestSupport::exceptionCutsLongText()
{
    const std::string text(5000, 'x');
    const Exception e("%s", text.c_str());
    QCOMPARE(strlen(e.what()), size_t(4095));
}

void TestSupport::errstrReadsErrno()
{
    errno = ENOENT;
    QCOMPARE(QByteArray::fromStdString(libipc_errstr(false)), QByteArray(strerror(ENOENT)));
}

void TestSupport::gate_data()
{
    QTest::addColumn<unsigned int>("setMask");
    QTest::addColumn<unsigned int>("setLevel");
    QTest::addColumn<unsigned int>("mask");
    QTest::addColumn<unsigned int>("level");
    QTest::addColumn<bool>("passes");

    // mask 0 below means log(), otherwise clog(mask, ...).
    QTest::newRow("default error passes") << 0u << 0u << 0u << unsigned(LL_ERROR) << true;
    QTest::newRow("default info passes") << 0u << 0u << 0u << unsigned(LL_INFO) << true;
    QTest::newRow("default debug dropped") << 0u << 0u << 0u << unsigned(LL_DEBUG) << false;
    QTest::newRow("debug after raising channel 0") << 1u << unsigned(LL_DEBUG) << 0u << unsigned(LL_DEBUG) << true;
    QTest::newRow("warning after lowering to error") << 1u << unsigned(LL_ERROR) << 0u << unsigned(LL_WARNING) << false;
    QTest::newRow("clog 6 gated by channel 1") << 2u << unsigned(LL_ERROR) << 6u << unsigned(LL_INFO) << false;
    QTest::newRow("clog 6 ignores channel 2") << 4u << unsigned(LL_ERROR) << 6u << unsigned(LL_INFO) << true;
    QTest::newRow("clog 0 uses channel 0") << 1u << unsigned(LL_DEBUG) << 0x80000000u << unsigned(LL_DEBUG) << false;
    QTest::newRow("clog high bit") << 0x80000000u << unsigned(LL_DEBUG) << 0x80000000u << unsigned(LL_DEBUG) << true;
}

void TestSupport::gate()
{
    QFETCH(unsigned int, setMask);
    QFETCH(unsigned int, setLevel);
    QFETCH(unsigned int, mask);
    QFETCH(unsigned int, level);
    QFETCH(bool, passes);

    RecordingLogger logger;
    if (setMask)
        logger.set_log_level(setMask, LOG_LEVEL(setLevel));
    if (mask)
        logger.clog(mask, LOG_LEVEL(level), "n=%d", 5);
    else
        logger.log(LOG_LEVEL(level), "n=%d", 5);

    QCOMPARE(logger.lines.size(), passes ? 1 : 0);
    if (passes) {
        QCOMPARE(logger.lines[0].text, QByteArray("n=5"));
        QCOMPARE(logger.lines[0].mask, mask ? mask : 1u);
        QCOMPARE(unsigned(logger.lines[0].level), level);
    }
}

void TestSupport::errnoVariantsAlwaysPass()
{
    RecordingLogger logger;
    logger.set_log_level(0xffffffffu, LL_ERROR);
    logger.log_errno(ENOENT, "open %s", "file");
    logger.clog_errno(6, EACCES, "write");
    QCOMPARE(logger.lines.size(), 2);
    QCOMPARE(logger.lines[0].text, QByteArray("open file: ") + QByteArray(strerror(ENOENT)));
    QCOMPARE(logger.lines[0].mask, 1u);
    QCOMPARE(unsigned(logger.lines[0].level), unsigned(LL_ERROR));
    QCOMPARE(logger.lines[1].text, QByteArray("write: ") + QByteArray(strerror(EACCES)));
    QCOMPARE(logger.lines[1].mask, 6u);

    // A format long enough to be cut inside a conversion must not leave a
    // dangling '%' behind.
    std::string format(1022, 'a');
    format += "%d";
    logger.log_errno(ENOENT, format.c_str(), 1);
    QCOMPARE(logger.lines.size(), 3);
    QCOMPARE(logger.lines[2].text, QByteArray(1022, 'a'));
}

void TestSupport::longLinesAreCut()
{
    RecordingLogger logger;
    const std::string text(5000, 'y');
    logger.log(LL_ERROR, "%s", text.c_str());
    QCOMPARE(logger.lines[0].text.size(), 4095);
}

void TestSupport::syslogPriority_data()
{
    QTest::addColumn<unsigned int>("level");
    QTest::addColumn<int>("priority");
    QTest::newRow("error") << unsigned(LL_ERROR) << LOG_ERR;
    QTest::newRow("warning") << unsigned(LL_WARNING) << LOG_WARNING;
    QTest::newRow("info") << unsigned(LL_INFO) << LOG_INFO;
    QTest::newRow("debug") << unsigned(LL_DEBUG) << LOG_DEBUG;
    QTest::newRow("7") << 7u << LOG_INFO;
}

void TestSupport::syslogPriority()
{
    QFETCH(unsigned int, level);
    QFETCH(int, priority);
    QCOMPARE(Logger::syslog_priority(LOG_LEVEL(level)), priority);
}

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_support.moc"
