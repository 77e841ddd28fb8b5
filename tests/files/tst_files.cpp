// Saving messages to files and loading them back, in both forms, and the
// ways a save or a load can fail without harming the target or the message.

#include "ipc/exception.h"
#include "message/message.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

const char k_write[] = "void Message::write_to_file(Message::ENC_FORMAT, const std::string &) const: ";
const char k_read[] = "void Message::read_from_file(const std::string &): ";

Message sample()
{
    Message m;
    m.set_name("status");
    m.params().set_int("n", -5);
    m.params().set_uint("u", 7);
    m.params().set_float("f", 1.5f);
    m.params().set_bool("b", true);
    m.params().set_string("s", "a b <&> \"q\"");
    m.params().set_variant("unset", variant());
    for (unsigned int i = 0; i < 2; ++i)
        m.add_child("line").params().set_uint("id", i);
    m.get_child("line", 1).add_child("caller").params().set_string("name", "Ann");
    m.add_child("chat").params().set_string("text", "hi");
    return m;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

void writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), qint64(data.size()));
}

// Names in dir that start with the temporary file's "0".
QStringList leftovers(const QString &dir)
{
    return QDir(dir).entryList(QStringList{"0*"}, QDir::AllEntries | QDir::Hidden);
}

std::string exceptionText(const std::function<void()> &call)
{
    try {
        call();
    } catch (const Exception &e) {
        return e.what();
    }
    return "<no exception>";
}

// Drops the character data the XML reader keeps from indentation; returns
// false if any of it was more than white space.
bool dropIndentText(Message &m)
{
    bool blank = QByteArray::fromStdString(m.text()).trimmed().isEmpty();
    m.set_text(std::string());
    for (const auto &list : m.children())
        for (unsigned int i = 0; i < list.second.size(); ++i)
            blank = dropIndentText(m.get_child(list.first, i)) && blank;
    return blank;
}

// Keeps the working directory of the test process as it was.
struct CurrentDir
{
    explicit CurrentDir(const QString &dir) : m_old(QDir::currentPath()) { QDir::setCurrent(dir); }
    ~CurrentDir() { QDir::setCurrent(m_old); }
    QString m_old;
};

// Caps the size of files this process may write, for one failing save.
struct FileSizeLimit
{
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    rlimit m_old;
    void (*m_oldHandler)(int);
};

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void saveAndLoad_data();
    void saveAndLoad();
    void xmlDocument();
    void loadReplacesOrAppends_data();
    void loadReplacesOrAppends();
    void failedSave_data();
    void failedSave();
    void failedLoad_data();
    void failedLoad();
    void loadWithoutError_data();
    void loadWithoutError();
};

void TestFiles::saveAndLoad_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("relative");

    for (const int format : {int(Message::ENC_COMPACT), int(Message::ENC_XML)}) {
        const QByteArray form = format == Message::ENC_COMPACT ? "compact" : "xml";
        QTest::newRow(form + ", absolute") << format << "msg.bin" << false;
        QTest::newRow(form + ", absolute in subfolder") << format << "sub/msg.bin" << false;
        QTest::newRow(form + ", absolute through dot-dot") << format << "sub/../msg.bin" << false;
        QTest::newRow(form + ", relative") << format << "msg.bin" << true;
        QTest::newRow(form + ", relative in subfolder") << format << "sub/msg.bin" << true;
    }
}

void TestFiles::saveAndLoad()
{
    QFETCH(int, format);
    QFETCH(QString, path);
    QFETCH(bool, relative);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QVERIFY(QDir(tmp.path()).mkdir("sub"));
    CurrentDir cwd(relative ? tmp.path() : QDir::currentPath());
    const QString full = QDir::cleanPath(tmp.filePath(path));
    const std::string given = (relative ? path : tmp.filePath(path)).toStdString();

    // An older file at the target is replaced whole.
    writeAll(full, QByteArray(5000, 'x'));

    const Message saved = sample();
    saved.write_to_file(Message::ENC_FORMAT(format), given);

    std::string expected;
    saved.build_string(Message::ENC_FORMAT(format), expected, true);
    QCOMPARE(readAll(full), QByteArray::fromStdString(expected));
    QVERIFY(leftovers(tmp.path()).isEmpty());
    QVERIFY(leftovers(tmp.filePath("sub")).isEmpty());

    Message loaded;
    loaded.read_from_file(given);
    QVERIFY(dropIndentText(loaded));
    // XML carries text only; the converting comparison still sees them equal.
    QVERIFY(loaded == saved);
    const variant::VALUE_TYPE type = loaded.params().get_type("n");
    QCOMPARE(type, format == Message::ENC_COMPACT ? variant::TYPE_INT : variant::TYPE_STRING);
}

void TestFiles::xmlDocument()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath("msg.xml");
    sample().write_to_file(Message::ENC_XML, path.toStdString());
    const QByteArray text = readAll(path);
    QVERIFY(text.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<status "));
    QVERIFY(text.contains("\n    <line id=\"0\"/>\n"));
    QVERIFY(text.contains("\n        <caller name=\"Ann\"/>\n"));

    // Without auto-formatting the file is the one-line document.
    sample().build_file_xml(path.toStdString(), false);
    std::string flat;
    sample().build_string(Message::ENC_XML, flat, false);
    QCOMPARE(readAll(path), QByteArray::fromStdString(flat));

    Message loaded;
    loaded.parse_file_xml(path.toStdString());
    QVERIFY(loaded == sample());
    QVERIFY(leftovers(tmp.path()).isEmpty());
}

void TestFiles::loadReplacesOrAppends_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("appends");

    QTest::newRow("compact replaces") << int(Message::ENC_COMPACT) << false;
    QTest::newRow("xml appends") << int(Message::ENC_XML) << true;
}

void TestFiles::loadReplacesOrAppends()
{
    QFETCH(int, format);
    QFETCH(bool, appends);

    QTemporaryDir tmp;
    const std::string path = tmp.filePath("msg").toStdString();
    sample().write_to_file(Message::ENC_FORMAT(format), path);

    Message m;
    m.set_name("old");
    m.params().set_string("keep", "1");
    m.params().set_string("n", "overwritten");
    m.add_child("line").params().set_string("id", "first");
    m.read_from_file(path);

    QCOMPARE(m.get_name(), std::string("status"));
    QCOMPARE(m.params().get_int("n", 0), -5);
    QCOMPARE(m.params().has_param("keep"), appends);
    QCOMPARE(m.num_children("line"), appends ? 3u : 2u);
    QCOMPARE(m.get_child("line", 0).params().get_string("id", ""), std::string(appends ? "first" : "0"));
    QCOMPARE(m.get_child("line", appends ? 2 : 1).num_children("caller"), 1u);
}

void TestFiles::failedSave_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("error");

    for (const int format : {int(Message::ENC_COMPACT), int(Message::ENC_XML)}) {
        const QByteArray form = format == Message::ENC_COMPACT ? "compact" : "xml";
        QTest::newRow(form + ", missing folder") << format << "nosuch/msg.bin" << "" << "No such file or directory";
        QTest::newRow(form + ", target is a folder") << format << "dir" << "dir" << "Is a directory";
        QTest::newRow(form + ", path ends in a slash") << format << "dir/" << "dir" << "Is a directory";
        QTest::newRow(form + ", disk limit reached") << format << "msg.bin" << "limit" << "File too large";
    }
}

void TestFiles::failedSave()
{
    QFETCH(int, format);
    QFETCH(QString, target);
    QFETCH(QString, setup);
    QFETCH(QString, error);

    QTemporaryDir tmp;
    const QString full = tmp.filePath(target);
    Message big = sample();
    big.params().set_string("payload", std::string(8000, 'p'));

    std::string text;
    if (setup == "dir") {
        QVERIFY(QDir(tmp.path()).mkdir("dir"));
        writeAll(tmp.filePath("dir/inside"), "kept");
        text = exceptionText([&] { big.write_to_file(Message::ENC_FORMAT(format), full.toStdString()); });
        QVERIFY(QFileInfo(tmp.filePath("dir")).isDir());
        QCOMPARE(readAll(tmp.filePath("dir/inside")), QByteArray("kept"));
    } else if (setup == "limit") {
        writeAll(full, "old content");
        {
            FileSizeLimit limit(1024);
            text = exceptionText([&] { big.write_to_file(Message::ENC_FORMAT(format), full.toStdString()); });
        }
        QCOMPARE(readAll(full), QByteArray("old content"));
    } else {
        text = exceptionText([&] { big.write_to_file(Message::ENC_FORMAT(format), full.toStdString()); });
        QVERIFY(!QFileInfo::exists(full));
    }
    QCOMPARE(QString::fromStdString(text), k_write + error);
    QVERIFY(leftovers(tmp.path()).isEmpty());
    QVERIFY(leftovers(tmp.filePath("dir")).isEmpty());
}

void TestFiles::failedLoad_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("unchanged");

    std::string compact;
    sample().build_string(Message::ENC_COMPACT, compact, true);
    const QByteArray bytes = QByteArray::fromStdString(compact);

    QTest::newRow("missing file") << "nosuch" << QByteArray() << QString(k_read) + "No such file or directory" << true;
    QTest::newRow("folder") << "." << QByteArray() << QString(k_read) + "Is a directory" << true;
    QTest::newRow("cut in a length field") << "cut" << bytes.left(2)
        << "unsigned short get_ushort(const char *, unsigned int &, unsigned int): message too short" << false;
    QTest::newRow("cut in the name") << "cut" << bytes.left(5)
        << "unsigned int Message::parse_string_compact(const char *, unsigned int, unsigned int): message too short"
        << false;
    QTest::newRow("last byte missing") << "cut" << bytes.left(bytes.size() - 1)
        << "unsigned short get_ushort(const char *, unsigned int &, unsigned int): message too short" << false;
    // A kernel attribute file claims 4096 bytes and yields a few: the size
    // seen before reading is not what the read returns.
    QTest::newRow("short read") << "/sys/kernel/address_bits" << QByteArray() << QString(k_read) + "short read" << true;
}

void TestFiles::failedLoad()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QFETCH(bool, unchanged);

    QTemporaryDir tmp;
    const QString full = path.startsWith('/') ? path : tmp.filePath(path);
    if (path.startsWith('/') && !QFileInfo(full).isReadable())
        QSKIP("no kernel attribute file here");
    if (!content.isNull())
        writeAll(full, content);

    Message m = sample();
    const std::string text = exceptionText([&] { m.read_from_file(full.toStdString()); });
    QCOMPARE(QString::fromStdString(text), error);
    if (unchanged)
        QVERIFY(m == sample());
}

void TestFiles::loadWithoutError_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("empty file") << QByteArray("");
    QTest::newRow("unknown first byte") << QByteArray("\x07garbage");
    QTest::newRow("bytes after the root are ignored") << QByteArray("\x00\x00\x00\x00\x00\x00\x00trailing", 15);
}

void TestFiles::loadWithoutError()
{
    QFETCH(QByteArray, content);

    QTemporaryDir tmp;
    const QString path = tmp.filePath("odd");
    writeAll(path, content);
    Message m = sample();
    m.read_from_file(path.toStdString());
    QCOMPARE(m.num_children("line"), 0u);
    QVERIFY(!m.params().has_param());
}

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
