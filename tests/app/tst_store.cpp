#include "app/config.h"
#include "app/unittablemodel.h"

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

using ValueMap = QMap<QString, QString>;
Q_DECLARE_METATYPE(ValueMap)

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
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

private slots:
    void initTestCase();
    void init();

    void configLoad_data();
    void configLoad();
    void configLoadMissingFile();
    void configSaveFormat_data();
    void configSaveFormat();
    void configRoundTrip_data();
    void configRoundTrip();
    void configEchoMasksPasswords();
    void configSaveFailureKeepsOldFile();

    void modelPersistsAcrossInstances();
    void modelLoadOfAbsentKeyResets();
    void modelShortRows();
    void modelSetDataPads_data();
    void modelSetDataPads();
    void modelDataRoles();
    void modelRowOperations();
    void settingsFileIsPrivate();

private:
    QTemporaryDir m_settingsDir;
    QTemporaryDir m_dir;
};

void TestStore::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_settingsDir.isValid());
    QVERIFY(m_dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestStore::init()
{
    QSettings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop")).clear();
}

void TestStore::configLoad_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<ValueMap>("expected");

    QTest::newRow("dhcp and empty value")
        << QByteArray("NET_ADDRESS=DHCP\nNET_DNS_PRIMARY=\n")
        << ValueMap{{"NET_ADDRESS", "DHCP"}, {"NET_DNS_PRIMARY", ""}};
    QTest::newRow("two equals and no equals skipped")
        << QByteArray("A=B=C\nnothing here\nK=V\n")
        << ValueMap{{"K", "V"}};
    QTest::newRow("last line without newline")
        << QByteArray("A=1\nB=2") << ValueMap{{"A", "1"}, {"B", "2"}};
    QTest::newRow("CR LF keeps the CR")
        << QByteArray("A=1\r\nB=2\r\n") << ValueMap{{"A", "1\r"}, {"B", "2\r"}};
    QTest::newRow("blanks belong to key and value")
        << QByteArray(" A = 1 \n") << ValueMap{{" A ", " 1 "}};
    QTest::newRow("duplicate key keeps last")
        << QByteArray("A=1\nA=2\n") << ValueMap{{"A", "2"}};
    QTest::newRow("blank lines skipped")
        << QByteArray("\n\nA=1\n\n") << ValueMap{{"A", "1"}};
    QTest::newRow("empty key kept")
        << QByteArray("=x\n") << ValueMap{{"", "x"}};
    QTest::newRow("empty file") << QByteArray() << ValueMap{};
    QTest::newRow("non-ASCII value")
        << QStringLiteral("NAME=Zoë Ünal 東京\n").toUtf8()
        << ValueMap{{"NAME", QStringLiteral("Zoë Ünal 東京")}};

    // A line far beyond any fixed buffer must stay one entry, not turn into
    // bogus ones made of its tail.
    const QByteArray longValue(10000, 'x');
    QByteArray longLine = "LONG=" + longValue + "=tail\nLONG2=" + longValue + "\nAFTER=1\n";
    QTest::newRow("10000-byte lines")
        << longLine << ValueMap{{"LONG2", QString::fromLatin1(longValue)}, {"AFTER", "1"}};
}

void TestStore::configLoad()
{
    QFETCH(QByteArray, content);
    QFETCH(ValueMap, expected);

    const QString path = m_dir.filePath(QStringLiteral("load.cfg"));
    QVERIFY(writeAll(path, content));

    ValueMap values{{"STALE", "x"}};
    Config config;
    const QString out = m_dir.filePath(QStringLiteral("stdout.txt"));
    bool ok = false;
    captureStdout(out, [&] { ok = config.load(path, values); });
    QVERIFY(ok);
    QCOMPARE(values, expected);
}

void TestStore::configLoadMissingFile()
{
    ValueMap values{{"STALE", "x"}};
    Config config;
    QVERIFY(!config.load(m_dir.filePath(QStringLiteral("does-not-exist")), values));
    QVERIFY(values.isEmpty());
}

void TestStore::configSaveFormat_data()
{
    QTest::addColumn<ValueMap>("values");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty map") << ValueMap{} << QByteArray();
    QTest::newRow("sorted by key")
        << ValueMap{{"ZETA", "1"}, {"ALPHA", ""}} << QByteArray("ALPHA=\nZETA=1\n");
    QTest::newRow("character-code order")
        << ValueMap{{"CONFIG_LINE2", "0"}, {"CONFIG_LINE10", "1"}, {"CONFIG_CLUSTER_ID", "5"},
                    {"CONFIG_CLUSTERING", "1"}}
        << QByteArray("CONFIG_CLUSTERING=1\nCONFIG_CLUSTER_ID=5\nCONFIG_LINE10=1\nCONFIG_LINE2=0\n");
    QTest::newRow("percent signs written as they are")
        << ValueMap{{"A", "%1%2"}} << QByteArray("A=%1%2\n");
}

void TestStore::configSaveFormat()
{
    QFETCH(ValueMap, values);
    QFETCH(QByteArray, expected);

    const QString path = m_dir.filePath(QStringLiteral("save.cfg"));
    QVERIFY(writeAll(path, "OLD=content that must go\n"));
    Config config;
    QVERIFY(config.save(path, values));
    QCOMPARE(readAll(path), expected);
}

void TestStore::configRoundTrip_data()
{
    QTest::addColumn<ValueMap>("values");

    QTest::newRow("plain") << ValueMap{{"NET_ADDRESS", "10.0.0.2"}, {"NET_NETMASK", "255.0.0.0"}};
    QTest::newRow("non-ASCII")
        << ValueMap{{"CALLER", QStringLiteral("Łukasz Żółć – «hello» 😀")}, {QStringLiteral("KÉY"), "v"}};
    QTest::newRow("trailing CR and blanks") << ValueMap{{"A", "value\r"}, {" B", " "}};
    QTest::newRow("10000-byte value") << ValueMap{{"BIG", QString(10000, QLatin1Char('q'))}, {"C", "1"}};
}

void TestStore::configRoundTrip()
{
    QFETCH(ValueMap, values);

    const QString path = m_dir.filePath(QStringLiteral("roundtrip.cfg"));
    Config config;
    QVERIFY(config.save(path, values));
    ValueMap back;
    captureStdout(m_dir.filePath(QStringLiteral("stdout.txt")), [&] { QVERIFY(config.load(path, back)); });
    QCOMPARE(back, values);
}

void TestStore::configEchoMasksPasswords()
{
    const QString path = m_dir.filePath(QStringLiteral("echo.cfg"));
    QVERIFY(writeAll(path, "CONFIG_GUI_PASSWORD=hunter2\nNET_ADDRESS=DHCP\nadmin_password=swordfish\n"
                           "BROKEN\n"));
    Config config;
    ValueMap values;
    const QByteArray printed = captureStdout(m_dir.filePath(QStringLiteral("stdout.txt")),
                                             [&] { QVERIFY(config.load(path, values)); });

    // The map holds the real values; only the echo is masked.
    QCOMPARE(values.value("CONFIG_GUI_PASSWORD"), QStringLiteral("hunter2"));
    QVERIFY(!printed.contains("hunter2"));
    QVERIFY(!printed.contains("swordfish"));
    QVERIFY(!printed.contains("BROKEN"));
    const QByteArray mask(Config::maskedValue);
    QCOMPARE(printed, QByteArray("CONFIG_GUI_PASSWORD = " + mask + "\nNET_ADDRESS = DHCP\nadmin_password = "
                                 + mask + "\n"));
}

void TestStore::configSaveFailureKeepsOldFile()
{
    // Root may write anywhere, so drop to an unprivileged user for the save.
    const bool root = ::geteuid() == 0;
    QTemporaryDir outer;
    QVERIFY(outer.isValid());
    QVERIFY(QFile::setPermissions(outer.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                   | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                                   | QFileDevice::ExeOther));
    const QString dir = outer.filePath(QStringLiteral("ro"));
    QVERIFY(QDir().mkdir(dir));
    const QString path = dir + QStringLiteral("/rc.app");
    const QByteArray old("CONFIG_GUI_PASSWORD=old\nKEEP=1\n");
    QVERIFY(writeAll(path, old));
    QVERIFY(QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                           | QFileDevice::ExeOther));
    const QStringList before = QDir(dir).entryList(QDir::Files | QDir::Hidden);

    Config config;
    ValueMap values{{"NEW", "1"}};
    if (root)
        QCOMPARE(::seteuid(65534), 0);
    const bool saved = config.save(path, values);
    if (root)
        QCOMPARE(::seteuid(0), 0);

    QVERIFY(!saved);
    QCOMPARE(readAll(path), old);
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), before);
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestStore::modelPersistsAcrossInstances()
{
    {
        UnitTableModel model;
        model.load();
        QVERIFY(model.insertRows(0, 2));
        model.setData(model.index(0, 0), QStringLiteral("10.1.1.5:8080"));
        model.setData(model.index(0, 1), QStringLiteral("studio"));
        model.setData(model.index(1, 0), QStringLiteral("host:1"));
        model.setData(model.index(1, 2), QStringLiteral("pässword"));
        model.save();
    }
    UnitTableModel model;
    QCOMPARE(model.rowCount(), 0);
    model.load();
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("10.1.1.5:8080"));
    QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("studio"));
    QVERIFY(!model.data(model.index(0, 2)).isValid());
    QCOMPARE(model.data(model.index(1, 1)).toString(), QString());
    QCOMPARE(model.data(model.index(1, 2)).toString(), QStringLiteral("pässword"));

    // The stored form is a list of string lists under "hostTable".
    QSettings settings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"));
    const QVariantList stored = settings.value(QStringLiteral("hostTable")).toList();
    QCOMPARE(stored.size(), 2);
    QCOMPARE(stored.at(0).toStringList(), (QStringList{"10.1.1.5:8080", "studio"}));
    QCOMPARE(stored.at(1).toStringList(), (QStringList{"host:1", "", "pässword"}));
}

void TestStore::modelLoadOfAbsentKeyResets()
{
    UnitTableModel model;
    model.insertRows(0, 3);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.load();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 3);
}

void TestStore::modelShortRows()
{
    {
        QSettings settings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"));
        settings.setValue(QStringLiteral("hostTable"),
                          QVariantList{QStringList{"only:1"}, QStringList{}, QStringList{"a:1", "u", "p", "x"}});
    }
    UnitTableModel model;
    model.load();
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("only:1"));
    QVERIFY(!model.data(model.index(0, 1)).isValid());
    QVERIFY(!model.data(model.index(0, 2)).isValid());
    QVERIFY(!model.data(model.index(1, 0)).isValid());
    QCOMPARE(model.data(model.index(2, 2)).toString(), QStringLiteral("p"));
}

void TestStore::modelSetDataPads_data()
{
    QTest::addColumn<QStringList>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("column 2 of a two-string row") << QStringList{"a:1", "u"} << 2 << QStringList{"a:1", "u", "pw"};
    QTest::newRow("column 2 of a one-string row") << QStringList{"a:1"} << 2 << QStringList{"a:1", "", "pw"};
    QTest::newRow("column 0 of an empty row") << QStringList{} << 0 << QStringList{"pw"};
    QTest::newRow("overwrite") << QStringList{"a:1", "u", "old"} << 2 << QStringList{"a:1", "u", "pw"};
}

void TestStore::modelSetDataPads()
{
    QFETCH(QStringList, row);
    QFETCH(int, column);
    QFETCH(QStringList, expected);

    {
        QSettings settings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"));
        settings.setValue(QStringLiteral("hostTable"), QVariantList{row});
    }
    UnitTableModel model;
    model.load();
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(model.setData(model.index(0, column), QStringLiteral("pw"), Qt::EditRole));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(0, column));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(0, column));
    model.save();

    QSettings settings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"));
    QCOMPARE(settings.value(QStringLiteral("hostTable")).toList().value(0).toStringList(), expected);
}

void TestStore::modelDataRoles()
{
    UnitTableModel model;
    model.insertRows(0, 1);
    QVERIFY(model.setData(model.index(0, 0), QStringLiteral("a:1")));
    QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("a:1"));
    QVERIFY(!model.data(model.index(0, 0), Qt::EditRole).isValid());
    QVERIFY(!model.data(model.index(0, 0), Qt::ToolTipRole).isValid());
    QVERIFY(!model.data(QModelIndex()).isValid());

    QVERIFY(!model.setData(model.index(0, 1), QStringLiteral("x"), Qt::DisplayRole));
    QVERIFY(!model.setData(QModelIndex(), QStringLiteral("x")));
    QVERIFY(!model.data(model.index(0, 1)).isValid());

    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Address : Port"));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Username"));
    QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Password"));
    QVERIFY(!model.headerData(3, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

    QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsSelectable);
    QCOMPARE(model.flags(QModelIndex()), Qt::ItemFlags(Qt::ItemIsEnabled));
}

void TestStore::modelRowOperations()
{
    UnitTableModel model;
    QVERIFY(model.insertRows(0, 3));
    for (int i = 0; i < 3; ++i)
        model.setData(model.index(i, 0), QStringLiteral("h%1:1").arg(i));

    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QVERIFY(model.removeRows(1, 1));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.data(model.index(1, 0)).toString(), QStringLiteral("h2:1"));

    // Beyond the end nothing is removed and nothing is announced.
    QVERIFY(model.removeRows(5, 1));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(removed.count(), 1);

    // A count past the end removes only what exists.
    QVERIFY(model.removeRows(1, 4));
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(removed.last().at(2).toInt(), 1);

    QVERIFY(!model.insertRows(7, 1));
    QCOMPARE(model.rowCount(), 1);
}

void TestStore::settingsFileIsPrivate()
{
    UnitTableModel model;
    const QString file = model.settingsFileName();
    QVERIFY(file.startsWith(m_settingsDir.path()));
    {
        // A file left world-readable by an older run is tightened by the next save.
        QSettings settings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"));
        settings.setValue(QStringLiteral("other"), 1);
    }
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                            | QFileDevice::ReadOther));
    model.insertRows(0, 1);
    model.setData(model.index(0, 2), QStringLiteral("secret"));
    model.save();

    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), 0600);
    QVERIFY(QFileInfo(file).size() > 0);

    // Other writers of the same store (a console saving its geometry) keep
    // the file private.
    {
        QSettings settings(QStringLiteral("Ardeno"), QStringLiteral("MIRT Orvel Desktop"));
        settings.setValue(QStringLiteral("10.0.0.1:8080/geometry"), QByteArray("geo"));
    }
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), 0600);
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
