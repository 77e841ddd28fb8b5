// The parameter text form, the free string helpers, hexadecimal and Base64
// conversion, and MD5 with the password hash.

#include "message/md5.h"
#include "message/params.h"
#include "message/strings.h"

#include <QtTest>

Q_DECLARE_METATYPE(Params)
Q_DECLARE_METATYPE(std::string)

namespace {

std::string s(const char *text)
{
    return std::string(text);
}

QByteArray b(const std::string &text)
{
    return QByteArray(text.data(), static_cast<int>(text.size()));
}

std::string str(const QByteArray &bytes)
{
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::vector<std::string> vec(const QStringList &list)
{
    std::vector<std::string> out;
    for (const QString &item : list)
        out.push_back(item.toStdString());
    return out;
}

QStringList list(const std::vector<std::string> &v)
{
    QStringList out;
    for (const std::string &item : v)
        out << QString::fromStdString(item);
    return out;
}

// Every name and value of a set as "name|value" (the text form reads strings only).
QStringList entries(const Params &p)
{
    QStringList out;
    for (const auto &e : p.entries()) {
        if (e.second.get_type() != variant::TYPE_STRING)
            out << QStringLiteral("not a string: ") + QString::fromStdString(e.first);
        out << QString::fromStdString(e.first + "|" + e.second.get_string());
    }
    return out;
}

} // namespace

class TestStrings : public QObject
{
    Q_OBJECT

private slots:
    void buildString_data();
    void buildString();
    void parseString_data();
    void parseString();
    void parseStringKeepsOtherEntries();
    void unquoteValue_data();
    void unquoteValue();
    void textFormRoundTripsAnyValue();

    void split_data();
    void split();
    void join_data();
    void join();
    void replace_data();
    void replace();
    void escape_data();
    void escape();
    void backslashEscape_data();
    void backslashEscape();
    void trimAndCase_data();
    void trimAndCase();

    void hexToStr_data();
    void hexToStr();
    void hexRoundTrip();
    void base64Rfc4648_data();
    void base64Rfc4648();
    void base64Decode_data();
    void base64Decode();
    void base64RoundTrip();

    void md5Rfc1321_data();
    void md5Rfc1321();
    void md5InPieces();
    void hashPassword();
};

void TestStrings::buildString_data()
{
    QTest::addColumn<Params>("params");
    QTest::addColumn<QByteArray>("text");

    Params mixed;
    mixed.set_int("a", 1);
    mixed.set_string("b", "x y");
    mixed.set_string("c", "say \"hi\"");
    QTest::newRow("bare, blank, quote") << mixed << QByteArray("a=1 b=\"x y\" c=\"say \\\"hi\\\"\" ");

    Params empty;
    empty.set_string("a", "");
    QTest::newRow("empty value") << empty << QByteArray("a= ");

    Params equals;
    equals.set_string("a", "b=c");
    QTest::newRow("equals sign stays bare") << equals << QByteArray("a=b=c ");

    Params bareBackslash;
    bareBackslash.set_string("a", "x\\y");
    QTest::newRow("backslash alone stays bare") << bareBackslash << QByteArray("a=x\\y ");

    Params quotedBackslash;
    quotedBackslash.set_string("a", "x\\ y\\");
    QTest::newRow("backslash doubled when quoted") << quotedBackslash << QByteArray("a=\"x\\\\ y\\\\\" ");

    Params typed;
    typed.set_float("f", 1.5f);
    typed.set_bool("t", true);
    typed.set_uint("u", 4000000000u);
    QTest::newRow("text forms of types") << typed << QByteArray("f=1.500000 t=true u=4000000000 ");

    Params order;
    order.set_int("b", 3);
    order.set_int("a", 2);
    order.set_int("B", 1);
    QTest::newRow("byte order of names") << order << QByteArray("B=1 a=2 b=3 ");

    QTest::newRow("empty set") << Params() << QByteArray("");
}

void TestStrings::buildString()
{
    QFETCH(Params, params);
    QFETCH(QByteArray, text);

    QCOMPARE(b(params.build_string()), text);
    // Reading it back gives strings equal to the text forms.
    Params back;
    back.parse_string(str(text));
    if (params.num_params() > 0) {
        QCOMPARE(back, params);
        for (const auto &e : back.entries())
            QCOMPARE(e.second.get_type(), variant::TYPE_STRING);
    }
}

void TestStrings::parseString_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("name without value") << QByteArray("flag a=1") << QStringList{"a|1", "flag|"};
    QTest::newRow("two blanks make an empty name") << QByteArray("a=1  b=2") << QStringList{"|", "a|1", "b|2"};
    QTest::newRow("empty text") << QByteArray("") << QStringList{"|"};
    QTest::newRow("single blank") << QByteArray(" ") << QStringList{"|"};
    QTest::newRow("unterminated quote") << QByteArray("a=\"x y") << QStringList{"a|x y"};
    QTest::newRow("unterminated after backslash") << QByteArray("a=\"x\\") << QStringList{"a|x"};
    QTest::newRow("lone quote") << QByteArray("a=\"") << QStringList{"a|"};
    QTest::newRow("escaped quote") << QByteArray("c=\"say \\\"hi\\\"\" ") << QStringList{"c|say \"hi\""};
    QTest::newRow("backslash escapes anything") << QByteArray("a=\"\\x\\\\\" b=2") << QStringList{"a|x\\", "b|2"};
    QTest::newRow("closing quote skips one char") << QByteArray("a=\"x\"b=1") << QStringList{"|1", "a|x"};
    QTest::newRow("equals inside value") << QByteArray("a=b=c") << QStringList{"a|b=c"};
    QTest::newRow("quote inside bare value") << QByteArray("a=x\"y z") << QStringList{"a|x\"y", "z|"};
    QTest::newRow("trailing name") << QByteArray("a=1 flag") << QStringList{"a|1", "flag|"};
    QTest::newRow("trailing equals") << QByteArray("a=") << QStringList{"a|"};
    QTest::newRow("later name wins") << QByteArray("a=1 a=2 ") << QStringList{"a|2"};
    QTest::newRow("tab is part of value") << QByteArray("a=x\ty") << QStringList{"a|x\ty"};
    QTest::newRow("empty name") << QByteArray("=v") << QStringList{"|v"};
}

void TestStrings::parseString()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, expected);

    Params p;
    p.parse_string(str(text));
    QCOMPARE(entries(p), expected);
    // The constructor reads the same form.
    QCOMPARE(entries(Params(str(text))), expected);
}

void TestStrings::parseStringKeepsOtherEntries()
{
    Params p;
    p.set_int("z", 5);
    p.set_int("a", 9);
    p.parse_string("a=1 b=2");
    QCOMPARE(p.get_type("z"), variant::TYPE_INT);
    QCOMPARE(p.get_int("z", 0), 5);
    QCOMPARE(p.get_type("a"), variant::TYPE_STRING);
    QCOMPARE(p.get_string("a", ""), s("1"));
    QCOMPARE(p.num_params(), 3u);
}

void TestStrings::unquoteValue_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("pos");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("after");

    QTest::newRow("bare to blank") << QByteArray("ab cd") << 0 << QByteArray("ab") << 3;
    QTest::newRow("bare to end") << QByteArray("ab cd") << 3 << QByteArray("cd") << 5;
    QTest::newRow("quoted") << QByteArray("\"a b\" c") << 0 << QByteArray("a b") << 6;
    QTest::newRow("quote is last char") << QByteArray("\"a\"") << 0 << QByteArray("a") << 3;
    QTest::newRow("unterminated") << QByteArray("\"ab") << 0 << QByteArray("ab") << 3;
    QTest::newRow("at end") << QByteArray("ab") << 2 << QByteArray("") << 2;
    QTest::newRow("past end") << QByteArray("ab") << 10 << QByteArray("") << 2;
    QTest::newRow("negative") << QByteArray("ab") << -3 << QByteArray("") << 2;
    QTest::newRow("empty text") << QByteArray("") << 0 << QByteArray("") << 0;
}

void TestStrings::unquoteValue()
{
    QFETCH(QByteArray, text);
    QFETCH(int, pos);
    QFETCH(QByteArray, value);
    QFETCH(int, after);

    const Params p;
    QCOMPARE(b(p.unquote_value(str(text), pos)), value);
    QCOMPARE(pos, after);
}

void TestStrings::textFormRoundTripsAnyValue()
{
    // Every value of up to five characters from the bytes that matter to
    // the form survives writing and reading, and hostile texts made of the
    // same bytes parse without running past the end.
    const char alphabet[] = {' ', '"', '\\', '=', 'a'};
    std::vector<std::string> values{std::string()};
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i].size() < 5)
            for (const char c : alphabet)
                values.push_back(values[i] + c);
    }
    for (const std::string &value : values) {
        Params p;
        p.set_string("k", value);
        p.set_string("z", "end");
        const Params back(p.build_string());
        QVERIFY2(back == p, value.c_str());

        Params hostile;
        hostile.parse_string(value);
        QVERIFY(hostile.num_params() >= 1);
    }
}

void TestStrings::split_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("delims");
    QTest::addColumn<QStringList>("tokens");

    QTest::newRow("leading, doubled and trailing") << QByteArray(",a,,b,") << QByteArray(",") << QStringList{"", "a", "b"};
    QTest::newRow("blank") << QByteArray("a b") << QByteArray(" ") << QStringList{"a", "b"};
    QTest::newRow("empty text") << QByteArray("") << QByteArray(" ") << QStringList{};
    QTest::newRow("two leading blanks") << QByteArray("  a") << QByteArray(" ") << QStringList{"", "a"};
    QTest::newRow("several delimiters") << QByteArray("a, b;c") << QByteArray(", ;") << QStringList{"a", "b", "c"};
    QTest::newRow("no delimiters") << QByteArray("abc") << QByteArray("") << QStringList{"abc"};
    QTest::newRow("only delimiters") << QByteArray(",,,") << QByteArray(",") << QStringList{""};
}

void TestStrings::split()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, delims);
    QFETCH(QStringList, tokens);
    QCOMPARE(list(::split(str(text), str(delims))), tokens);
}

void TestStrings::join_data()
{
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<QByteArray>("sep");
    QTest::addColumn<QByteArray>("joined");

    QTest::newRow("none") << QStringList{} << QByteArray(",") << QByteArray("");
    QTest::newRow("one") << QStringList{"a"} << QByteArray(",") << QByteArray("a");
    QTest::newRow("three") << QStringList{"a", "b", "c"} << QByteArray(" - ") << QByteArray("a - b - c");
    QTest::newRow("empty parts") << QStringList{"", ""} << QByteArray(",") << QByteArray(",");
}

void TestStrings::join()
{
    QFETCH(QStringList, parts);
    QFETCH(QByteArray, sep);
    QFETCH(QByteArray, joined);
    QCOMPARE(b(::join(vec(parts), str(sep))), joined);
}

void TestStrings::replace_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QByteArray>("result");

    QTest::newRow("at both ends") << QByteArray("&a&") << QByteArray("&") << QByteArray("&amp;") << QByteArray("&amp;a&amp;");
    QTest::newRow("replacement holds pattern") << QByteArray("aaa") << QByteArray("a") << QByteArray("aa") << QByteArray("aaaaaa");
    QTest::newRow("no match") << QByteArray("abc") << QByteArray("x") << QByteArray("y") << QByteArray("abc");
    QTest::newRow("to nothing") << QByteArray("abab") << QByteArray("ab") << QByteArray("") << QByteArray("");
    QTest::newRow("overlapping") << QByteArray("aaaa") << QByteArray("aa") << QByteArray("b") << QByteArray("bb");
    QTest::newRow("empty pattern changes nothing") << QByteArray("abc") << QByteArray("") << QByteArray("x") << QByteArray("abc");
}

void TestStrings::replace()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QByteArray, result);
    std::string value = str(text);
    ::replace(value, str(from), str(to));
    QCOMPARE(b(value), result);
}

void TestStrings::escape_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QByteArray>("sed");

    QTest::newRow("quote") << QByteArray("\"") << QByteArray("&quot;") << QByteArray("\"");
    QTest::newRow("apostrophe") << QByteArray("it's") << QByteArray("it's") << QByteArray("it\\'s");
    QTest::newRow("tag") << QByteArray("<a>&</a>") << QByteArray("&lt;a&gt;&amp;&lt;/a&gt;") << QByteArray("<a>\\&<\\/a>");
    QTest::newRow("entity again") << QByteArray("&amp;") << QByteArray("&amp;amp;") << QByteArray("\\&amp;");
    QTest::newRow("backslash") << QByteArray("a\\b") << QByteArray("a\\b") << QByteArray("a\\\\b");
    QTest::newRow("escaped slash") << QByteArray("a\\/b") << QByteArray("a\\/b") << QByteArray("a\\\\\\/b");
    QTest::newRow("plain") << QByteArray("abc") << QByteArray("abc") << QByteArray("abc");
}

void TestStrings::escape()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, html);
    QFETCH(QByteArray, sed);
    QCOMPARE(b(html_escape(str(text))), html);
    QCOMPARE(b(sed_escape(str(text))), sed);
}

void TestStrings::backslashEscape_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("chars");
    QTest::addColumn<QByteArray>("result");

    QTest::newRow("each occurrence") << QByteArray("//") << QByteArray("/") << QByteArray("\\/\\/");
    QTest::newRow("escaped at index 1") << QByteArray("\\/") << QByteArray("/") << QByteArray("\\/");
    QTest::newRow("escaped later") << QByteArray("a\\/") << QByteArray("/") << QByteArray("a\\/");
    QTest::newRow("doubled backslash leaves it bare") << QByteArray("a\\\\/") << QByteArray("/") << QByteArray("a\\\\\\/");
    QTest::newRow("at start") << QByteArray("/a") << QByteArray("/") << QByteArray("\\/a");
    QTest::newRow("nothing to do") << QByteArray("abc") << QByteArray("/&") << QByteArray("abc");
    QTest::newRow("empty") << QByteArray("") << QByteArray("/") << QByteArray("");
}

void TestStrings::backslashEscape()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, chars);
    QFETCH(QByteArray, result);
    std::string value = str(text);
    backslash_escape(value, str(chars));
    QCOMPARE(b(value), result);
}

void TestStrings::trimAndCase_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("left");
    QTest::addColumn<bool>("right");
    QTest::addColumn<QByteArray>("trimmed");

    QTest::newRow("both") << QByteArray(" \t a b \t") << true << true << QByteArray("a b");
    QTest::newRow("left") << QByteArray(" \t a b \t") << true << false << QByteArray("a b \t");
    QTest::newRow("right") << QByteArray(" \t a b \t") << false << true << QByteArray(" \t a b");
    QTest::newRow("neither") << QByteArray(" a ") << false << false << QByteArray(" a ");
    QTest::newRow("all blank") << QByteArray(" \t ") << true << true << QByteArray("");
    QTest::newRow("newline stays") << QByteArray("\n a\r") << true << true << QByteArray("\n a\r");
}

void TestStrings::trimAndCase()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, left);
    QFETCH(bool, right);
    QFETCH(QByteArray, trimmed);
    QCOMPARE(b(str_trim(str(text), left, right)), trimmed);
    QCOMPARE(b(str_lc(str(text) + "AbZ9")), text.toLower() + "abz9");
    QCOMPARE(b(str_uc(str(text) + "AbZ9")), text.toUpper() + "ABZ9");
}

void TestStrings::hexToStr_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("hyphen skipped") << QByteArray("0A-bC") << QByteArray("\x0a\xbc");
    QTest::newRow("unpaired digit dropped") << QByteArray("abc") << QByteArray("\xab");
    QTest::newRow("blanks inside a pair") << QByteArray("a b c d") << QByteArray("\xab\xcd");
    QTest::newRow("x is not a digit") << QByteArray("0x10") << QByteArray("\x01");
    QTest::newRow("no digits") << QByteArray("zz") << QByteArray("");
    QTest::newRow("empty") << QByteArray("") << QByteArray("");
    QTest::newRow("high bytes") << QByteArray("\xff\xfe" "ff") << QByteArray("\xff");
}

void TestStrings::hexToStr()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(b(hex_to_str(str(text))), bytes);
}

void TestStrings::hexRoundTrip()
{
    QCOMPARE(str_to_hex(std::string("\x00\xab", 2)), s("00ab"));
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    const std::string hex = str_to_hex(all);
    QCOMPARE(hex.size(), 512u);
    QCOMPARE(hex.substr(0, 8), s("00010203"));
    QCOMPARE(hex.substr(504), s("fcfdfeff"));
    QCOMPARE(hex_to_str(hex), all);
    QCOMPARE(hex_to_str(str_uc(hex)), all);
}

void TestStrings::base64Rfc4648_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("padded");
    QTest::addColumn<QByteArray>("unpadded");

    QTest::newRow("empty") << QByteArray("") << QByteArray("") << QByteArray("");
    QTest::newRow("f") << QByteArray("f") << QByteArray("Zg==") << QByteArray("Zg");
    QTest::newRow("fo") << QByteArray("fo") << QByteArray("Zm8=") << QByteArray("Zm8");
    QTest::newRow("foo") << QByteArray("foo") << QByteArray("Zm9v") << QByteArray("Zm9v");
    QTest::newRow("foob") << QByteArray("foob") << QByteArray("Zm9vYg==") << QByteArray("Zm9vYg");
    QTest::newRow("fooba") << QByteArray("fooba") << QByteArray("Zm9vYmE=") << QByteArray("Zm9vYmE");
    QTest::newRow("foobar") << QByteArray("foobar") << QByteArray("Zm9vYmFy") << QByteArray("Zm9vYmFy");
    QTest::newRow("ab") << QByteArray("ab") << QByteArray("YWI=") << QByteArray("YWI");
    QTest::newRow("high bits") << QByteArray("\xfb\xff") << QByteArray("+/8=") << QByteArray("+/8");
}

void TestStrings::base64Rfc4648()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, padded);
    QFETCH(QByteArray, unpadded);
    QCOMPARE(b(str_to_base64(str(data), true)), padded);
    QCOMPARE(b(str_to_base64(str(data), false)), unpadded);
    QCOMPARE(b(base64_to_str(str(padded))), data);
    QCOMPARE(b(base64_to_str(str(unpadded))), data);
}

void TestStrings::base64Decode_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("blank inside") << QByteArray("YW I=") << QByteArray("");
    QTest::newRow("line break at end") << QByteArray("YWI=\n") << QByteArray("");
    QTest::newRow("equals before the end") << QByteArray("Y=WI") << QByteArray("");
    QTest::newRow("url-safe alphabet") << QByteArray("-_8") << QByteArray("");
    QTest::newRow("high byte") << QByteArray("YW\xc3I") << QByteArray("");
    QTest::newRow("single character") << QByteArray("Y") << QByteArray("");
    QTest::newRow("trailing single character") << QByteArray("YWJjZ") << QByteArray("abc");
    QTest::newRow("only padding") << QByteArray("====") << QByteArray("");
    QTest::newRow("extra padding") << QByteArray("YWJj====") << QByteArray("abc");
}

void TestStrings::base64Decode()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, data);
    QCOMPARE(b(base64_to_str(str(text))), data);
}

void TestStrings::base64RoundTrip()
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(255 - i);
    for (std::size_t n = 0; n <= all.size(); n += 37) {
        const std::string part = all.substr(0, n);
        QCOMPARE(base64_to_str(str_to_base64(part, true)), part);
        QCOMPARE(base64_to_str(str_to_base64(part, false)), part);
        QCOMPARE(b(str_to_base64(part, true)), b(part).toBase64());
    }
}

void TestStrings::md5Rfc1321_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("digest");

    QTest::newRow("empty") << QByteArray("") << QByteArray("d41d8cd98f00b204e9800998ecf8427e");
    QTest::newRow("a") << QByteArray("a") << QByteArray("0cc175b9c0f1b6a831c399e269772661");
    QTest::newRow("abc") << QByteArray("abc") << QByteArray("900150983cd24fb0d6963f7d28e17f72");
    QTest::newRow("message digest") << QByteArray("message digest") << QByteArray("f96b697d7cb7938d525a2f31aaf161d0");
    QTest::newRow("alphabet") << QByteArray("abcdefghijklmnopqrstuvwxyz") << QByteArray("c3fcd3d76192e4007dfb496cca67e13b");
    QTest::newRow("alphanumeric")
        << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")
        << QByteArray("d174ab98d277d9f5a5611c2c9f419d9f");
    QTest::newRow("eighty digits")
        << QByteArray("12345678901234567890123456789012345678901234567890123456789012345678901234567890")
        << QByteArray("57edf4a22be3c955ac49da2e2107b67a");
}

void TestStrings::md5Rfc1321()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, digest);

    QCOMPARE(b(hash_password(str(input), "")), digest);
    QCOMPARE(b(hash_password("", str(input))), digest);

    // The same digest whatever the pieces the bytes arrive in.
    for (const unsigned long piece : {1ul, 7ul, 64ul}) {
        md5_context ctx;
        md5_starts(&ctx);
        const auto *bytes = reinterpret_cast<const unsigned char *>(input.constData());
        const auto size = static_cast<unsigned long>(input.size());
        for (unsigned long at = 0; at < size; at += piece)
            md5_update(&ctx, bytes + at, std::min(piece, size - at));
        unsigned char out[16];
        md5_finish(&ctx, out);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(out), 16).toHex(), digest);
    }
}

void TestStrings::md5InPieces()
{
    // Lengths around the block and padding boundaries against Qt's MD5.
    for (int n = 0; n < 200; ++n) {
        const QByteArray data(n, static_cast<char>('A' + n % 26));
        QCOMPARE(b(hash_password(str(data), "")), QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
        const int cut = n / 3;
        QCOMPARE(b(hash_password(str(data.mid(cut)), str(data.left(cut)))),
                 QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
    }
}

void TestStrings::hashPassword()
{
    QCOMPARE(hash_password("", ""), s("d41d8cd98f00b204e9800998ecf8427e"));
    QCOMPARE(hash_password("tavrik", "salt"), hash_password("salttavrik", ""));
    QVERIFY(hash_password("tavrik", "salt") != hash_password("salt", "tavrik"));
    QCOMPARE(hash_password("same", "same"), hash_password("same", "same"));
    QCOMPARE(hash_password("x", "y").size(), 32u);
}

QTEST_GUILESS_MAIN(TestStrings)
#include "tst_strings.moc"
