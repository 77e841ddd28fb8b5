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

// Builds a value from a short description: kind and its value as text.
variant makeValue(const QString &kind, const QString &value)
{
    variant v;
    const std::string text = value.toStdString();
    if (kind == "string")
        v.set_string(text);
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

QString what(const std::exception &e)
{
    return QString::fromUtf8(e.what());
}

} // namespace

class TestMessage : public QObject
{
    Q_OBJECT

private slots:
    // variant
    void conversions_data();
    void conversions();
    void setType_data();
    void setType();
    void fromStringKeepsType();
    void equality_data();
    void equality();
    void byteForm_data();
    void byteForm();
    void setDataNeverOverrunsSlot();

    // Params
    void getters_data();
    void getters();
    void fixedPoint();
    void mergeAndAdd_data();
    void mergeAndAdd();
    void paramsEquality();
    void enumOrder();

    // Message
    void childrenAndLookup();
    void getChildFailures_data();
    void getChildFailures();
    void deepCopyAndEquality();
    void equalityRules();
    void clearKeepsNameAndText();
    void parseStringFormatChoice_data();
    void parseStringFormatChoice();
    void buildStringFormatChoice();
    void dumpLines();
};

void TestMessage::conversions_data()
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
    QTest::newRow("string number") << "string" << "42" << QByteArray("42") << 42 << 42u << 42.0f << false;
    QTest::newRow("string leading blanks") << "string" << "  42" << QByteArray("  42") << 42 << 42u << 42.0f << false;
    QTest::newRow("string trailing junk") << "string" << "12abc" << QByteArray("12abc") << 12 << 12u << 12.0f << false;
    QTest::newRow("string no number") << "string" << "abc" << QByteArray("abc") << 0 << 0u << 0.0f << false;
    QTest::newRow("string minus one") << "string" << "-1" << QByteArray("-1") << -1 << 4294967295u << -1.0f << false;
    QTest::newRow("string decimal") << "string" << "2.5" << QByteArray("2.5") << 2 << 2u << 2.5f << false;
    QTest::newRow("string true") << "string" << "true" << QByteArray("true") << 0 << 0u << 0.0f << true;
    QTest::newRow("string TRUE") << "string" << "TRUE" << QByteArray("TRUE") << 0 << 0u << 0.0f << false;
    QTest::newRow("string 1 is not true") << "string" << "1" << QByteArray("1") << 1 << 1u << 1.0f << false;
    QTest::newRow("string true with blank") << "string" << "true " << QByteArray("true ") << 0 << 0u << 0.0f << false;
    QTest::newRow("string inf") << "string" << "inf" << QByteArray("inf") << 0 << 0u << inf << false;
    QTest::newRow("string -inf") << "string" << "-inf" << QByteArray("-inf") << 0 << 0u << -inf << false;
    QTest::newRow("int") << "int" << "-7" << QByteArray("-7") << -7 << 4294967289u << -7.0f << false;
    QTest::newRow("int 1 is not true") << "int" << "1" << QByteArray("1") << 1 << 1u << 1.0f << false;
    QTest::newRow("uint") << "uint" << "4294967295" << QByteArray("4294967295") << -1 << 4294967295u << 4294967296.0f << false;
    QTest::newRow("float") << "float" << "1.5" << QByteArray("1.500000") << 1 << 1u << 1.5f << false;
    QTest::newRow("float zero") << "float" << "0" << QByteArray("0.000000") << 0 << 0u << 0.0f << false;
    QTest::newRow("float 2.75") << "float" << "2.75" << QByteArray("2.750000") << 2 << 2u << 2.75f << false;
    QTest::newRow("float negative") << "float" << "-0.5" << QByteArray("-0.500000") << 0 << 0u << -0.5f << false;
    QTest::newRow("float inf") << "float" << "inf" << QByteArray("inf") << 0 << 0u << inf << false;
    QTest::newRow("float -inf") << "float" << "-inf" << QByteArray("-inf") << 0 << 0u << -inf << false;
    QTest::newRow("bool true") << "bool" << "true" << QByteArray("true") << 0 << 0u << 0.0f << true;
    QTest::newRow("bool false") << "bool" << "false" << QByteArray("false") << 0 << 0u << 0.0f << false;
    QTest::newRow("unknown type") << "type9" << "" << QByteArray("") << 0 << 0u << 0.0f << false;
}

void TestMessage::conversions()
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

    // The same rules through a parameter set, whose getters only fall back
    // to the default for absent names (and, for bool, unset values).
    Params p;
    p.set_variant("x", v);
    QCOMPARE(p.get_int("x", 99), asInt);
    QCOMPARE(p.get_uint("x", 99), asUint);
    QCOMPARE(p.get_float("x", 99.0f), asFloat);
    QCOMPARE(bytes(p.get_string("x", "default")), text);
    QCOMPARE(p.get_qstring("x", "default"), QString::fromUtf8(text));
    QCOMPARE(p.get_bool("x", true), kind == "none" ? true : asBool);
    QCOMPARE(unsigned(p.get_type("x")), unsigned(v.get_type()));
}

void TestMessage::setType_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("value");
    QTest::addColumn<uint>("target");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("int to string") << "int" << "7" << uint(variant::TYPE_STRING) << QByteArray("7");
    QTest::newRow("string to int") << "string" << "2.5" << uint(variant::TYPE_INT) << QByteArray("2");
    QTest::newRow("float to int") << "float" << "3" << uint(variant::TYPE_INT) << QByteArray("3");
    QTest::newRow("string to float") << "string" << "2.5" << uint(variant::TYPE_FLOAT) << QByteArray("2.500000");
    QTest::newRow("string -1 to uint") << "string" << "-1" << uint(variant::TYPE_UINT) << QByteArray("4294967295");
    QTest::newRow("string to bool") << "string" << "true" << uint(variant::TYPE_BOOL) << QByteArray("true");
    QTest::newRow("int to bool") << "int" << "1" << uint(variant::TYPE_BOOL) << QByteArray("false");
    QTest::newRow("bool to string") << "bool" << "true" << uint(variant::TYPE_STRING) << QByteArray("true");
    QTest::newRow("int to none") << "int" << "5" << uint(variant::TYPE_NONE) << QByteArray("");
    QTest::newRow("int to unknown") << "int" << "5" << 9u << QByteArray("");
    QTest::newRow("unset to int") << "none" << "" << uint(variant::TYPE_INT) << QByteArray("0");
}

void TestMessage::setType()
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

void TestMessage::fromStringKeepsType()
{
    variant v;
    v.from_string("12");
    QCOMPARE(v.get_type(), variant::TYPE_STRING);
    v.set_int(1);
    v.from_string("12abc");
    QCOMPARE(v.get_type(), variant::TYPE_INT);
    QCOMPARE(v.get_int(), 12);
    // Setting a number keeps the old string, setting a string keeps the slot;
    // only the field the type selects is read.
    v.set_string("s");
    QCOMPARE(bytes(v.to_string()), QByteArray("s"));
    v.set_type(variant::TYPE_UINT);
    QCOMPARE(v.get_uint(), 0u);
    v.clear();
    QVERIFY(!v.is_set());
    QCOMPARE(bytes(v.to_string()), QByteArray());
}

void TestMessage::equality_data()
{
    QTest::addColumn<QString>("kindA");
    QTest::addColumn<QString>("valueA");
    QTest::addColumn<QString>("kindB");
    QTest::addColumn<QString>("valueB");
    QTest::addColumn<bool>("equal");

    QTest::newRow("int 5 == uint 5") << "int" << "5" << "uint" << "5" << true;
    QTest::newRow("int 5 == string 5") << "int" << "5" << "string" << "5" << true;
    QTest::newRow("int 5 != string 05") << "int" << "5" << "string" << "05" << false;
    QTest::newRow("float 1 != int 1") << "float" << "1" << "int" << "1" << false;
    QTest::newRow("float 1.5 != string 1.5") << "float" << "1.5" << "string" << "1.5" << false;
    QTest::newRow("float 1.5 == string 1.500000") << "float" << "1.5" << "string" << "1.500000" << true;
    QTest::newRow("bool true == string true") << "bool" << "true" << "string" << "true" << true;
    QTest::newRow("bool true == bool true") << "bool" << "true" << "bool" << "true" << true;
    QTest::newRow("bool true != bool false") << "bool" << "true" << "bool" << "false" << false;
    QTest::newRow("unset == empty string") << "none" << "" << "string" << "" << true;
    QTest::newRow("unset == unset") << "none" << "" << "none" << "" << true;
    QTest::newRow("unset != string x") << "none" << "" << "string" << "x" << false;
    QTest::newRow("strings differ") << "string" << "a" << "string" << "b" << false;
    QTest::newRow("int -1 != uint max") << "int" << "-1" << "uint" << "4294967295" << false;
    QTest::newRow("int 3 == int 3") << "int" << "3" << "int" << "3" << true;
    QTest::newRow("float nan != itself") << "float" << "nan" << "float" << "nan" << false;
    QTest::newRow("float 0 == float -0") << "float" << "0" << "float" << "-0" << true;
    QTest::newRow("unknown types by text") << "type9" << "" << "type9" << "" << true;
    QTest::newRow("unknown == empty string") << "type7" << "" << "string" << "" << true;
}

void TestMessage::equality()
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

void TestMessage::byteForm_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("none") << "none" << "" << QByteArray();
    QTest::newRow("string") << "string" << "ab" << QByteArray("ab");
    QTest::newRow("int -1") << "int" << "-1" << QByteArray::fromHex("ffffffff");
    QTest::newRow("int 258") << "int" << "258" << QByteArray::fromHex("02010000");
    QTest::newRow("uint 7") << "uint" << "7" << QByteArray::fromHex("07000000");
    QTest::newRow("float 1") << "float" << "1" << QByteArray::fromHex("0000803f");
    QTest::newRow("bool true") << "bool" << "true" << QByteArray::fromHex("01");
    QTest::newRow("bool false") << "bool" << "false" << QByteArray::fromHex("00");
    QTest::newRow("unknown type") << "type200" << "" << QByteArray();
}

void TestMessage::byteForm()
{
    QFETCH(QString, kind);
    QFETCH(QString, value);
    QFETCH(QByteArray, data);

    const variant v = makeValue(kind, value);
    QCOMPARE(QByteArray(v.get_data(), int(v.get_data_len())), data);

    variant back;
    back.set_type(v.get_type());
    back.set_data(data.constData(), uint(data.size()));
    QVERIFY(back == v);
    QCOMPARE(back.to_string(), v.to_string());
}

void TestMessage::setDataNeverOverrunsSlot()
{
    const QByteArray eight = QByteArray::fromHex("0102030405060708");
    variant v;
    v.set_type(variant::TYPE_UINT);
    v.set_data(eight.constData(), 8);
    QCOMPARE(v.get_uint(), 0x04030201u);

    // Missing bytes read as zero, whatever the slot held before.
    v.set_uint(0xffffffffu);
    v.set_data("\x05", 1);
    QCOMPARE(v.get_uint(), 5u);

    variant b;
    b.set_type(variant::TYPE_BOOL);
    b.set_data(eight.constData(), 8);
    QCOMPARE(b.get_data_len(), 1u);
    QCOMPARE(b.get_bool(), true);
    // Only the lowest bit of a bool byte counts.
    b.set_data("\x02", 1);
    QCOMPARE(b.get_bool(), false);
    QCOMPARE(bytes(b.to_string()), QByteArray("false"));
    variant f;
    f.set_bool(false);
    QVERIFY(b == f);

    variant n;
    n.set_type(variant::VALUE_TYPE(42));
    n.set_data(eight.constData(), 8);
    QCOMPARE(n.get_data_len(), 0u);
}

void TestMessage::getters_data()
{
    QTest::addColumn<QString>("text"); // "name=kind:value" or "" for an empty set
    QTest::addColumn<QString>("getter");
    QTest::addColumn<QString>("expected");

    QTest::newRow("int default on empty set") << "" << "int:7" << "7";
    QTest::newRow("int from string 42") << "x=string:42" << "int:7" << "42";
    QTest::newRow("int from string abc") << "x=string:abc" << "int:7" << "0";
    QTest::newRow("int of unset entry") << "x=none:" << "int:7" << "0";
    QTest::newRow("bool default on unset entry") << "x=none:" << "bool:true" << "true";
    QTest::newRow("bool from string 1") << "x=string:1" << "bool:true" << "false";
    QTest::newRow("bool default on absent") << "" << "bool:true" << "true";
    QTest::newRow("string of float 0.5") << "x=float:0.5" << "string:d" << "0.500000";
    QTest::newRow("string of bool false") << "x=bool:false" << "string:d" << "false";
    QTest::newRow("string default on absent") << "" << "string:d" << "d";
    QTest::newRow("string of unset entry") << "x=none:" << "string:d" << "";
    QTest::newRow("uint from string -1") << "x=string:-1" << "uint:3" << "4294967295";
    QTest::newRow("uint default") << "" << "uint:3" << "3";
    QTest::newRow("float from string inf") << "x=string:inf" << "float:1" << "inf";
    QTest::newRow("float from string -inf") << "x=string:-inf" << "float:1" << "-inf";
    QTest::newRow("float default") << "" << "float:1.25" << "1.25";
    QTest::newRow("qstring utf8") << "x=string:\xc3\xa9t\xc3\xa9" << "qstring:d" << "\xc3\xa9t\xc3\xa9";
    QTest::newRow("qstring default") << "" << "qstring:d" << "d";
}

void TestMessage::getters()
{
    QFETCH(QString, text);
    QFETCH(QString, getter);
    QFETCH(QString, expected);

    Params p;
    if (!text.isEmpty()) {
        const QString kindValue = text.section('=', 1);
        p.set_variant(text.section('=', 0, 0).toStdString(),
                      makeValue(kindValue.section(':', 0, 0), kindValue.section(':', 1)));
    }
    const Params before = p;
    const QString kind = getter.section(':', 0, 0);
    const QString def = getter.section(':', 1);
    QString got;
    if (kind == "int")
        got = QString::number(p.get_int("x", def.toInt()));
    else if (kind == "uint")
        got = QString::number(p.get_uint("x", def.toUInt()));
    else if (kind == "float")
        got = QString::fromStdString(float_to_str(p.get_float("x", def.toFloat())));
    else if (kind == "bool")
        got = p.get_bool("x", def == "true") ? "true" : "false";
    else if (kind == "string")
        got = QString::fromStdString(p.get_string("x", def.toStdString()));
    else if (kind == "qstring")
        got = p.get_qstring("x", def);
    if (kind == "float" && expected != "inf" && expected != "-inf")
        expected = QString::fromStdString(float_to_str(expected.toFloat()));
    QCOMPARE(got, expected);
    // Getters never insert.
    QCOMPARE(p.num_params(), before.num_params());
    QVERIFY(p.has_param("x") == !text.isEmpty());
}

void TestMessage::fixedPoint()
{
    Params p;
    p.set_fixed("level", 2.5f, 10);
    QCOMPARE(p.get_type("level"), variant::TYPE_INT);
    QCOMPARE(p.get_int("level", 0), 25);
    QCOMPARE(p.get_fixed("level", 0.0f, 10), 2.5f);
    p.set_fixed("small", -0.07f, 10);
    QCOMPARE(p.get_int("small", 1), 0);
    QCOMPARE(p.get_fixed("absent", 1.5f, 10), 1.5f);
    // Out of the int range: clamped, not undefined.
    p.set_fixed("huge", 3e9f, 10);
    QCOMPARE(p.get_int("huge", 0), std::numeric_limits<int>::max());
    p.set_fixed("nan", NAN, 10);
    QCOMPARE(p.get_int("nan", 1), 0);
    p.set_qstring("q", QString::fromUtf8("\xc3\xa9"));
    QCOMPARE(bytes(p.get_string("q", "")), QByteArray("\xc3\xa9"));
}

void TestMessage::mergeAndAdd_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("result");

    QTest::newRow("merge update") << "update" << "a=1";
    QTest::newRow("merge add missing") << "add" << "a=0 b=2";
    QTest::newRow("+=") << "+=" << "a=1 b=2";
    QTest::newRow("+") << "+" << "a=1 b=2";
}

void TestMessage::mergeAndAdd()
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

void TestMessage::paramsEquality()
{
    Params a;
    a.set_int("x", 1);
    a.set_string("y", "two");
    Params b;
    b.set_string("y", "two");
    b.set_uint("x", 1);
    QVERIFY(a == b);
    QVERIFY(!(a != b));

    Params unset;
    unset.set_variant("a", variant());
    Params empty;
    empty.set_string("a", "");
    QVERIFY(unset == empty);

    b.set_string("z", "");
    QVERIFY(a != b);
    b.clear_param("z");
    QVERIFY(a == b);
    b.clear_param("x");
    b.set_int("w", 1);
    QVERIFY(a != b);
    b.clear();
    QVERIFY(!b.has_param());
    QCOMPARE(b.num_params(), 0u);
}

void TestMessage::enumOrder()
{
    Params p;
    p.set_int("b", 1);
    p.set_int("a", 1);
    p.set_int("B", 1);
    p.set_int("", 1);
    const std::vector<std::string> expected{"", "B", "a", "b"};
    QVERIFY(p.enum_params() == expected);
    QVERIFY(p.has_param(""));
}

void TestMessage::childrenAndLookup()
{
    Message m;
    m.set_name("root");
    m.add_child("b").params().set_int("n", 0);
    m.add_child("a").params().set_int("n", 1);
    m.add_child("b").params().set_int("n", 2);

    QCOMPARE(m.num_children("a"), 1u);
    QCOMPARE(m.num_children("b"), 2u);
    QCOMPARE(m.num_children("c"), 0u);
    QCOMPARE(m.get_child("b", 1).params().get_int("n", -1), 2);
    QCOMPARE(bytes(m.get_child("b", 0).get_name()), QByteArray("b"));

    QStringList order;
    for (const auto &list : m.children())
        for (const auto &child : list.second)
            order << QString::fromStdString(child->get_name()) + QString::number(child->params().get_int("n", -1));
    QCOMPARE(order.join(','), QString("a1,b0,b2"));

    Message other;
    other.set_name("x");
    other.params().set_string("k", "v");
    Message &copy = m.add_child(other);
    other.params().set_string("k", "changed");
    QCOMPARE(bytes(copy.params().get_string("k", "")), QByteArray("v"));
    QCOMPARE(m.num_children("x"), 1u);

    // Adding a node to itself copies it as it was.
    m.add_child(m);
    QCOMPARE(m.num_children("root"), 1u);
    QCOMPARE(m.get_child("root", 0).num_children("root"), 0u);
    QCOMPARE(m.get_child("root", 0).num_children("b"), 2u);
}

void TestMessage::getChildFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("index");
    QTest::addColumn<bool>("constant");
    QTest::addColumn<QString>("error");

    QTest::newRow("absent name") << "line" << 0u << false
                                 << "Message &Message::get_child(const std::string &, unsigned int): Failed to find 'line' #0";
    QTest::newRow("index = length") << "b" << 2u << false
                                    << "Message &Message::get_child(const std::string &, unsigned int): Failed to find 'b' #2";
    QTest::newRow("const overload") << "line" << 3u << true
                                    << "const Message &Message::get_child(const std::string &, unsigned int) const: Failed to find 'line' #3";
}

void TestMessage::getChildFailures()
{
    QFETCH(QString, name);
    QFETCH(uint, index);
    QFETCH(bool, constant);
    QFETCH(QString, error);

    Message m;
    m.add_child("b");
    m.add_child("b");
    const Message before = m;
    QString got;
    try {
        if (constant)
            static_cast<const Message &>(m).get_child(name.toStdString(), index);
        else
            m.get_child(name.toStdString(), index);
    } catch (const Exception &e) {
        got = what(e);
    }
    QCOMPARE(got, error);
    QVERIFY(m == before);
}

void TestMessage::deepCopyAndEquality()
{
    Message source;
    source.set_name("root");
    source.set_text("t");
    source.params().set_int("a", 1);
    Message &child = source.add_child("c");
    child.add_child("g").params().set_float("f", 0.5f);

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

    copy = source;
    copy.set_text("other");
    QVERIFY(copy != source);
}

void TestMessage::equalityRules()
{
    Message a;
    a.set_name("m");
    a.add_child("x").params().set_int("i", 1);
    a.add_child("y").params().set_int("i", 2);

    Message b;
    b.set_name("m");
    b.add_child("y").params().set_int("i", 2);
    b.add_child("x").params().set_int("i", 1);
    QVERIFY(a == b); // order across names does not matter

    Message c;
    c.set_name("m");
    c.add_child("x").params().set_int("i", 1);
    c.add_child("x").params().set_int("i", 2);
    Message d;
    d.set_name("m");
    d.add_child("x").params().set_int("i", 2);
    d.add_child("x").params().set_int("i", 1);
    QVERIFY(c != d); // order within a name does

    Message e;
    e.params().set_int("a", 5);
    Message f;
    f.params().set_string("a", "5");
    QVERIFY(e == f);

    Message g = a;
    g.add_child("z");
    QVERIFY(a != g);
    QVERIFY(g != a);
    Message h = a;
    h.set_name("n");
    QVERIFY(a != h);
}

void TestMessage::clearKeepsNameAndText()
{
    Message m;
    m.set_name("n");
    m.set_text("t");
    m.params().set_int("a", 1);
    m.add_child("c");
    m.clear();
    QCOMPARE(bytes(m.get_name()), QByteArray("n"));
    QCOMPARE(bytes(m.text()), QByteArray("t"));
    QVERIFY(!m.params().has_param());
    QCOMPARE(m.num_children("c"), 0u);
}

void TestMessage::parseStringFormatChoice_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("params");

    QTest::newRow("empty keeps name") << QByteArray() << QByteArray("old") << 0;
    QTest::newRow("unknown tag 0x07") << QByteArray("\x07<a x=\"1\"/>") << QByteArray("old") << 0;
    QTest::newRow("negative tag") << QByteArray("\xff\x00") << QByteArray("old") << 0;
    QTest::newRow("xml") << QByteArray("<a x=\"1\"/>") << QByteArray("a") << 1;
    QTest::newRow("xml with declaration") << QByteArray("<?xml version=\"1.0\"?><a x=\"1\"/>") << QByteArray("a") << 1;
    QTest::newRow("leading blank") << QByteArray(" <a x=\"1\"/>") << QByteArray("old") << 0;
    QTest::newRow("leading line break") << QByteArray("\n<a x=\"1\"/>") << QByteArray("old") << 0;
    QTest::newRow("0x01 selects xml") << QByteArray("\x01<a/>") << QByteArray("old") << 0;
    QTest::newRow("compact") << QByteArray::fromHex("000100620000000000") << QByteArray("b") << 0;
}

void TestMessage::parseStringFormatChoice()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, name);
    QFETCH(int, params);

    Message m;
    m.set_name("old");
    m.set_text("kept");
    m.params().set_int("p", 1);
    m.params().set_int("q", 1);
    m.add_child("c");
    m.parse_string(input.toStdString());
    QCOMPARE(bytes(m.get_name()), name);
    QCOMPARE(int(m.params().num_params()), params);
    QCOMPARE(m.num_children("c"), 0u);
    QCOMPARE(bytes(m.text()), QByteArray("kept"));
}

void TestMessage::buildStringFormatChoice()
{
    Message m;
    m.set_name("a");
    m.params().set_int("x", 1);
    std::string out = "junk";
    m.build_string(Message::ENC_COMPACT, out, true);
    QCOMPARE(out[0], '\0');
    QVERIFY(Message(out) == m);

    m.build_string(Message::ENC_XML, out, false);
    QCOMPARE(bytes(out), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a x=\"1\"/>"));
    QVERIFY(Message(out) == m);

    out = "untouched";
    m.build_string(Message::ENC_FORMAT(5), out, false);
    QCOMPARE(bytes(out), QByteArray("untouched"));
}

void TestMessage::dumpLines()
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
    QVERIFY(saved >= 0);
    QVERIFY(dup2(file.handle(), 2) >= 0);
    m.dump(0);
    t.dump(2);
    fflush(stderr);
    dup2(saved, 2);
    close(saved);

    file.seek(0);
    QCOMPARE(file.readAll(), QByteArray("r\n a = 1\n b = x\n c\n  d = 2\n  t\n  text=hello\n"));
}

QTEST_GUILESS_MAIN(TestMessage)
#include "tst_message.moc"
