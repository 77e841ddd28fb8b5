#include "ipc/exception.h"
#include "message/message.h"
#include "randomtree.h"

#include <QtTest>

namespace {

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), int(s.size()));
}

QByteArray encode(const Message &m)
{
    std::string out;
    m.build_string(Message::ENC_COMPACT, out, false);
    return bytes(out);
}

// The text of the Exception that f throws, or an empty string.
template<typename F>
QString thrown(F f)
{
    try {
        f();
    } catch (const Exception &e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

const QString PARSE_SIG = "unsigned int Message::parse_string_compact(const char *, unsigned int, unsigned int)";
const QString USHORT_SIG = "unsigned short get_ushort(const char *, unsigned int &, unsigned int)";
const QString UCHAR_SIG = "unsigned char get_uchar(const char *, unsigned int &, unsigned int)";
const QString BUILD_SIG = "void Message::build_string_compact(std::string &) const";

// A chain of nodes named "n", depth levels in all.
QByteArray nested(int depth)
{
    QByteArray data(1, '\0');
    for (int i = 0; i < depth; ++i)
        data += QByteArray::fromHex(i + 1 < depth ? "01006e00000100" : "01006e00000000");
    return data;
}

} // namespace

class TestCompact : public QObject
{
    Q_OBJECT

private slots:
    void workedExample()
    {
        Message m;
        m.set_name("ab");
        m.params().set_uint("x", 7);
        m.add_child("c");
        const QByteArray expected = QByteArray::fromHex("00 0200 6162 0100 010078 03 0400 07000000 0100 010063 0000 0000");
        QCOMPARE(expected.size(), 26);
        QCOMPARE(encode(m), expected);

        std::string out = "prefix"; // appends the node alone, no tag
        m.build_string_compact(out);
        QCOMPARE(bytes(out), QByteArray("prefix") + expected.mid(1));

        Message back;
        QCOMPARE(back.parse_string_compact(expected.constData(), 1, uint(expected.size())), 26u);
        QVERIFY(back == m);
        QCOMPARE(back.params().get_type("x"), variant::TYPE_UINT);
        QCOMPARE(encode(Message()), QByteArray::fromHex("00 0000 0000 0000"));
    }

    void valueBytes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("record"); // the parameter record of key "k"

        QTest::newRow("none") << "none" << QByteArray::fromHex("01006b 00 0000");
        QTest::newRow("string") << "string" << QByteArray::fromHex("01006b 01 0200 6869");
        QTest::newRow("int -1") << "int" << QByteArray::fromHex("01006b 02 0400 ffffffff");
        QTest::newRow("uint") << "uint" << QByteArray::fromHex("01006b 03 0400 78563412");
        QTest::newRow("float 1.0") << "float" << QByteArray::fromHex("01006b 04 0400 0000803f");
        QTest::newRow("bool true") << "bool" << QByteArray::fromHex("01006b 05 0100 01");
    }

    void valueBytes()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, record);

        Message m;
        Params &p = m.params();
        if (kind == "none")
            p.set_variant("k", variant());
        else if (kind == "string")
            p.set_string("k", "hi");
        else if (kind == "int")
            p.set_int("k", -1);
        else if (kind == "uint")
            p.set_uint("k", 0x12345678u);
        else if (kind == "float")
            p.set_float("k", 1.0f);
        else
            p.set_bool("k", true);

        const QByteArray expected = QByteArray::fromHex("00 0000 0100") + record + QByteArray::fromHex("0000");
        QCOMPARE(encode(m), expected);
        const Message back(expected.toStdString());
        QCOMPARE(back.params().get_type("k"), p.get_type("k"));
        QVERIFY(back == m);
    }

    void truncated_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("signature");
        QTest::addColumn<QByteArray>("keptName");

        QTest::newRow("tag only") << QByteArray::fromHex("00") << USHORT_SIG << QByteArray("old");
        QTest::newRow("inside name length") << QByteArray::fromHex("0005") << USHORT_SIG << QByteArray("old");
        QTest::newRow("name past end") << QByteArray::fromHex("000500 6162") << PARSE_SIG << QByteArray("old");
        QTest::newRow("huge name length") << QByteArray::fromHex("00ffff 00") << PARSE_SIG << QByteArray("old");
        QTest::newRow("no parameter count") << QByteArray::fromHex("000100 61") << USHORT_SIG << QByteArray("a");
        QTest::newRow("key past end") << QByteArray::fromHex("000100 61 0100 0900 6b") << PARSE_SIG << QByteArray("a");
        QTest::newRow("no type byte") << QByteArray::fromHex("000100 61 0100 0100 6b") << UCHAR_SIG << QByteArray("a");
        QTest::newRow("value past end") << QByteArray::fromHex("000100 61 0100 0100 6b 03 0400 070000") << PARSE_SIG << QByteArray("a");
        QTest::newRow("no child count") << QByteArray::fromHex("000100 61 0000") << USHORT_SIG << QByteArray("a");
        QTest::newRow("second child missing") << QByteArray::fromHex("000100 61 0000 0200 010063 0000 0000") << USHORT_SIG << QByteArray("a");
    }

    void truncated()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, signature);
        QFETCH(QByteArray, keptName);

        Message m;
        m.set_name("old");
        m.params().set_int("gone", 1);
        m.add_child("gone");
        QCOMPARE(thrown([&] { m.parse_string(input.toStdString()); }), signature + ": message too short");
        QCOMPARE(bytes(m.get_name()), keptName);
        QVERIFY(!m.params().has_param("gone"));
        QCOMPARE(m.num_children("gone"), 0u);
        // Complete children stay; the one that failed is not attached.
        QCOMPARE(m.num_children("c"), input.contains(QByteArray::fromHex("010063")) ? 1u : 0u);
    }

    void oddInput()
    {
        // Value lengths other than the type's width, an unknown type number,
        // a bool byte of 2, a repeated key, children out of order, trailing bytes.
        const QByteArray input = QByteArray::fromHex(
            "00 0100 6d 0500"
            "010061 02 0200 0501"             // int from 2 bytes: 0x0105
            "010062 03 0800 0100000002000000" // uint from 8 bytes: the first 4
            "010063 09 0300 616263"           // type 9: kept, no value
            "010064 05 0100 02"               // bool byte 2 reads false
            "010063 01 0100 7a"               // c again: the later value wins
            "0300 010062 0000 0000 010061 0000 0000 010062 0100 010078 01 0000 0000"
            "deadbeef");
        const Message m(input.toStdString());
        const Params &p = m.params();
        QCOMPARE(p.get_int("a", 0), 0x0105);
        QCOMPARE(p.get_uint("b", 0), 1u);
        QCOMPARE(bytes(p.get_string("c", "")), QByteArray("z"));
        QCOMPARE(p.get_bool("d", true), false);
        QCOMPARE(m.num_children("a"), 1u);
        QCOMPARE(m.num_children("b"), 2u);
        QVERIFY(m.get_child("b", 1).params().has_param("x"));

        Message t(QByteArray::fromHex("00 0000 0100 010063 09 0000 0000").toStdString());
        QCOMPARE(unsigned(t.params().get_type("c")), 9u);
        QCOMPARE(encode(t), QByteArray::fromHex("00 0000 0100 010063 09 0000 0000"));
    }

    void nestingBound()
    {
        const Message ok(nested(int(Message::MAX_DEPTH)).toStdString());
        QCOMPARE(encode(ok), nested(int(Message::MAX_DEPTH)));
        QCOMPARE(thrown([] { Message m(nested(int(Message::MAX_DEPTH) + 1).toStdString()); }),
                 PARSE_SIG + ": message nested too deeply");

        // The largest frame, nothing but nesting: refused, no crash.
        QByteArray huge(1, '\0');
        while (huge.size() < 786431 - 7)
            huge += QByteArray::fromHex("01006e00000100");
        QVERIFY(!thrown([&] { Message m(huge.toStdString()); }).isEmpty());

        // The encoder refuses what no decoder would read back.
        Message deep;
        Message *leaf = &deep;
        for (unsigned int i = 0; i < Message::MAX_DEPTH; ++i)
            leaf = &leaf->add_child("n");
        std::string out = "kept";
        QCOMPARE(thrown([&] { deep.build_string(Message::ENC_COMPACT, out, false); }),
                 BUILD_SIG + ": message nested too deeply");
        QCOMPARE(bytes(out), QByteArray("kept"));
    }

    void encoderLimits_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("error");

        QTest::newRow("name at limit") << "name" << 65535 << "";
        QTest::newRow("name too long") << "name" << 65536 << "name too long";
        QTest::newRow("key too long") << "key" << 65536 << "key too long";
        QTest::newRow("value at limit") << "value" << 65535 << "";
        QTest::newRow("value too long") << "value" << 65536 << "value too long";
        QTest::newRow("parameters at limit") << "params" << 65535 << "";
        QTest::newRow("too many parameters") << "params" << 65536 << "too many parameters";
        QTest::newRow("children at limit") << "children" << 65535 << "";
        QTest::newRow("too many children") << "children" << 65536 << "too many children";
        QTest::newRow("in a grandchild") << "deep" << 65536 << "value too long";
    }

    void encoderLimits()
    {
        QFETCH(QString, what);
        QFETCH(int, size);
        QFETCH(QString, error);

        Message m;
        const std::string big(size_t(size), 'x');
        if (what == "name")
            m.set_name(big);
        else if (what == "key")
            m.params().set_int(big.c_str(), 1);
        else if (what == "value")
            m.params().set_string("v", big);
        else if (what == "deep")
            m.add_child("c").add_child("g").params().set_string("v", big);
        for (int i = 0; what == "params" && i < size; ++i)
            m.params().set_variant(std::to_string(i), variant());
        for (int i = 0; what == "children" && i < size; ++i)
            m.add_child(i % 2 ? "a" : "b"); // the limit is on the total

        std::string out = "kept";
        const QString got = thrown([&] { m.build_string(Message::ENC_COMPACT, out, false); });
        if (error.isEmpty()) {
            QVERIFY(got.isEmpty());
            QVERIFY(Message(out) == m);
        } else {
            QCOMPARE(got, BUILD_SIG + ": " + error);
            QCOMPARE(bytes(out), QByteArray("kept"));
            QVERIFY(!thrown([&] { m.build_string_compact(out); }).isEmpty());
            QCOMPARE(bytes(out), QByteArray("kept"));
        }
    }

    void randomRoundTrip()
    {
        for (quint32 seed = 1; seed <= 3000; ++seed) {
            const Message m = RandomTree(seed, false).message();
            const QByteArray out = encode(m);
            const Message back(out.toStdString());
            // Equal, and equal in type too: the re-encoding is identical.
            if (back != m || encode(back) != out)
                QFAIL(qPrintable(QStringLiteral("seed %1 does not survive the compact form").arg(seed)));
        }
    }
};

QTEST_GUILESS_MAIN(TestCompact)
#include "tst_compact.moc"
