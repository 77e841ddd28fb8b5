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

const char *const PARSE_SIG = "unsigned int Message::parse_string_compact(const char *, unsigned int, unsigned int)";
const char *const USHORT_SIG = "unsigned short get_ushort(const char *, unsigned int &, unsigned int)";
const char *const UCHAR_SIG = "unsigned char get_uchar(const char *, unsigned int &, unsigned int)";
const char *const BUILD_SIG = "void Message::build_string_compact(std::string &) const";

// A chain of nested nodes named "n", depth levels in all.
QByteArray nestedCompact(int depth)
{
    QByteArray data(1, '\0');
    for (int i = 0; i < depth; ++i)
        data += QByteArray::fromHex("01006e0000") + (i + 1 < depth ? QByteArray::fromHex("0100") : QByteArray::fromHex("0000"));
    return data;
}

} // namespace

class TestCompact : public QObject
{
    Q_OBJECT

private slots:
    void workedExample();
    void encodings_data();
    void encodings();
    void decodeFailures_data();
    void decodeFailures();
    void decodeOddValues();
    void childrenRegroupByName();
    void nestingBound();
    void encoderLimits_data();
    void encoderLimits();
    void randomRoundTrip();
};

void TestCompact::workedExample()
{
    Message m;
    m.set_name("ab");
    m.params().set_uint("x", 7);
    m.add_child("c");
    const QByteArray expected = QByteArray::fromHex("00" "02006162" "0100" "010078" "03" "0400" "07000000" "0100" "010063" "0000" "0000");
    QCOMPARE(expected.size(), 26);
    QCOMPARE(encode(m), expected);

    // build_string_compact appends the node alone, without the tag.
    std::string out = "prefix";
    m.build_string_compact(out);
    QCOMPARE(bytes(out), QByteArray("prefix") + expected.mid(1));

    Message back;
    back.set_text("not carried");
    back.parse_string(expected.toStdString());
    back.set_text(std::string());
    QVERIFY(back == m);
    QCOMPARE(back.params().get_type("x"), variant::TYPE_UINT);
    QCOMPARE(back.parse_string_compact(expected.constData(), 1, uint(expected.size())), 26u);
}

void TestCompact::encodings_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("record"); // the parameter record of key "k"

    QTest::newRow("none") << "none" << QByteArray::fromHex("01006b" "00" "0000");
    QTest::newRow("string") << "string" << QByteArray::fromHex("01006b" "01" "0200" "6869");
    QTest::newRow("empty string") << "empty" << QByteArray::fromHex("01006b" "01" "0000");
    QTest::newRow("int -1") << "int" << QByteArray::fromHex("01006b" "02" "0400" "ffffffff");
    QTest::newRow("uint") << "uint" << QByteArray::fromHex("01006b" "03" "0400" "78563412");
    QTest::newRow("float 1.0") << "float" << QByteArray::fromHex("01006b" "04" "0400" "0000803f");
    QTest::newRow("bool true") << "bool" << QByteArray::fromHex("01006b" "05" "0100" "01");
}

void TestCompact::encodings()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, record);

    Message m;
    variant v;
    if (kind == "string")
        v.set_string("hi");
    else if (kind == "empty")
        v.set_string("");
    else if (kind == "int")
        v.set_int(-1);
    else if (kind == "uint")
        v.set_uint(0x12345678u);
    else if (kind == "float")
        v.set_float(1.0f);
    else if (kind == "bool")
        v.set_bool(true);
    m.params().set_variant("k", v);

    const QByteArray expected = QByteArray::fromHex("00" "0000" "0100") + record + QByteArray::fromHex("0000");
    QCOMPARE(encode(m), expected);

    Message back(expected.toStdString());
    QCOMPARE(back.params().get_type("k"), v.get_type());
    QVERIFY(back == m);
    QCOMPARE(back.params().has_param("k"), true);
}

void TestCompact::decodeFailures_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QByteArray>("keptName");

    const QString tooShort = QStringLiteral("%1: message too short");
    QTest::newRow("tag only") << QByteArray::fromHex("00") << tooShort.arg(USHORT_SIG) << QByteArray("old");
    QTest::newRow("inside name length") << QByteArray::fromHex("0005") << tooShort.arg(USHORT_SIG) << QByteArray("old");
    QTest::newRow("name past end") << QByteArray::fromHex("000500" "6162") << tooShort.arg(PARSE_SIG) << QByteArray("old");
    QTest::newRow("no parameter count") << QByteArray::fromHex("000100" "61") << tooShort.arg(USHORT_SIG) << QByteArray("a");
    QTest::newRow("key past end") << QByteArray::fromHex("000100" "61" "0100" "0900" "6b") << tooShort.arg(PARSE_SIG) << QByteArray("a");
    QTest::newRow("no type byte") << QByteArray::fromHex("000100" "61" "0100" "0100" "6b") << tooShort.arg(UCHAR_SIG) << QByteArray("a");
    QTest::newRow("no value length") << QByteArray::fromHex("000100" "61" "0100" "0100" "6b" "03" "04") << tooShort.arg(USHORT_SIG) << QByteArray("a");
    QTest::newRow("value past end") << QByteArray::fromHex("000100" "61" "0100" "0100" "6b" "03" "0400" "070000") << tooShort.arg(PARSE_SIG) << QByteArray("a");
    QTest::newRow("no child count") << QByteArray::fromHex("000100" "61" "0000") << tooShort.arg(USHORT_SIG) << QByteArray("a");
    QTest::newRow("missing child") << QByteArray::fromHex("000100" "61" "0000" "0200" "0100" "63" "0000" "0000") << tooShort.arg(USHORT_SIG) << QByteArray("a");
    QTest::newRow("huge name length") << QByteArray::fromHex("00ffff" "00") << tooShort.arg(PARSE_SIG) << QByteArray("old");
}

void TestCompact::decodeFailures()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, error);
    QFETCH(QByteArray, keptName);

    Message m;
    m.set_name("old");
    m.params().set_int("gone", 1);
    m.add_child("gone");
    QString got;
    try {
        m.parse_string(input.toStdString());
    } catch (const Exception &e) {
        got = QString::fromUtf8(e.what());
    }
    QCOMPARE(got, error);
    QCOMPARE(bytes(m.get_name()), keptName);
    QCOMPARE(m.params().has_param("gone"), false);
    QCOMPARE(m.num_children("gone"), 0u);
    // A child that failed halfway is not attached.
    QCOMPARE(m.num_children("c"), input.contains(QByteArray::fromHex("0200" "0100" "63")) ? 1u : 0u);
}

void TestCompact::decodeOddValues()
{
    // Value lengths that differ from the type's width, an unknown type
    // number, a bool byte other than 0 or 1, a repeated key and trailing bytes.
    const QByteArray input = QByteArray::fromHex(
        "00" "0100" "6d" "0600"
        "010061" "02" "0200" "0501"               // int, 2 bytes: 0x0105
        "010062" "03" "0800" "0100000002000000"   // uint, 8 bytes: first 4 count
        "010063" "09" "0300" "616263"             // type 9: stored, no value
        "010064" "05" "0100" "02"                 // bool byte 2: false
        "010065" "05" "0000"                      // bool without bytes: false
        "010061" "01" "0100" "7a"                 // a again: later value wins
        "0000" "deadbeef");
    Message m(input.toStdString());
    const Params &p = m.params();
    QCOMPARE(p.num_params(), 5u);
    QCOMPARE(bytes(p.get_string("a", "")), QByteArray("z"));
    QCOMPARE(p.get_uint("b", 0), 1u);
    QCOMPARE(unsigned(p.get_type("c")), 9u);
    QCOMPARE(bytes(p.get_string("c", "x")), QByteArray());
    QCOMPARE(p.get_bool("d", true), false);
    QCOMPARE(p.get_bool("e", true), false);

    Message i(QByteArray::fromHex("00" "0000" "0100" "010061" "02" "0200" "0501" "0000").toStdString());
    QCOMPARE(i.params().get_int("a", 0), 0x0105);
    // Re-encoding writes the type's width.
    QCOMPARE(encode(i), QByteArray::fromHex("00" "0000" "0100" "010061" "02" "0400" "05010000" "0000"));
}

void TestCompact::childrenRegroupByName()
{
    Message m;
    m.add_child("b").params().set_int("n", 0);
    m.add_child("a").params().set_int("n", 1);
    m.add_child("b").params().set_int("n", 2);
    const QByteArray data = encode(m);
    QCOMPARE(data.mid(5, 2), QByteArray::fromHex("0300"));
    QCOMPARE(data.mid(7, 3), QByteArray::fromHex("010061"));
    Message back(data.toStdString());
    QVERIFY(back == m);
    QCOMPARE(back.get_child("b", 1).params().get_int("n", -1), 2);

    // Children arriving out of order are grouped by name, arrival order kept.
    const QByteArray shuffled = QByteArray::fromHex("00" "0000" "0000" "0300"
                                                    "010062" "0000" "0000"
                                                    "010061" "0000" "0000"
                                                    "010062" "0100" "010078" "01" "0000" "0000");
    Message s(shuffled.toStdString());
    QCOMPARE(s.num_children("a"), 1u);
    QCOMPARE(s.num_children("b"), 2u);
    QCOMPARE(s.get_child("b", 1).params().has_param("x"), true);
}

void TestCompact::nestingBound()
{
    Message ok(nestedCompact(int(Message::MAX_DEPTH)).toStdString());
    const Message *node = &ok;
    unsigned int depth = 1;
    while (node->num_children("n")) {
        node = &node->get_child("n", 0);
        ++depth;
    }
    QCOMPARE(depth, Message::MAX_DEPTH);
    // What was decoded can be encoded again.
    QCOMPARE(encode(ok), nestedCompact(int(Message::MAX_DEPTH)));

    QString got;
    try {
        Message deep(nestedCompact(int(Message::MAX_DEPTH) + 1).toStdString());
    } catch (const Exception &e) {
        got = QString::fromUtf8(e.what());
    }
    QCOMPARE(got, QStringLiteral("%1: message nested too deeply").arg(PARSE_SIG));

    // A hostile frame of the largest size, nothing but nesting: refused fast.
    QByteArray huge(1, '\0');
    while (huge.size() < 786431 - 7)
        huge += QByteArray::fromHex("01006e00000100");
    QVERIFY_EXCEPTION_THROWN(Message(huge.toStdString()), Exception);

    // The encoder refuses what the decoder would refuse.
    Message tooDeep;
    Message *leaf = &tooDeep;
    for (unsigned int i = 0; i < Message::MAX_DEPTH; ++i)
        leaf = &leaf->add_child("n");
    std::string out = "kept";
    got.clear();
    try {
        tooDeep.build_string(Message::ENC_COMPACT, out, false);
    } catch (const Exception &e) {
        got = QString::fromUtf8(e.what());
    }
    QCOMPARE(got, QStringLiteral("%1: message nested too deeply").arg(BUILD_SIG));
    QCOMPARE(bytes(out), QByteArray("kept"));
}

void TestCompact::encoderLimits_data()
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
    QTest::newRow("too long in a grandchild") << "deep" << 65536 << "value too long";
}

void TestCompact::encoderLimits()
{
    QFETCH(QString, what);
    QFETCH(int, size);
    QFETCH(QString, error);

    Message m;
    m.set_name("m");
    const std::string big(size_t(size), 'x');
    if (what == "name") {
        m.set_name(big);
    } else if (what == "key") {
        m.params().set_int(big.c_str(), 1);
    } else if (what == "value") {
        m.params().set_string("v", big);
    } else if (what == "params") {
        for (int i = 0; i < size; ++i)
            m.params().set_variant(std::to_string(i), variant());
    } else if (what == "children") {
        // Spread over two names: the limit is on the total.
        for (int i = 0; i < size; ++i)
            m.add_child(i % 2 ? "a" : "b");
    } else {
        m.add_child("c").add_child("g").params().set_string("v", big);
    }

    std::string out = "kept";
    QString got;
    try {
        m.build_string(Message::ENC_COMPACT, out, false);
    } catch (const Exception &e) {
        got = QString::fromUtf8(e.what());
    }
    if (error.isEmpty()) {
        QVERIFY(got.isEmpty());
        Message back(out);
        QVERIFY(back == m);
    } else {
        QCOMPARE(got, QStringLiteral("%1: %2").arg(BUILD_SIG, error));
        QCOMPARE(bytes(out), QByteArray("kept"));
        QVERIFY_EXCEPTION_THROWN(m.build_string_compact(out), Exception);
        QCOMPARE(bytes(out), QByteArray("kept"));
    }
}

void TestCompact::randomRoundTrip()
{
    for (quint32 seed = 1; seed <= 3000; ++seed) {
        RandomTree gen(seed, false);
        const Message m = gen.message();
        std::string out;
        m.build_string(Message::ENC_COMPACT, out, false);
        QCOMPARE(out[0], '\0');
        const Message back(out);
        if (back != m)
            QFAIL(qPrintable(QStringLiteral("seed %1 does not survive the compact form").arg(seed)));
        // Types survive too (equality alone would accept text-equal values).
        std::string again;
        back.build_string(Message::ENC_COMPACT, again, false);
        if (again != out)
            QFAIL(qPrintable(QStringLiteral("seed %1 re-encodes differently").arg(seed)));
    }
}

QTEST_GUILESS_MAIN(TestCompact)
#include "tst_compact.moc"
