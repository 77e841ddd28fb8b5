#include "store/config.h"
#include "store/unittablemodel.h"
#include "tests/support/settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

using ValueMap = QMap<QString, QString>;
Q_DECLARE_METATYPE(ValueMap)

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Runs fn with standard output sent to a file and returns what was printed.
template <typename Fn>
QByteArray captureStdout(const QString& path, Fn fn)
{
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDOUT_FILENO);
    ::close(fd);
    fn();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    return readAll(path);
}

} // namespace

class TestStore : public QObject
{
    Q_OBJECT

    QString file(const char* name) const { return m_dir.filePath(QLatin1String(name)); }
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        isolateSettings();
        QVERIFY(m_dir.isValid());
    }
    void init() { settingsStore().clear(); }

    void configRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<ValueMap>("expected");
        QTest::addColumn<QByteArray>("saved");
        auto row = [](const char* name, const QByteArray& content, const ValueMap& expected, QByteArray saved = {}) {
            QTest::newRow(name) << content << expected << (saved.isNull() ? content : saved);
        };

        row("malformed lines skipped, last duplicate wins, no final newline",
            "A=B=C\nnothing here\n\nK=V\nNET_DNS=\nK=W", {{"K", "W"}, {"NET_DNS", ""}}, "K=W\nNET_DNS=\n");
        row("CR LF and blanks kept", " A = 1 \r\nB=2\r\n", {{" A ", " 1 \r"}, {"B", "2\r"}});
        row("non-ASCII value", QStringLiteral("NAME=Zoë 東京 😀\n").toUtf8(), {{"NAME", QStringLiteral("Zoë 東京 😀")}});
        row("character-code order", "LINE2=0\nLINE10=1\nCLUSTER_ID=5\nCLUSTERING=1\n",
            {{"LINE2", "0"}, {"LINE10", "1"}, {"CLUSTER_ID", "5"}, {"CLUSTERING", "1"}},
            "CLUSTERING=1\nCLUSTER_ID=5\nLINE10=1\nLINE2=0\n");
        // A line far beyond any fixed buffer stays one entry, not bogus ones made of its tail.
        const QByteArray big(10000, 'x');
        row("10000-byte lines", "LONG=" + big + "=tail\nLONG2=" + big + "\nAFTER=1\n",
            {{"LONG2", QString::fromLatin1(big)}, {"AFTER", "1"}}, "AFTER=1\nLONG2=" + big + "\n");
        row("empty file", "", {});
    }

    void configRoundTrip()
    {
        QFETCH(QByteArray, content);
        QFETCH(ValueMap, expected);
        QFETCH(QByteArray, saved);

        QVERIFY(writeAll(file("load.cfg"), content));
        Config config;
        ValueMap values{{"STALE", "x"}};
        captureStdout(file("stdout.txt"), [&] { QVERIFY(config.load(file("load.cfg"), values)); });
        QCOMPARE(values, expected);

        QVERIFY(writeAll(file("save.cfg"), "OLD=content that must go\n"));
        QVERIFY(config.save(file("save.cfg"), values));
        QCOMPARE(readAll(file("save.cfg")), saved);
        ValueMap back;
        captureStdout(file("stdout.txt"), [&] { QVERIFY(config.load(file("save.cfg"), back)); });
        QCOMPARE(back, expected);

        QVERIFY(!config.load(file("does-not-exist"), back));
        QVERIFY(back.isEmpty());
    }

    void configEchoMasksPasswords()
    {
        QVERIFY(writeAll(file("echo.cfg"),
                         "CONFIG_GUI_PASSWORD=hunter2\nNET_ADDRESS=DHCP\nadmin_password=swordfish\nBROKEN\n"));
        Config config;
        ValueMap values;
        const QByteArray printed =
            captureStdout(file("stdout.txt"), [&] { QVERIFY(config.load(file("echo.cfg"), values)); });

        // The map holds the real values; only the echo is masked.
        QCOMPARE(values.value("CONFIG_GUI_PASSWORD"), QStringLiteral("hunter2"));
        const QByteArray mask(Config::maskedValue);
        QVERIFY(!mask.contains("hunter2") && !mask.contains("swordfish"));
        QCOMPARE(printed, "CONFIG_GUI_PASSWORD = " + mask + "\nNET_ADDRESS = DHCP\nadmin_password = " + mask + "\n");
    }

    void configSaveFailureKeepsOldFile()
    {
        QTemporaryDir outer;
        QVERIFY(QFile::setPermissions(outer.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                       | QFile::ReadOther | QFile::ExeOther));
        const QString dir = outer.filePath(QStringLiteral("ro"));
        QVERIFY(QDir().mkdir(dir));
        const QString path = dir + QStringLiteral("/rc.app");
        const QByteArray old("CONFIG_GUI_PASSWORD=old\nKEEP=1\n");
        QVERIFY(writeAll(path, old));
        QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));

        // Root may write anywhere, so drop to an unprivileged user for the save.
        const bool root = ::geteuid() == 0;
        ValueMap values{{"NEW", "1"}};
        if (root)
            QCOMPARE(::seteuid(65534), 0);
        const bool saved = Config().save(path, values);
        if (root)
            QCOMPARE(::seteuid(0), 0);

        QVERIFY(!saved);
        QCOMPARE(readAll(path), old);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"rc.app"});
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void modelSetDataPadsAndPersists_data()
    {
        QTest::addColumn<QStringList>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("column 2 of a one-string row") << QStringList{"a:1"} << 2 << QStringList{"a:1", "", "pä"};
        QTest::newRow("column 0 of an empty row") << QStringList{} << 0 << QStringList{"pä"};
        QTest::newRow("overwrite") << QStringList{"a:1", "u", "old"} << 2 << QStringList{"a:1", "u", "pä"};
    }

    void modelSetDataPadsAndPersists()
    {
        QFETCH(QStringList, row);
        QFETCH(int, column);
        QFETCH(QStringList, expected);

        settingsStore().setValue(QStringLiteral("hostTable"), QVariantList{row});
        UnitTableModel model;
        model.load();
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QVERIFY(model.setData(model.index(0, column), QStringLiteral("pä"), Qt::EditRole));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(0, column));
        QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(0, column));
        model.save();
        QCOMPARE(settingsStore().value(QStringLiteral("hostTable")).toList().value(0).toStringList(), expected);

        UnitTableModel next;
        QCOMPARE(next.rowCount(), 0);
        next.load();
        QCOMPARE(next.rowCount(), 1);
        QCOMPARE(next.data(next.index(0, column)).toString(), QStringLiteral("pä"));
        // Data only for the display role.
        QVERIFY(!next.data(next.index(0, column), Qt::EditRole).isValid());
        QVERIFY(!next.data(next.index(0, column), Qt::ToolTipRole).isValid());
        QVERIFY(!next.data(next.index(0, expected.size())).isValid()); // past the end of a short row
        QVERIFY(!next.data(QModelIndex()).isValid());
    }

    void settingsFileIsPrivate()
    {
        UnitTableModel model;
        const QString file = model.settingsFileName();
        QVERIFY(file.startsWith(isolateSettings()));
        auto mode = [&file] {
            struct stat st;
            return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
        };
        // A file left world-readable by an older run is tightened by the next save.
        settingsStore().setValue(QStringLiteral("other"), 1);
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        model.insertRows(0, 1);
        model.setData(model.index(0, 2), QStringLiteral("secret"));
        model.save();
        QCOMPARE(mode(), 0600);
        QVERIFY(QFileInfo(file).size() > 0);

        // Other writers of the same store (a console saving its geometry) keep it private.
        settingsStore().setValue(QStringLiteral("10.0.0.1:8080/geometry"), QByteArray("geo"));
        QCOMPARE(mode(), 0600);
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
