// Saving messages to files and loading them back, in both forms, and the
// ways a save or a load can fail without harming the target or the message.

#include "message/message.h"
#include "support/exception.h"
#include "tests/support/files.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using testsupport::readAll;
using testsupport::writeAll;

const QString kWrite = "void Message::write_to_file(Message::ENC_FORMAT, const std::string &) const: ";
const QString kRead = "void Message::read_from_file(const std::string &): ";

Message sample()
{
    Message m(std::string("<status><line/><line><caller name=\"Ann\"/></line><chat/></status>"));
    m.get_child("line", 0).params().set_uint("id", 0);
    m.params().set_int("n", -5);
    m.params().set_float("f", 1.5f);
    m.params().set_bool("b", true);
    m.params().set_string("s", "a b <&> \"q\"");
    m.params().set_variant("unset", variant());
    return m;
}

// The message in the given form (the XML form writes no character data).
QByteArray encoded(const Message& m, int format, bool autoformat = false)
{
    std::string out;
    m.build_string(Message::ENC_FORMAT(format), out, autoformat);
    return QByteArray::fromStdString(out);
}

// depth elements, each inside the one before.
QByteArray nested(int depth)
{
    return QByteArray("<n>").repeated(depth) + QByteArray("</n>").repeated(depth);
}

// What the call threw, "" when it returned.
QString thrown(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void saveAndLoad_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("relative");

        for (const int format : {0, 1}) {
            const QByteArray form = format == Message::ENC_COMPACT ? "compact" : "xml";
            QTest::newRow(form + " absolute") << format << "msg.bin" << false;
            QTest::newRow(form + " absolute through dot-dot") << format << "sub/../sub/msg.bin" << false;
            QTest::newRow(form + " relative") << format << "msg.bin" << true;
            QTest::newRow(form + " relative in subfolder") << format << "sub/msg.bin" << true;
        }
    }

    void saveAndLoad()
    {
        QFETCH(int, format);
        QFETCH(QString, path);
        QFETCH(bool, relative);

        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkdir("sub"));
        const QString oldCwd = QDir::currentPath(), full = QDir::cleanPath(tmp.filePath(path));
        QDir::setCurrent(relative ? tmp.path() : oldCwd);
        const std::string given = (relative ? path : tmp.filePath(path)).toStdString();
        // A longer older file at the target is replaced whole and keeps its
        // access rights; a link planted as the temporary name is not followed.
        QVERIFY(writeAll(full, QByteArray(5000, 'x')) && writeAll(tmp.filePath("victim"), "victim"));
        QVERIFY(QFile::setPermissions(full, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QVERIFY(QFile::link(tmp.filePath("victim"), QFileInfo(full).dir().filePath("0" + QFileInfo(full).fileName())));

        const Message saved = sample();
        const QString error = thrown([&] { saved.write_to_file(Message::ENC_FORMAT(format), given); });
        Message loaded;
        loaded.add_child("old");
        loaded.params().set_string("keep", "1");
        loaded.read_from_file(given);
        QDir::setCurrent(oldCwd);

        QCOMPARE(error, QString());
        QCOMPARE(readAll(full), encoded(saved, format, true));
        QCOMPARE(QFile::permissions(full) & (QFileDevice::ReadOther | QFileDevice::ReadGroup | QFileDevice::WriteOwner),
                 QFileDevice::WriteOwner);
        QCOMPARE(readAll(tmp.filePath("victim")), QByteArray("victim"));
        QCOMPARE(QDir(tmp.path()).entryList({"0*"}) + QDir(tmp.filePath("sub")).entryList({"0*"}), QStringList());
        if (format == Message::ENC_COMPACT) {
            QVERIFY(loaded == saved);
            QCOMPARE(loaded.params().get_type("n"), variant::TYPE_INT);
            return;
        }
        // An XML file adds to what the message holds and carries values as
        // text; compared in the XML form, the indentation read back as
        // character data does not count.
        Message expected = saved, direct;
        expected.add_child("old");
        expected.params().set_string("keep", "1");
        QCOMPARE(encoded(loaded, format), encoded(expected, format));
        direct.parse_file_xml(full.toStdString());
        QCOMPARE(encoded(direct, format), encoded(saved, format));
    }

    void failedSave_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("error");

        for (const int format : {0, 1}) {
            const QByteArray form = format == Message::ENC_COMPACT ? "compact" : "xml";
            QTest::newRow(form + " missing folder") << format << "nosuch/msg"
                                                    << "No such file or directory";
            QTest::newRow(form + " target is a folder") << format << "dir"
                                                        << "Is a directory";
            QTest::newRow(form + " path ends in a slash") << format << "dir/"
                                                          << "Is a directory";
            QTest::newRow(form + " file size limit") << format << "msg"
                                                     << "File too large";
        }
    }

    void failedSave()
    {
        QFETCH(int, format);
        QFETCH(QString, target);
        QFETCH(QString, error);

        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkdir("dir") && writeAll(tmp.filePath("msg"), "old content"));
        Message big = sample();
        big.params().set_string("payload", std::string(8000, 'p'));

        // Writes beyond 1 KiB fail with EFBIG instead of a signal, for this call only.
        rlimit oldLimit, limit;
        getrlimit(RLIMIT_FSIZE, &oldLimit);
        limit = oldLimit;
        limit.rlim_cur = error == "File too large" ? 1024 : oldLimit.rlim_cur;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        const QString text
            = thrown([&] { big.write_to_file(Message::ENC_FORMAT(format), tmp.filePath(target).toStdString()); });
        setrlimit(RLIMIT_FSIZE, &oldLimit);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(text, kWrite + error);
        QCOMPARE(readAll(tmp.filePath("msg")), QByteArray("old content"));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), (QStringList{"dir", "msg"}));
        QVERIFY(QFileInfo(tmp.filePath("dir")).isDir() && QDir(tmp.filePath("dir")).isEmpty());
    }

    // Files are the user's own and are read whole: the bounds that keep a
    // unit's frame cheap must not cut them. What cannot be read whole (too
    // deep, or a document type declaration) is an error, never a cut.
    void wholeFiles_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("content"); // "" : the tree below, saved
        QTest::addColumn<QString>("error");      // without the signature

        const QString refused = "nested more than 256 levels deep, or holds a document type declaration";
        for (const int format : {0, 1}) {
            const QByteArray form = format == Message::ENC_COMPACT ? "compact" : "xml";
            QTest::newRow(form + " 5,000 children of 2 attributes") << format << QByteArray() << QString();
        }
        QTest::newRow("xml 256 levels") << 1 << nested(256) << QString();
        QTest::newRow("xml 257 levels") << 1 << nested(257) << refused;
        QTest::newRow("xml document type declaration")
            << 1 << QByteArray("<!DOCTYPE r [<!ENTITY e \"x\">]><r a=\"&e;\"/>") << refused;
        QTest::newRow("xml document type declaration inside")
            << 1 << QByteArray("<r><e/><!DOCTYPE x><e/></r>") << refused;
        // Malformed content stays as lenient as on the wire: what came before
        // the fault is read, without an error.
        QTest::newRow("xml cut short") << 1 << QByteArray("<r a=\"1\"><e/><e") << QString();
    }

    void wholeFiles()
    {
        QFETCH(int, format);
        QFETCH(QByteArray, content);
        QFETCH(QString, error);

        QTemporaryDir tmp;
        const std::string path = tmp.filePath("msg").toStdString();
        Message big;
        big.set_name("r");
        for (int i = 0; i < 5000; ++i) {
            Message& child = big.add_child("e");
            child.params().set_string("a", std::to_string(i));
            child.params().set_string("b", "x");
        }
        if (content.isEmpty())
            QCOMPARE(thrown([&] { big.write_to_file(Message::ENC_FORMAT(format), path); }), QString());
        else
            QVERIFY(writeAll(QString::fromStdString(path), content));

        Message loaded, direct;
        loaded.set_name("kept");
        direct.set_name("kept");
        const QString readError = thrown([&] { loaded.read_from_file(path); });
        const QString parseError = thrown([&] { direct.parse_file_xml(path); });
        if (!error.isEmpty()) {
            QCOMPARE(readError, kRead + error);
            if (format == Message::ENC_XML)
                QCOMPARE(parseError, "void Message::parse_file_xml(const std::string &): " + error);
            // Refused whole: the message is as it was.
            QCOMPARE(loaded.get_name(), std::string("kept"));
            QVERIFY(loaded.children().empty() && !loaded.params().has_param());
            return;
        }
        QCOMPARE(readError, QString());
        const Message expected = content.isEmpty() ? big : Message(content.toStdString());
        QCOMPARE(encoded(loaded, Message::ENC_XML), encoded(expected, Message::ENC_XML));
        if (content.isEmpty()) {
            QCOMPARE(loaded.num_children("e"), 5000u);
            QCOMPARE(loaded.get_child("e", 4999).params().get_string("a", ""), std::string("4999"));
        }
        if (format == Message::ENC_XML) {
            QCOMPARE(parseError, QString());
            QCOMPARE(encoded(direct, Message::ENC_XML), encoded(expected, Message::ENC_XML));
        }
    }

    void load_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error");

        const QByteArray bytes = encoded(sample(), Message::ENC_COMPACT);
        const QString ushort
            = "unsigned short get_ushort(const char *, unsigned int &, unsigned int): message too short";
        QTest::newRow("missing file") << "nosuch" << QByteArray() << kRead + "No such file or directory";
        QTest::newRow("folder") << "." << QByteArray() << kRead + "Is a directory";
        QTest::newRow("fifo without writer") << "fifo" << QByteArray() << kRead + "not a regular file";
        QTest::newRow("cut in a length") << "f" << bytes.left(2) << ushort;
        QTest::newRow("cut in the name") << "f" << bytes.left(5)
                                         << "unsigned int Message::parse_string_compact(const char *, unsigned int, "
                                            "unsigned int): message too short";
        QTest::newRow("last byte missing") << "f" << bytes.chopped(1) << ushort;
        // A kernel attribute file claims 4096 bytes and yields a few.
        QTest::newRow("short read") << "/sys/kernel/address_bits" << QByteArray() << kRead + "short read";
        // These load without error into an emptied message.
        QTest::newRow("empty file") << "f" << QByteArray("") << QString();
        QTest::newRow("unknown first byte") << "f" << QByteArray("\x07garbage") << QString();
        QTest::newRow("bytes after the root") << "f" << QByteArray("\0\0\0\0\0\0\0trailing", 15) << QString();
    }

    void load()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, content);
        QFETCH(QString, error);

        QTemporaryDir tmp;
        const QString full = path.startsWith('/') ? path : tmp.filePath(path);
        if (path == "fifo")
            QCOMPARE(mkfifo(full.toLocal8Bit().constData(), 0600), 0);
        if (!QFileInfo::exists(full) && content.isNull() && path != "nosuch")
            QSKIP("no kernel attribute file here");
        QVERIFY(content.isNull() || writeAll(full, content));

        Message m = sample();
        QCOMPARE(thrown([&] { m.read_from_file(full.toStdString()); }), error);
        // Refused before anything was decoded, or emptied when nothing was read.
        if (error.startsWith(kRead))
            QVERIFY(m == sample());
        else if (error.isEmpty())
            QVERIFY(m.children().empty() && !m.params().has_param());
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
