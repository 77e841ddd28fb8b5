// Values, parameter sets and message trees, both wire forms of a tree, and
// the exception and log texts beneath them.

#include "message/message.h"
#include "support/exception.h"
#include "support/logger.h"

#include <QtTest>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), int(s.size()));
}

// The wire form of m; the XML declaration is stripped.
QByteArray encode(const Message& m, Message::ENC_FORMAT format = Message::ENC_COMPACT)
{
    std::string out;
    m.build_string(format, out, false);
    strip_xml_header(out);
    return bytes(out);
}

// The text of the Exception that f throws, or an empty string.
template <typename F> QString thrown(F f)
{
    try {
        f();
    } catch (const Exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

// A value from a short description: kind, blank, value ("int -7", "none", "type9").
variant makeValue(const QString& desc)
{
    const QString kind = desc.section(' ', 0, 0), value = desc.section(' ', 1);
    variant v;
    if (kind == "string")
        v.set_string(value.toStdString());
    else if (kind == "int")
        v.set_int(value.toInt());
    else if (kind == "uint")
        v.set_uint(value.toUInt());
    else if (kind == "float")
        v.set_float(value == "inf" ? INFINITY : value == "-inf" ? -INFINITY : value == "nan" ? NAN : value.toFloat());
    else if (kind == "bool")
        v.set_bool(value == "true");
    else if (kind.startsWith("type"))
        v.set_type(variant::VALUE_TYPE(kind.mid(4).toUInt()));
    return v;
}

// What the getters return, as "string|int|uint|float|bool".
QByteArray readings(const std::string& s, int i, uint u, float f, bool b)
{
    return bytes(s) + '|' + QByteArray::number(i) + '|' + QByteArray::number(u) + '|'
        + QByteArray::number(double(f), 'g', 10) + '|' + (b ? "true" : "false");
}

// The XML form of a parameter set.
QByteArray xmlOf(const Params& p)
{
    Message m;
    m.set_name("p");
    m.params() = p;
    return encode(m, Message::ENC_XML);
}

// A chain of compact nodes named "n", depth levels in all.
QByteArray nested(int depth)
{
    return '\0' + QByteArray::fromHex("01006e00000100").repeated(depth - 1) + QByteArray::fromHex("01006e00000000");
}

// Depth of the first chain of children.
unsigned int depthOf(const Message& m)
{
    unsigned int depth = 1;
    for (const Message* node = &m; !node->children().empty(); ++depth)
        node = node->children().begin()->second.front().get();
    return depth;
}

QByteArray manyAttributes(int count)
{
    QByteArray tag = "<e";
    for (int i = 0; i < count; ++i)
        tag += " a" + QByteArray::number(i) + "='" + QByteArray::number(i % 7) + "'";
    return tag + "/>";
}

// Records what reaches the sink instead of writing it, as "mask level text".
struct RecordingLogger : Logger
{
    QStringList lines;
    void handle_log(unsigned int mask, LOG_LEVEL level, const char* text) override
    {
        lines << QStringLiteral("%1 %2 %3").arg(mask).arg(unsigned(level)).arg(text);
    }
};

const QString kParseSig = "unsigned int Message::parse_string_compact(const char *, unsigned int, unsigned int)";
const QString kUshortSig = "unsigned short get_ushort(const char *, unsigned int &, unsigned int)";
const QString kBuildSig = "void Message::build_string_compact(std::string &) const";

} // namespace

class TestMessage : public QObject
{
    Q_OBJECT

private slots:
    void conversions_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("expected"); // readings() of the value
        QTest::addColumn<QByteArray>("record");   // its compact form after the key: type, length, bytes

        auto row = [](const char* value, const char* expected, const char* record = "") {
            QTest::newRow(value) << QString(value) << QByteArray(expected) << QByteArray::fromHex(record);
        };
        row("none", "|0|0|0|false", "00 0000");
        row("string 42", "42|42|42|42|false", "01 0200 3432");
        row("string 12abc", "12abc|12|12|12|false");
        row("string abc", "abc|0|0|0|false");
        row("string -1", "-1|-1|4294967295|-1|false");
        row("string 2.5", "2.5|2|2|2.5|false");
        row("string true", "true|0|0|0|true");
        row("string TRUE", "TRUE|0|0|0|false");
        row("string inf", "inf|0|0|inf|false");
        row("int -7", "-7|-7|4294967289|-7|false", "02 0400 f9ffffff");
        row("uint 305419896", "305419896|305419896|305419896|305419904|false", "03 0400 78563412");
        row("float 1.5", "1.500000|1|1|1.5|false", "04 0400 0000c03f");
        row("float 2.75", "2.750000|2|2|2.75|false");
        row("bool true", "true|0|0|0|true", "05 0100 01");
        row("type9", "|0|0|0|false", "09 0000");
    }

    // Every getter on every type, on the value, after set_type, and through a
    // parameter set; and the value's compact wire form.
    void conversions()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, expected);

        const variant v = makeValue(value);
        QCOMPARE(readings(v.get_string(), v.get_int(), v.get_uint(), v.get_float(), v.get_bool()), expected);
        const QByteArrayList f = expected.split('|');
        QCOMPARE(bytes(v.to_string()), f[0]);
        const QMap<variant::VALUE_TYPE, QByteArray> converted{
            {variant::TYPE_STRING, f[0]}, {variant::TYPE_INT, f[1]}, {variant::TYPE_UINT, f[2]},
            {variant::TYPE_BOOL, f[4]},   {variant::TYPE_NONE, ""},  {variant::VALUE_TYPE(9), ""}};
        for (auto it = converted.begin(); it != converted.end(); ++it) {
            variant t = v;
            t.set_type(it.key());
            QCOMPARE(t.is_set(), it.key() != variant::TYPE_NONE);
            QCOMPARE(bytes(t.to_string()), it.value());
        }

        // The set's defaults count only for absent names (and unset bools).
        Params p;
        p.set_variant("x", v);
        QCOMPARE(readings(p.get_string("x", "d"), p.get_int("x", 99), p.get_uint("x", 99), p.get_float("x", 99),
                          p.get_bool("x", false)),
                 expected);
        QCOMPARE(p.get_qstring("x", "default"), QString::fromUtf8(f[0]));
        QCOMPARE(p.get_bool("x", true), value == "none" || f[4] == "true");
        QCOMPARE(p.get_type("x"), v.get_type());
        QCOMPARE(readings(p.get_string("y", "d"), p.get_int("y", 7), p.get_uint("y", 3), p.get_float("y", 1.25f),
                          p.get_bool("y", true)),
                 QByteArray("d|7|3|1.25|true"));
        QVERIFY(p.get_qstring("y", "q") == "q" && p.get_type("y") == variant::TYPE_NONE);
        QVERIFY(!p.has_param("y")); // getters never insert

        // The compact form keeps the type: the value comes back as it went.
        QFETCH(QByteArray, record);
        if (record.isEmpty())
            return;
        Message m;
        m.params().set_variant("k", v);
        const QByteArray wire = QByteArray::fromHex("00 0000 0100 01006b") + record + QByteArray::fromHex("0000");
        QCOMPARE(encode(m), wire);
        const Message back(wire.toStdString());
        QCOMPARE(back.params().get_type("k"), v.get_type());
        QVERIFY(back == m);
    }

    void equality_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("equal");

        auto row = [](const QString& a, const QString& b, bool equal) {
            QTest::newRow(qPrintable(a + ", " + b)) << a << b << equal;
        };
        row("int 5", "uint 5", true);
        row("int 5", "string 5", true);
        row("int 5", "string 05", false);
        row("float 1", "int 1", false);
        row("float 1.5", "string 1.5", false);
        row("float 1.5", "string 1.500000", true);
        row("bool true", "string true", true);
        row("none", "string ", true);
        row("none", "string x", false);
        row("int -1", "uint 4294967295", false);
        row("float nan", "float nan", false);
        row("float 0", "float -0", true);
        row("type7", "string ", true);
    }

    void equality()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, equal);

        QCOMPARE(makeValue(a) == makeValue(b), equal);
        QCOMPARE(makeValue(b) == makeValue(a), equal);
        QCOMPARE(makeValue(a) != makeValue(b), !equal);
    }

    void paramSets()
    {
        Params p;
        p.set_fixed("level", 2.5f, 10);
        p.set_fixed("small", -0.07f, 10);
        p.set_fixed("huge", 3e9f, 10); // clamped, not undefined
        QCOMPARE(p.get_type("level"), variant::TYPE_INT);
        QCOMPARE(p.get_int("level", 0), 25);
        QCOMPARE(p.get_fixed("level", 0.0f, 10), 2.5f);
        QCOMPARE(p.get_int("small", 1), 0);
        QCOMPARE(p.get_fixed("absent", 1.5f, 10), 1.5f);
        QCOMPARE(p.get_int("huge", 0), std::numeric_limits<int>::max());

        // Merging with and without replacing.
        Params o, update, add;
        o.set_int("a", 1);
        o.set_int("b", 2);
        update.set_int("a", 0);
        add = update;
        const Params sum = update + o;
        update.merge(o, true);
        add.merge(o, false);
        QCOMPARE(xmlOf(update), QByteArray("<p a=\"1\"/>"));
        QCOMPARE(xmlOf(add), QByteArray("<p a=\"0\" b=\"2\"/>"));
        QCOMPARE(xmlOf(sum), QByteArray("<p a=\"1\" b=\"2\"/>"));
        add += o;
        QCOMPARE(xmlOf(add), QByteArray("<p a=\"1\" b=\"2\"/>"));

        // Equal by names and text forms.
        Params a, b;
        a.set_int("x", 1);
        a.set_variant("y", variant());
        b.set_string("y", "");
        b.set_uint("x", 1);
        QVERIFY(a == b);
        b.set_string("z", "");
        QVERIFY(a != b);
        b.clear_param("z");
        b.clear_param("x");
        b.set_int("w", 1);
        QVERIFY(a != b);
        b.clear();
        QVERIFY(!b.has_param());
    }

    void children()
    {
        Message m;
        m.set_name("root");
        m.add_child("b").params().set_int("n", 0);
        m.add_child("a").params().set_int("n", 1);
        m.add_child("b").params().set_int("n", 2);
        QCOMPARE(m.num_children("b"), 2u);
        QCOMPARE(m.num_children("c"), 0u);
        QCOMPARE(encode(m, Message::ENC_XML), QByteArray("<root><a n=\"1\"/><b n=\"0\"/><b n=\"2\"/></root>"));

        m.add_child(m); // a copy of the node as it was
        QCOMPARE(m.get_child("root", 0).num_children("root"), 0u);
        QCOMPARE(m.get_child("root", 0).num_children("b"), 2u);

        const QString sig = "Message &Message::get_child(const std::string &, unsigned int)";
        QCOMPARE(thrown([&] { m.get_child("line", 0); }), sig + ": Failed to find 'line' #0");
        QCOMPARE(thrown([&] { m.get_child("b", 2); }), sig + ": Failed to find 'b' #2");
        QCOMPARE(thrown([&] { static_cast<const Message&>(m).get_child("line", 3); }),
                 "const " + sig + " const: Failed to find 'line' #3");
    }

    void copyAndEquality()
    {
        Message source;
        source.set_name("root");
        source.set_text("t");
        source.params().set_int("a", 5);
        source.add_child("y");
        source.add_child("c").add_child("g").params().set_float("f", 0.5f);

        Message copy(source), assigned;
        QVERIFY(copy == source);
        assigned.add_child("stale");
        assigned = source;
        QVERIFY(assigned == source);
        QCOMPARE(assigned.num_children("stale"), 0u);
        copy.get_child("c", 0).get_child("g", 0).params().set_float("f", 0.25f);
        QVERIFY(copy != source);
        QCOMPARE(source.get_child("c", 0).get_child("g", 0).params().get_float("f", 0), 0.5f);

        // Other order across names, text instead of numbers.
        Message reordered(std::string("<root a=\"5\"><c><g f=\"0.500000\"/></c><y/>t</root>"));
        QVERIFY(reordered == source);
        reordered.set_text("u");
        QVERIFY(reordered != source);

        Message c, d; // order within one name counts
        c.add_child("x").set_text("1");
        c.add_child("x").set_text("2");
        d.add_child("x").set_text("2");
        d.add_child("x").set_text("1");
        QVERIFY(c != d);
        d.add_child("z");
        QVERIFY(c != d && d != c);

        copy.clear();
        QCOMPARE(bytes(copy.get_name() + copy.text()), QByteArray("roott"));
        QVERIFY(!copy.params().has_param() && copy.children().empty());
    }

    void xmlWireExample()
    {
        Message m;
        m.set_name("change_line_state");
        m.set_text("character data is read, never written");
        m.params().set_string("command", "hold");
        m.params().set_uint("line_id", 3);
        QCOMPARE(encode(m, Message::ENC_XML), QByteArray("<change_line_state command=\"hold\" line_id=\"3\"/>"));
        std::string full;
        m.build_string(Message::ENC_XML, full, false);
        QVERIFY(bytes(full).startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?><change"));

        // Values go out as their text forms, escaped.
        Params t;
        t.set_int("i", 7);
        t.set_float("f", 0.5f);
        t.set_bool("b", true);
        t.set_string("s", "a\"<&>'\xc3\xa9");
        QCOMPARE(xmlOf(t), QByteArray("<p b=\"true\" f=\"0.500000\" i=\"7\" s=\"a&quot;&lt;&amp;&gt;'\xc3\xa9\"/>"));
    }

    // Characters XML cannot carry are left out of names, keys and values
    // alike, so no text can put a NUL (the frame's end) or a malformed
    // character into a frame; tab, line feed and carriage return stay.
    void xmlForbiddenCharacters_data()
    {
        QTest::addColumn<QString>("c");
        for (const ushort c : {0x0000, 0x0001, 0x000B, 0x000C, 0x001F, 0xFFFE, 0xFFFF})
            QTest::newRow(qPrintable(QStringLiteral("U+%1").arg(c, 4, 16, QLatin1Char('0')).toUpper()))
                << QString(QChar(c));
    }

    void xmlForbiddenCharacters()
    {
        QFETCH(QString, c);
        const std::string x = c.toStdString();
        Message m;
        m.set_name("r" + x + "oot");
        m.params().set_variant("k" + x + "ey", variant(x + "v\t\n\r" + x + "\xf0\x9f\x98\x80" + x));
        m.add_child("c" + x + "hild").params().set_variant("x", variant(x));
        const QByteArray wire = encode(m, Message::ENC_XML);
        QCOMPARE(wire, QByteArray("<root key=\"v&#9;&#10;&#13;\xf0\x9f\x98\x80\"><child x=\"\"/></root>"));
        QXmlStreamReader strict(wire);
        while (!strict.atEnd())
            strict.readNext();
        QVERIFY2(!strict.hasError(), qPrintable(strict.errorString()));
    }

    void parsing_data()
    {
        // What was read replaces parameters and children; name and text stay unless read anew.
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected"); // XML form of the message, |text, |error if any
        auto row = [](const char* name, const QByteArray& input, const QByteArray& expected) {
            QTest::newRow(name) << input << expected;
        };
        static const char nulInside[] = "<r a=\"1\"><c/>\0<d/></r>";
        row("last text run wins", "<r>first<c/>last</r>", "<r><c/></r>|last");
        row("same-name children in order", "<r><c n=\"1\"/><c n=\"2\"/></r>", "<r><c n=\"1\"/><c n=\"2\"/></r>|kept");
        row("children regrouped by name", "<r><b/><a/></r>", "<r><a/><b/></r>|kept");
        row("comment and PI skipped", "<!--c--><r><?pi x?><c/></r>", "<r><c/></r>|kept");
        row("entities resolved", "<r a=\"&lt;&amp;&#65;\"/>", "<r a=\"&lt;&amp;A\"/>|kept");
        row("duplicate attribute is malformed", "<r a=\"1\" a=\"2\"/>", "<old/>|kept");
        row("only the first element", "<r/><s/>", "<r/>|kept");
        row("trailing garbage ignored", "<r/>\x01\x02<<<", "<r/>|kept");
        row("cut inside root", "<r a=\"1\"><c x=\"2\"/><d", "<r a=\"1\"><c x=\"2\"/></r>|kept");
        row("cut inside attribute", "<r a=\"1", "<old/>|kept");
        row("mismatched end tag", "<r><c></r>", "<r><c/></r>|kept");
        row("NUL inside", QByteArray::fromRawData(nulInside, sizeof nulInside - 1), "<r a=\"1\"><c/></r>|kept");
        row("not XML", "<<>>", "<old/>|kept");
        // Namespaces as a standard reader sees them: declarations are no
        // parameters, names are local, an undeclared prefix is malformed.
        row("default namespace declaration", "<a xmlns=\"urn:x\" b=\"1\"/>", "<a b=\"1\"/>|kept");
        row("prefixed names", "<p:r xmlns:p=\"urn:x\" p:a=\"1\" b=\"2\"><p:c/></p:r>",
            "<r a=\"1\" b=\"2\"><c/></r>|kept");
        row("undeclared element prefix", "<r a=\"1\"><c/><p:e/><d/></r>", "<r a=\"1\"><c/></r>|kept");
        row("undeclared attribute prefix", "<r><c q:a=\"1\"/><d/></r>", "<r/>|kept");
        row("undeclared prefix on the root", "<p:r/>", "<old/>|kept");
        row("prefixed attribute that is no name", "<r xmlns:p=\"urn:x\"><c p:a=\"1\"/><d p:6=\"1\"/></r>",
            "<r><c a=\"1\"/></r>|kept");
        row("prefix declared in a sibling only", "<r><c xmlns:p=\"urn:x\" p:a=\"1\"/><p:d/></r>",
            "<r><c a=\"1\"/></r>|kept");
        row("CDATA is text", "<r><![CDATA[<x>]]></r>", "<r/>|<x>");
        row("empty", QByteArray(), "<old/>|kept");
        row("tag 0xff", "\xff\x00", "<old/>|kept");
        row("0x01 goes to xml", "\x01<a/>", "<old/>|kept");
        row("compact", QByteArray::fromHex("0001006101000100780100000000"), "<a x=\"\"/>|kept");
        // Odd compact values: lengths other than the type's width (the first
        // bytes count, missing ones are zero), an unknown type, a bool byte of
        // 2 (only the lowest bit counts), a repeated key (the later wins),
        // children out of order, trailing bytes.
        row("odd compact",
            QByteArray::fromHex("00 0100 6d 0500 010061 02 0200 0501 010062 03 0800 0100000002000000"
                                "010063 09 0300 616263 010064 05 0100 02 010063 01 0100 7a 0300"
                                "010062 0000 0000 010061 0000 0000 010062 0100 010078 01 0000 0000 deadbeef"),
            "<m a=\"261\" b=\"1\" c=\"z\" d=\"false\"><a/><b/><b x=\"\"/></m>|kept");
        // Truncated compact frames: the decoder's text; complete children stay.
        const QByteArray u = "|kept|" + kUshortSig.toUtf8() + ": message too short";
        const QByteArray c
            = "|kept|unsigned char get_uchar(const char *, unsigned int &, unsigned int): message too short";
        const QByteArray p = "|kept|" + kParseSig.toUtf8() + ": message too short";
        row("tag only", QByteArray::fromHex("00"), "<old/>" + u);
        row("inside name length", QByteArray::fromHex("0005"), "<old/>" + u);
        row("name past end", QByteArray::fromHex("000500 6162"), "<old/>" + p);
        row("no parameter count", QByteArray::fromHex("000100 61"), "<a/>" + u);
        row("key past end", QByteArray::fromHex("000100 61 0100 0900 6b"), "<a/>" + p);
        row("no type byte", QByteArray::fromHex("000100 61 0100 0100 6b"), "<a/>" + c);
        row("value past end", QByteArray::fromHex("000100 61 0100 0100 6b 03 0400 070000"), "<a/>" + p);
        row("no child count", QByteArray::fromHex("000100 61 0000"), "<a/>" + u);
        row("second child missing", QByteArray::fromHex("000100 61 0000 0200 010063 0000 0000"), "<a><c/></a>" + u);
    }

    void parsing()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);

        Message m;
        m.set_name("old");
        m.set_text("kept");
        m.params().set_int("stale", 1);
        m.add_child("stale");
        const QString error = thrown([&] { m.parse_string(input.toStdString()); });
        QCOMPARE(encode(m, Message::ENC_XML) + "|" + bytes(m.text()) + (error.isEmpty() ? "" : "|" + error.toUtf8()),
                 expected);
    }

    void nestingBound()
    {
        QByteArray ok
            = QByteArray("<n>").repeated(Message::MAX_DEPTH) + QByteArray("</n>").repeated(Message::MAX_DEPTH);
        const Message atLimit(ok.toStdString());
        QCOMPARE(depthOf(atLimit), Message::MAX_DEPTH);
        QCOMPARE(encode(atLimit, Message::ENC_XML), ok.replace("<n></n>", "<n/>"));

        // A frame of the largest size made of nothing but start tags: decoding
        // stops at the bound, keeps what it read, throws nothing.
        const QByteArray deep = QByteArray("<a x=\"1\">").repeated((786431 - 20) / 9 + 1);
        const Message m(deep.toStdString());
        QCOMPARE(bytes(m.get_name()), QByteArray("a"));
        QCOMPARE(depthOf(m), Message::MAX_DEPTH);
        QCOMPARE(m.params().get_int("x", 0), 1);
        QXmlStreamReader reader(deep); // parse_xml on a reader of its own too
        Message direct;
        direct.parse_xml(&reader);
        QCOMPARE(depthOf(direct), Message::MAX_DEPTH);

        // The compact form: one level more is refused with the decoder's text.
        QCOMPARE(encode(Message(nested(int(Message::MAX_DEPTH)).toStdString())), nested(int(Message::MAX_DEPTH)));
        QCOMPARE(thrown([] { Message tooDeep(nested(int(Message::MAX_DEPTH) + 1).toStdString()); }),
                 kParseSig + ": message nested too deeply");
        // The largest frame, nothing but nesting: refused, no crash.
        const QByteArray huge = '\0' + QByteArray::fromHex("01006e00000100").repeated(786431 / 7 - 1);
        QVERIFY(!thrown([&] { Message refused(huge.toStdString()); }).isEmpty());
    }

    void xmlHostileFrames_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("children"); // <e> children of <r>; -1: nothing read

        // The bounds at their limits on the receive path: tests/bounds.
        QTest::newRow("1025 attributes refused") << "<r>" + manyAttributes(1025) + "<e/></r>" << 0;
        QTest::newRow("'=' in quoted values not counted") << "<r><e a='" + QByteArray(5000, '=') + "'/></r>" << 1;
        QTest::newRow("comment opened by <!--> hides nothing")
            << "<r><!--> <y q=' -->" + manyAttributes(1025) + "'></r>" << 0;
        QTest::newRow("DOCTYPE inside refused") << QByteArray("<r><e/><!DOCTYPE x><e/></r>") << 1;
    }

    void xmlHostileFrames()
    {
        QFETCH(QByteArray, xml);
        QFETCH(int, children);

        const Message m(xml.toStdString());
        QCOMPARE(bytes(m.get_name()), QByteArray(children < 0 ? "" : "r"));
        QCOMPARE(int(m.num_children("e")), std::max(children, 0));
        QCOMPARE(m.params().has_param(), false);
    }

    void compactWorkedExample()
    {
        Message m;
        m.set_name("ab");
        m.params().set_uint("x", 7);
        m.add_child("c");
        const QByteArray expected
            = QByteArray::fromHex("00 0200 6162 0100 010078 03 0400 07000000 0100 010063 0000 0000");
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

    void compactEncoderLimits_data()
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
        QTest::newRow("in a grandchild") << "grandchild" << 65536 << "value too long";
        // Nothing a decoder would refuse goes out.
        QTest::newRow("nested too deeply") << "depth" << int(Message::MAX_DEPTH) << "message nested too deeply";
    }

    void compactEncoderLimits()
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
        else if (what == "grandchild")
            m.add_child("c").add_child("g").params().set_string("v", big);
        for (int i = 0; what == "params" && i < size; ++i)
            m.params().set_variant(std::to_string(i), variant());
        for (int i = 0; what == "children" && i < size; ++i)
            m.add_child(i % 2 ? "a" : "b"); // the limit is on the total
        for (Message* leaf = &m; what == "depth" && size > 0; --size)
            leaf = &leaf->add_child("n");

        std::string out = "kept";
        QCOMPARE(thrown([&] { m.build_string(Message::ENC_COMPACT, out, false); }),
                 error.isEmpty() ? error : kBuildSig + ": " + error);
        // Refused: the output is untouched, also when appending the node alone.
        QVERIFY(error.isEmpty() ? Message(out) == m : out == "kept");
        QVERIFY(error.isEmpty() || (!thrown([&] { m.build_string_compact(out); }).isEmpty() && out == "kept"));
    }

    void logGate_data()
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
        QTest::newRow("clog high bit") << 0x80000000u << unsigned(LL_DEBUG) << 0x80000000u << unsigned(LL_DEBUG)
                                       << true;
    }

    void logGate()
    {
        QFETCH(unsigned int, setMask);
        QFETCH(unsigned int, setLevel);
        QFETCH(unsigned int, mask);
        QFETCH(unsigned int, level);
        QFETCH(bool, passes);

        RecordingLogger logger;
        if (setMask)
            logger.set_log_level(setMask, LOG_LEVEL(setLevel));
        mask ? logger.clog(mask, LOG_LEVEL(level), "n=%d", 5) : logger.log(LOG_LEVEL(level), "n=%d", 5);
        QCOMPARE(logger.lines,
                 passes ? QStringList{QStringLiteral("%1 %2 n=5").arg(mask ? mask : 1u).arg(level)} : QStringList());
    }

    void logAndExceptionTexts()
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

        QCOMPARE(strlen(Exception("%s", text.c_str()).what()), size_t(4095));
        errno = ENOENT;
        QCOMPARE(QByteArray::fromStdString(libipc_errstr(false)), QByteArray(strerror(ENOENT)));
    }
};

QTEST_GUILESS_MAIN(TestMessage)
#include "tst_message.moc"
