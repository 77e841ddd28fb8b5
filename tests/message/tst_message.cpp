#include "ipc/exception.h"
#include "message/convert.h"
#include "message/message.h"

#include <QtTest>

#include <cmath>
#include <unistd.h>

namespace {

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), int(s.size()));
}

// A value from a short description: kind, and the value as text.
variant makeValue(const QString &kind, const QString &value)
{
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

} // namespace

class TestMessage : public QObject
{
    Q_OBJECT

private slots:
    void conversions_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("asInt");
        QTest::addColumn<uint>("asUint");
        QTest::addColumn<float>("asFloat");
        QTest::addColumn<bool>("asBool");

        const float inf = INFINITY;
        QTest::newRow("none") << "none" << "" << QByteArray("") << 0 << 0u << 0.0f << false;
        QTest::newRow("string 42") << "string" << "42" << QByteArray("42") << 42 << 42u << 42.0f << false;
        QTest::newRow("leading blanks") << "string" << "  42" << QByteArray("  42") << 42 << 42u << 42.0f << false;
        QTest::newRow("trailing junk") << "string" << "12abc" << QByteArray("12abc") << 12 << 12u << 12.0f << false;
        QTest::newRow("no number") << "string" << "abc" << QByteArray("abc") << 0 << 0u << 0.0f << false;
        QTest::newRow("string -1") << "string" << "-1" << QByteArray("-1") << -1 << 4294967295u << -1.0f << false;
        QTest::newRow("string 2.5") << "string" << "2.5" << QByteArray("2.5") << 2 << 2u << 2.5f << false;
        QTest::newRow("string true") << "string" << "true" << QByteArray("true") << 0 << 0u << 0.0f << true;
        QTest::newRow("string TRUE") << "string" << "TRUE" << QByteArray("TRUE") << 0 << 0u << 0.0f << false;
        QTest::newRow("string 1") << "string" << "1" << QByteArray("1") << 1 << 1u << 1.0f << false;
        QTest::newRow("string inf") << "string" << "inf" << QByteArray("inf") << 0 << 0u << inf << false;
        QTest::newRow("string -inf") << "string" << "-inf" << QByteArray("-inf") << 0 << 0u << -inf << false;
        QTest::newRow("int -7") << "int" << "-7" << QByteArray("-7") << -7 << 4294967289u << -7.0f << false;
        QTest::newRow("int 1") << "int" << "1" << QByteArray("1") << 1 << 1u << 1.0f << false;
        QTest::newRow("uint max") << "uint" << "4294967295" << QByteArray("4294967295") << -1 << 4294967295u << 4294967296.0f << false;
        QTest::newRow("float 1.5") << "float" << "1.5" << QByteArray("1.500000") << 1 << 1u << 1.5f << false;
        QTest::newRow("float 0") << "float" << "0" << QByteArray("0.000000") << 0 << 0u << 0.0f << false;
        QTest::newRow("float 2.75") << "float" << "2.75" << QByteArray("2.750000") << 2 << 2u << 2.75f << false;
        QTest::newRow("float inf") << "float" << "inf" << QByteArray("inf") << 0 << 0u << inf << false;
        QTest::newRow("float -inf") << "float" << "-inf" << QByteArray("-inf") << 0 << 0u << -inf << false;
        QTest::newRow("bool true") << "bool" << "true" << QByteArray("true") << 0 << 0u << 0.0f << true;
        QTest::newRow("bool false") << "bool" << "false" << QByteArray("false") << 0 << 0u << 0.0f << false;
        QTest::newRow("type 9") << "type9" << "" << QByteArray("") << 0 << 0u << 0.0f << false;
    }

    // Every getter on every type, on the value and through a parameter set.
    void conversions()
    {
        QFETCH(QString, kind);
        QFETCH(QString, value);
        QFETCH(QByteArray, text);
        QFETCH(int, asInt);
        QFETCH(uint, asUint);
        QFETCH(float, asFloat);
        QFETCH(bool, asBool);

        const variant v = makeValue(kind, value);
        QCOMPARE(bytes(v.to_string()), text);
        QCOMPARE(bytes(v.get_string()), text);
        QCOMPARE(v.get_int(), asInt);
        QCOMPARE(v.get_uint(), asUint);
        QCOMPARE(v.get_float(), asFloat);
        QCOMPARE(v.get_bool(), asBool);

        // The set's defaults count only for absent names (and unset bools).
        Params p;
        p.set_variant("x", v);
        QCOMPARE(p.get_int("x", 99), asInt);
        QCOMPARE(p.get_uint("x", 99), asUint);
        QCOMPARE(p.get_float("x", 99.0f), asFloat);
        QCOMPARE(bytes(p.get_string("x", "default")), text);
        QCOMPARE(p.get_qstring("x", "default"), QString::fromUtf8(text));
        QCOMPARE(p.get_bool("x", true), kind == "none" ? true : asBool);
        QCOMPARE(p.get_type("x"), v.get_type());
        QCOMPARE(p.num_params(), 1u);

        QCOMPARE(p.get_int("y", 7), 7);
        QCOMPARE(p.get_uint("y", 3), 3u);
        QCOMPARE(p.get_float("y", 1.25f), 1.25f);
        QCOMPARE(p.get_bool("y", true), true);
        QCOMPARE(bytes(p.get_string("y", "d")), QByteArray("d"));
        QCOMPARE(p.get_qstring("y", "q"), QString("q"));
        QCOMPARE(p.get_type("y"), variant::TYPE_NONE);
        QVERIFY(!p.has_param("y")); // getters never insert
    }

    void setType_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("value");
        QTest::addColumn<uint>("target");
        QTest::addColumn<QByteArray>("text");

        QTest::newRow("int to string") << "int" << "7" << uint(variant::TYPE_STRING) << QByteArray("7");
        QTest::newRow("string to int") << "string" << "2.5" << uint(variant::TYPE_INT) << QByteArray("2");
        QTest::newRow("float to int") << "float" << "3" << uint(variant::TYPE_INT) << QByteArray("3");
        QTest::newRow("string -1 to uint") << "string" << "-1" << uint(variant::TYPE_UINT) << QByteArray("4294967295");
        QTest::newRow("int 1 to bool") << "int" << "1" << uint(variant::TYPE_BOOL) << QByteArray("false");
        QTest::newRow("int to none") << "int" << "5" << uint(variant::TYPE_NONE) << QByteArray("");
        QTest::newRow("int to type 9") << "int" << "5" << 9u << QByteArray("");
        QTest::newRow("unset to int") << "none" << "" << uint(variant::TYPE_INT) << QByteArray("0");
    }

    void setType()
    {
        QFETCH(QString, kind);
        QFETCH(QString, value);
        QFETCH(uint, target);
        QFETCH(QByteArray, text);

        variant v = makeValue(kind, value);
        v.set_type(variant::VALUE_TYPE(target));
        QCOMPARE(uint(v.get_type()), target);
        QCOMPARE(v.is_set(), target != variant::TYPE_NONE);
        QCOMPARE(bytes(v.to_string()), text);
    }

    void fromString()
    {
        variant v;
        v.from_string("12");
        QCOMPARE(v.get_type(), variant::TYPE_STRING);
        v.set_int(1);
        v.from_string("12abc");
        QCOMPARE(v.get_int(), 12);
        v.set_type(variant::TYPE_FLOAT);
        QCOMPARE(bytes(v.to_string()), QByteArray("12.000000"));
    }

    void equality_data()
    {
        QTest::addColumn<QString>("kindA");
        QTest::addColumn<QString>("valueA");
        QTest::addColumn<QString>("kindB");
        QTest::addColumn<QString>("valueB");
        QTest::addColumn<bool>("equal");

        QTest::newRow("int 5, uint 5") << "int" << "5" << "uint" << "5" << true;
        QTest::newRow("int 5, string 5") << "int" << "5" << "string" << "5" << true;
        QTest::newRow("int 5, string 05") << "int" << "5" << "string" << "05" << false;
        QTest::newRow("float 1, int 1") << "float" << "1" << "int" << "1" << false;
        QTest::newRow("float 1.5, string 1.5") << "float" << "1.5" << "string" << "1.5" << false;
        QTest::newRow("float 1.5, string 1.500000") << "float" << "1.5" << "string" << "1.500000" << true;
        QTest::newRow("bool true, string true") << "bool" << "true" << "string" << "true" << true;
        QTest::newRow("bool true, bool false") << "bool" << "true" << "bool" << "false" << false;
        QTest::newRow("unset, empty string") << "none" << "" << "string" << "" << true;
        QTest::newRow("unset, unset") << "none" << "" << "none" << "" << true;
        QTest::newRow("unset, string x") << "none" << "" << "string" << "x" << false;
        QTest::newRow("int -1, uint max") << "int" << "-1" << "uint" << "4294967295" << false;
        QTest::newRow("nan, nan") << "float" << "nan" << "float" << "nan" << false;
        QTest::newRow("0, -0") << "float" << "0" << "float" << "-0" << true;
        QTest::newRow("type 7, empty string") << "type7" << "" << "string" << "" << true;
    }

    void equality()
    {
        QFETCH(QString, kindA);
        QFETCH(QString, valueA);
        QFETCH(QString, kindB);
        QFETCH(QString, valueB);
        QFETCH(bool, equal);

        const variant a = makeValue(kindA, valueA);
        const variant b = makeValue(kindB, valueB);
        QCOMPARE(a == b, equal);
        QCOMPARE(b == a, equal);
        QCOMPARE(a != b, !equal);
    }

    // Wire bytes of the wrong length never overrun the 4-byte slot.
    void setDataBounds()
    {
        const QByteArray eight = QByteArray::fromHex("0102030405060708");
        variant v;
        v.set_type(variant::TYPE_UINT);
        v.set_data(eight.constData(), 8);
        QCOMPARE(v.get_uint(), 0x04030201u);
        v.set_uint(0xffffffffu);
        v.set_data("\x05", 1); // missing bytes read as zero
        QCOMPARE(v.get_uint(), 5u);

        variant b;
        b.set_type(variant::TYPE_BOOL);
        b.set_data(eight.constData(), 8);
        QCOMPARE(b.get_bool(), true);
        b.set_data("\x02", 1); // only the lowest bit counts
        QCOMPARE(bytes(b.to_string()), QByteArray("false"));

        variant n;
        n.set_type(variant::VALUE_TYPE(42));
        n.set_data(eight.constData(), 8);
        QCOMPARE(n.get_data_len(), 0u);
    }

    void fixedPoint()
    {
        Params p;
        p.set_fixed("level", 2.5f, 10);
        QCOMPARE(p.get_type("level"), variant::TYPE_INT);
        QCOMPARE(p.get_int("level", 0), 25);
        QCOMPARE(p.get_fixed("level", 0.0f, 10), 2.5f);
        p.set_fixed("small", -0.07f, 10);
        QCOMPARE(p.get_int("small", 1), 0);
        QCOMPARE(p.get_fixed("absent", 1.5f, 10), 1.5f);
        p.set_fixed("huge", 3e9f, 10); // clamped, not undefined
        QCOMPARE(p.get_int("huge", 0), std::numeric_limits<int>::max());
        p.set_qstring("q", QString::fromUtf8("\xc3\xa9"));
        QCOMPARE(bytes(p.get_string("q", "")), QByteArray("\xc3\xa9"));
    }

    void mergeAndAdd_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("result");
        QTest::newRow("merge update") << "update" << "a=1";
        QTest::newRow("merge add") << "add" << "a=0 b=2";
        QTest::newRow("+=") << "+=" << "a=1 b=2";
        QTest::newRow("+") << "+" << "a=1 b=2";
    }

    void mergeAndAdd()
    {
        QFETCH(QString, operation);
        QFETCH(QString, result);

        Params o;
        o.set_int("a", 1);
        o.set_int("b", 2);
        Params p;
        p.set_int("a", 0);
        if (operation == "update")
            p.merge(o, true);
        else if (operation == "add")
            p.merge(o, false);
        else if (operation == "+=")
            p += o;
        else
            p = p + o;

        QStringList got;
        for (const std::string &name : p.enum_params())
            got << QString::fromStdString(name + "=" + p.get_string(name.c_str(), "?"));
        QCOMPARE(got.join(' '), result);
    }

    void paramsEqualityAndOrder()
    {
        Params a;
        a.set_int("x", 1);
        a.set_variant("y", variant());
        Params b;
        b.set_string("y", "");
        b.set_uint("x", 1);
        QVERIFY(a == b);
        b.set_string("z", "");
        QVERIFY(a != b);
        b.clear_param("z");
        b.clear_param("x");
        b.set_int("w", 1);
        QVERIFY(a != b);

        Params p;
        for (const char *name : {"b", "a", "B", ""})
            p.set_int(name, 1);
        QVERIFY(p.enum_params() == std::vector<std::string>({"", "B", "a", "b"}));
        p.clear();
        QVERIFY(!p.has_param());
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
        QCOMPARE(m.get_child("b", 1).params().get_int("n", -1), 2);

        QStringList order;
        for (const auto &list : m.children())
            for (const auto &child : list.second)
                order << QString::fromStdString(child->get_name()) + QString::number(child->params().get_int("n", -1));
        QCOMPARE(order.join(','), QString("a1,b0,b2"));

        m.add_child(m); // a copy of the node as it was
        QCOMPARE(m.get_child("root", 0).num_children("root"), 0u);
        QCOMPARE(m.get_child("root", 0).num_children("b"), 2u);
    }

    void getChildFailures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint>("index");
        QTest::addColumn<bool>("constant");
        QTest::addColumn<QString>("error");

        const QString sig = "Message &Message::get_child(const std::string &, unsigned int)";
        QTest::newRow("absent name") << "line" << 0u << false << sig + ": Failed to find 'line' #0";
        QTest::newRow("index = length") << "b" << 2u << false << sig + ": Failed to find 'b' #2";
        QTest::newRow("const") << "line" << 3u << true
                               << "const Message &Message::get_child(const std::string &, unsigned int) const: Failed to find 'line' #3";
    }

    void getChildFailures()
    {
        QFETCH(QString, name);
        QFETCH(uint, index);
        QFETCH(bool, constant);
        QFETCH(QString, error);

        Message m;
        m.add_child("b");
        m.add_child("b");
        QString got;
        try {
            if (constant)
                static_cast<const Message &>(m).get_child(name.toStdString(), index);
            else
                m.get_child(name.toStdString(), index);
        } catch (const Exception &e) {
            got = e.what();
        }
        QCOMPARE(got, error);
    }

    void copyAndEquality()
    {
        Message source;
        source.set_name("root");
        source.set_text("t");
        source.params().set_int("a", 5);
        source.add_child("y");
        source.add_child("c").add_child("g").params().set_float("f", 0.5f);

        Message copy(source);
        QVERIFY(copy == source);
        Message assigned;
        assigned.add_child("stale");
        assigned = source;
        QVERIFY(assigned == source);
        QCOMPARE(assigned.num_children("stale"), 0u);

        copy.get_child("c", 0).get_child("g", 0).params().set_float("f", 0.25f);
        QVERIFY(copy != source);
        QCOMPARE(source.get_child("c", 0).get_child("g", 0).params().get_float("f", 0), 0.5f);

        Message reordered; // other order across names, string instead of int
        reordered.set_name("root");
        reordered.set_text("t");
        reordered.params().set_string("a", "5");
        reordered.add_child("c").add_child("g").params().set_float("f", 0.5f);
        reordered.add_child("y");
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
        QVERIFY(c != d);
        QVERIFY(d != c);

        copy.clear();
        QCOMPARE(bytes(copy.get_name() + copy.text()), QByteArray("roott"));
        QVERIFY(!copy.params().has_param());
        QVERIFY(copy.children().empty());
    }

    void parseStringFormatChoice_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("name");

        QTest::newRow("empty") << QByteArray() << QByteArray("old");
        QTest::newRow("tag 0x07") << QByteArray("\x07<a x=\"1\"/>") << QByteArray("old");
        QTest::newRow("tag 0xff") << QByteArray("\xff\x00") << QByteArray("old");
        QTest::newRow("xml") << QByteArray("<a x=\"1\"/>") << QByteArray("a");
        QTest::newRow("xml with declaration") << QByteArray("<?xml version=\"1.0\"?><a x=\"1\"/>") << QByteArray("a");
        QTest::newRow("leading blank") << QByteArray(" <a x=\"1\"/>") << QByteArray("old");
        QTest::newRow("0x01 goes to xml") << QByteArray("\x01<a/>") << QByteArray("old");
        QTest::newRow("compact") << QByteArray::fromHex("0001006101000100780100000000") << QByteArray("a");
    }

    void parseStringFormatChoice()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, name);

        Message m;
        m.set_name("old");
        m.set_text("kept");
        m.params().set_int("p", 1);
        m.add_child("c");
        m.parse_string(input.toStdString());
        QCOMPARE(bytes(m.get_name()), name);
        QCOMPARE(int(m.params().num_params()), name == "old" ? 0 : 1);
        QCOMPARE(m.num_children("c"), 0u);
        QCOMPARE(bytes(m.text()), QByteArray("kept"));
    }

    void buildStringFormatChoice()
    {
        Message m;
        m.set_name("a");
        m.params().set_int("x", 1);
        std::string out = "junk";
        m.build_string(Message::ENC_COMPACT, out, true);
        QCOMPARE(bytes(out), QByteArray::fromHex("000100610100010078020400010000000000"));
        m.build_string(Message::ENC_XML, out, false);
        QCOMPARE(bytes(out), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a x=\"1\"/>"));
        out = "untouched";
        m.build_string(Message::ENC_FORMAT(5), out, false);
        QCOMPARE(bytes(out), QByteArray("untouched"));
    }

    void dump()
    {
        Message m;
        m.set_name("r");
        m.params().set_int("a", 1);
        m.params().set_string("b", "x");
        m.add_child("c").params().set_int("d", 2);
        Message t;
        t.set_name("t");
        t.set_text("hello");

        // g_log writes to the standard error stream: catch it in a file.
        QTemporaryFile file;
        QVERIFY(file.open());
        fflush(stderr);
        const int saved = dup(2);
        QVERIFY(dup2(file.handle(), 2) >= 0);
        m.dump(0);
        t.dump(2);
        fflush(stderr);
        dup2(saved, 2);
        close(saved);
        file.seek(0);
        QCOMPARE(file.readAll(), QByteArray("r\n a = 1\n b = x\n c\n  d = 2\n  t\n  text=hello\n"));
    }
};

QTEST_GUILESS_MAIN(TestMessage)
#include "tst_message.moc"
