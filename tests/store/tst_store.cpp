#include "store/config.h"
#include "store/unittablemodel.h"
#include "tests/support/files.h"
#include "tests/support/settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

using ValueMap = QMap<QString, QString>;
Q_DECLARE_METATYPE(ValueMap)

namespace {

// Runs fn with standard output sent to a file and returns what was printed.
template <typename Fn> QByteArray captureStdout(const QString& path, Fn fn)
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

// Watches every open of a file in one folder and, while the opener waits,
// notes the file's permissions: what others could do with it from its first
// byte, before any later chmod. Needs fanotify's permission events (root).
class OpenWatch
{
public:
    struct Seen
    {
        QString name;
        int mode;
    };

    ~OpenWatch() { stop(); }

    bool start(const QString& folder)
    {
        m_fd = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_LARGEFILE);
        if (m_fd < 0)
            return false;
        if (::fanotify_mark(m_fd, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_EVENT_ON_CHILD, AT_FDCWD,
                            QFile::encodeName(folder).constData())
                != 0
            || ::pipe(m_stop) != 0) {
            ::close(m_fd);
            m_fd = -1;
            return false;
        }
        m_thread = std::thread([this] { run(); });
        return true;
    }

    // Stops watching; what was seen stays.
    QList<Seen> stop()
    {
        if (m_thread.joinable()) {
            const char quit = 'q';
            (void)!::write(m_stop[1], &quit, 1);
            m_thread.join();
            ::close(m_stop[0]);
            ::close(m_stop[1]);
        }
        // Closing allows whatever open might still wait.
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return m_seen;
    }

private:
    void run()
    {
        alignas(fanotify_event_metadata) char buffer[4096];
        for (;;) {
            pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN))
                return;
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                return;
            const auto* event = reinterpret_cast<const fanotify_event_metadata*>(buffer);
            for (ssize_t left = n; FAN_EVENT_OK(event, left); event = FAN_EVENT_NEXT(event, left)) {
                if (event->fd < 0)
                    continue;
                struct stat st;
                const int mode = ::fstat(event->fd, &st) == 0 ? int(st.st_mode & 07777) : -1;
                char path[4096] = {};
                const QByteArray link = "/proc/self/fd/" + QByteArray::number(event->fd);
                const ssize_t length = ::readlink(link.constData(), path, sizeof path - 1);
                m_seen.append(
                    {QFileInfo(QFile::decodeName(QByteArray(path, int(std::max<ssize_t>(length, 0))))).fileName(),
                     mode});
                const fanotify_response allow{event->fd, FAN_ALLOW};
                (void)!::write(m_fd, &allow, sizeof allow);
                ::close(event->fd);
            }
        }
    }

    int m_fd = -1;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
    QList<Seen> m_seen; // read only after the thread has ended
};

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

    // The echo never shows a password's value: the config fuzz target, whose
    // replay runs with the tests; its form: configKeepsBytes.

    // A folder the user may not write: a file the user may write is written
    // in place rather than not at all; one the user may not is left as it
    // was, with no stray file beside it.
    void configSaveInReadOnlyFolder_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::newRow("the file writable") << true;
        QTest::newRow("the file read-only") << false;
    }

    void configSaveInReadOnlyFolder()
    {
        QFETCH(bool, writable);
        QTemporaryDir outer;
        QVERIFY(QFile::setPermissions(outer.path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                          | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        const QString dir = outer.filePath(QStringLiteral("ro"));
        QVERIFY(QDir().mkdir(dir));
        const QString path = dir + QStringLiteral("/rc.app");
        const QByteArray old("CONFIG_GUI_PASSWORD=old\nOLD=1\n");
        QVERIFY(writeAll(path, old));
        // Root may write anywhere, so the save runs as an unprivileged user,
        // who owns the file when it is to be writable.
        const bool root = ::geteuid() == 0;
        if (root && writable)
            QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        QVERIFY(QFile::setPermissions(dir,
                                      QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                          | QFile::ReadOther | QFile::ExeOther));

        ValueMap values{{"NEW", "2"}, {"OLD", "1"}};
        if (root)
            QCOMPARE(::seteuid(65534), 0);
        const bool saved = Config().save(path, values);
        if (root)
            QCOMPARE(::seteuid(0), 0);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QCOMPARE(saved, writable);
        QCOMPARE(readAll(path), writable ? QByteArray("NEW=2\nOLD=1\n") : old);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"rc.app"});
    }

    // Bytes that are not UTF-8 come back from a load and save unchanged,
    // in keys and values alike, beside an entry that was changed.
    void configKeepsBytes()
    {
        const QByteArray kept(
            "CAF\xc9=cr\xe8me br\xfbl\xe9\n"
            "MIXED=\xc3\xa9 \xe9 \xf0\x9f\x98\x80 \xf0\x9f\x98 \xed\xa0\x80 \xc0\xaf \xf5\x80 \x80\xbf \xfe\xff\n"
            "NET_ADDRESS=DHCP\n"
            "Z\xff\xfe=\xe2\x82\n");
        QVERIFY(writeAll(file("bytes.cfg"), kept));
        Config config;
        ValueMap values;
        const QByteArray printed
            = captureStdout(file("stdout.txt"), [&] { QVERIFY(config.load(file("bytes.cfg"), values)); });
        QCOMPARE(values.size(), 4);
        QCOMPARE(values.value("NET_ADDRESS"), QStringLiteral("DHCP"));
        QCOMPARE(printed, QByteArray(kept).replace("=", " = "));
        QVERIFY(config.save(file("bytes.cfg"), values));
        QCOMPARE(readAll(file("bytes.cfg")), kept);

        values["NET_ADDRESS"] = QStringLiteral("10.0.0.\u00b2");
        QVERIFY(config.save(file("bytes.cfg"), values));
        QCOMPARE(readAll(file("bytes.cfg")), QByteArray(kept).replace("DHCP", "10.0.0.\xc2\xb2"));
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
        // The column's title, across the top and for display only.
        const auto title = [&](Qt::Orientation o, int role) { return next.headerData(column, o, role).toString(); };
        QCOMPARE(title(Qt::Horizontal, Qt::DisplayRole) + '|' + title(Qt::Vertical, Qt::DisplayRole) + '|'
                     + title(Qt::Horizontal, Qt::ToolTipRole),
                 QStringList({"Address : Port", "Username", "Password"}).value(column) + "||");
    }

    void settingsFileIsPrivate()
    {
        UnitTableModel model;
        const QString file = model.settingsFileName();
        QVERIFY(file.startsWith(isolateSettings()));
        // A file left world-readable by an older run is tightened by the next save.
        settingsStore().setValue(QStringLiteral("other"), 1);
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        model.insertRows(0, 1);
        model.setData(model.index(0, 2), QStringLiteral("secret"));
        model.save();
        QCOMPARE(modeOf(file), 0600);
        QVERIFY(QFileInfo(file).size() > 0);

        // Other writers of the same store (a console saving its geometry) keep it private.
        settingsStore().setValue(QStringLiteral("10.0.0.1:8080/geometry"), QByteArray("geo"));
        QCOMPARE(modeOf(file), 0600);
    }

    // The passwords of the unit directory are never in a file that others
    // could read, not even for the moment between writing it and a chmod:
    // every file opened in the settings folder during a save is owner-only
    // when it is opened.
    void settingsFilePrivateFromFirstByte_data()
    {
        QTest::addColumn<bool>("existing"); // first written by a console, readable by others
        QTest::newRow("new file") << false;
        QTest::newRow("file others could read") << true;
    }

    void settingsFilePrivateFromFirstByte()
    {
        QFETCH(bool, existing);
        const QString path = UnitTableModel().settingsFileName();
        QFile::remove(path);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        // The usual umask, which leaves new files readable by others.
        const mode_t umaskBefore = ::umask(022);
        if (existing) {
            settingsStore().setValue(QStringLiteral("10.0.0.1:8080/geometry"), QByteArray("geo"));
            QVERIFY(QFile::exists(path));
            QVERIFY(QFile::setPermissions(path,
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        }

        OpenWatch watch;
        if (!watch.start(QFileInfo(path).path())) {
            ::umask(umaskBefore);
            QSKIP("fanotify permission events are not available (they need root)");
        }
        {
            UnitTableModel model;
            model.load();
            model.insertRows(0, 1);
            model.setData(model.index(0, 0), QStringLiteral("10.0.0.1:8080"));
            model.setData(model.index(0, 2), QStringLiteral("secret"));
            model.save();
        }
        const QList<OpenWatch::Seen> seen = watch.stop();
        ::umask(umaskBefore);

        QCOMPARE(settingsStore().value(QStringLiteral("hostTable")).toList().value(0).toStringList().value(2),
                 QStringLiteral("secret"));
        // The store's new file is opened before it has a name (or under a
        // name of its own); its lock file is opened too.
        QVERIFY(std::any_of(seen.begin(), seen.end(),
                            [](const OpenWatch::Seen& s) { return !s.name.endsWith(QLatin1String(".lock")); }));
        for (const OpenWatch::Seen& s : seen)
            QVERIFY2((s.mode & 077) == 0,
                     qPrintable(QStringLiteral("%1 opened with mode %2").arg(s.name).arg(s.mode, 0, 8)));
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
