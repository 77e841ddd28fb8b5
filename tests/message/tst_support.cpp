#include "ipc/exception.h"
#include "ipc/logger.h"

#include <QtTest>

#include <cerrno>
#include <cstring>

namespace {

// Records what reaches the sink instead of writing it.
class RecordingLogger : public Logger
{
public:
    QStringList lines; // "mask level text"

    void handle_log(unsigned int mask, LOG_LEVEL level, const char *text) override
    {
        lines << QStringLiteral("%1 %2 %3").arg(mask).arg(unsigned(level)).arg(text);
    }
};

} // namespace

class TestSupport : public QObject
{
    Q_OBJECT

private slots:
    void exceptionText()
    {
        const Exception e("%s: Failed to find '%s' #%d", "sig()", "line", 3);
        QCOMPARE(QByteArray(e.what()), QByteArray("sig(): Failed to find 'line' #3"));
        const std::string text(5000, 'x');
        QCOMPARE(strlen(Exception("%s", text.c_str()).what()), size_t(4095));
        errno = ENOENT;
        QCOMPARE(QByteArray::fromStdString(libipc_errstr(false)), QByteArray(strerror(ENOENT)));
    }

    void gate_data()
    {
        QTest::addColumn<unsigned int>("setMask");
        QTest::addColumn<unsigned int>("setLevel");
        QTest::addColumn<unsigned int>("mask"); // 0: log(), otherwise clog(mask, ...)
        QTest::addColumn<unsigned int>("level");
        QTest::addColumn<bool>("passes");

        QTest::newRow("default info passes") << 0u << 0u << 0u << unsigned(LL_INFO) << true;
        QTest::newRow("default debug dropped") << 0u << 0u << 0u << unsigned(LL_DEBUG) << false;
        QTest::newRow("debug after raising") << 1u << unsigned(LL_DEBUG) << 0u << unsigned(LL_DEBUG) << true;
        QTest::newRow("warning below error") << 1u << unsigned(LL_ERROR) << 0u << unsigned(LL_WARNING) << false;
        QTest::newRow("clog 6 gated by channel 1") << 2u << unsigned(LL_ERROR) << 6u << unsigned(LL_INFO) << false;
        QTest::newRow("clog 6 ignores channel 2") << 4u << unsigned(LL_ERROR) << 6u << unsigned(LL_INFO) << true;
        QTest::newRow("clog high bit") << 0x80000000u << unsigned(LL_DEBUG) << 0x80000000u << unsigned(LL_DEBUG) << true;
    }

    void gate()
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
        const QString line = QStringLiteral("%1 %2 n=5").arg(mask ? mask : 1u).arg(level);
        QCOMPARE(logger.lines, passes ? QStringList{line} : QStringList());
    }

    void errnoAndLongLines()
    {
        RecordingLogger logger;
        logger.set_log_level(0xffffffffu, LL_ERROR);
        logger.log_errno(ENOENT, "open %s", "file");
        logger.clog_errno(6, EACCES, "write");
        QCOMPARE(logger.lines[0], QStringLiteral("1 0 open file: %1").arg(strerror(ENOENT)));
        QCOMPARE(logger.lines[1], QStringLiteral("6 0 write: %1").arg(strerror(EACCES)));

        // Cut inside a conversion: no dangling '%' reaches the formatter.
        const std::string format = std::string(1022, 'a') + "%d";
        logger.log_errno(ENOENT, format.c_str(), 1);
        QCOMPARE(logger.lines[2], "1 0 " + QString(1022, 'a'));

        const std::string text(5000, 'y');
        logger.log(LL_ERROR, "%s", text.c_str());
        QCOMPARE(logger.lines[3].size(), 4 + 4095);
    }
};

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_support.moc"
