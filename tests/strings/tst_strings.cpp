// The parameter text form, the free string helpers, hexadecimal and Base64
// conversion, and MD5 with the password hash.

#include "message/md5.h"
#include "message/params.h"
#include "message/strings.h"

#include <QtTest>

namespace {

QByteArray b(const std::string& text)
{
    return QByteArray::fromStdString(text);
}

// Every entry as "name|value", comma-separated; the text form reads back strings only.
QByteArray entries(const Params& p)
{
    QByteArrayList out;
    for (const auto& e : p.entries())
        out << b(e.first + (e.second.get_type() == variant::TYPE_STRING ? "|" : "|typed:") + e.second.get_string());
    return out.join(',');
}

std::string md5Hex(const std::string& s, unsigned long piece)
{
    md5_context ctx;
    md5_starts(&ctx);
    for (unsigned long at = 0; at < s.size(); at += piece)
        md5_update(&ctx, reinterpret_cast<const unsigned char*>(s.data()) + at, std::min(piece, s.size() - at));
    unsigned char digest[16];
    md5_finish(&ctx, digest);
    return QByteArray(reinterpret_cast<const char*>(digest), 16).toHex().toStdString();
}

} // namespace

class TestStrings : public QObject
{
    Q_OBJECT

private slots:
    void writeAndReadBack()
    {
        Params p;
        p.set_int("b", 1);
        p.set_string("a", "x y");
        p.set_float("B", 1.5f);
        p.set_bool("c", true);
        QCOMPARE(p.build_string(), std::string("B=1.500000 a=\"x y\" b=1 c=true "));
        QCOMPARE(entries(Params(p.build_string())), QByteArray("B|1.500000,a|x y,b|1,c|true"));
        QCOMPARE(Params().build_string(), std::string());

        // Every text of up to five of the bytes that matter to the form: as a
        // value it reads back intact; as hostile input it parses within bounds.
        std::vector<std::string> texts{std::string()};
        for (std::size_t i = 0; i < texts.size(); ++i)
            for (const char c : {' ', '"', '\\', '=', 'a'})
                if (texts[i].size() < 5)
                    texts.push_back(texts[i] + c);
        for (const std::string& text : texts) {
            p.set_string("k", text);
            QVERIFY2(Params(p.build_string()) == p, text.c_str());
            QVERIFY(Params(text).num_params() >= 1);
        }
    }

    void functions_data()
    {
        QTest::addColumn<QByteArray>("function");
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("arg");
        QTest::addColumn<QByteArray>("out");

        auto row = [](const char* name, const char* f, const QByteArray& in, const QByteArray& arg,
                      const QByteArray& out) { QTest::newRow(name) << QByteArray(f) << in << arg << out; };
        // The text form of a parameter set: "quote" writes the value as key k,
        // "read" lists what a text reads as, "unquote" reads a value from a
        // position and tells the position after it.
        row("quote empty", "quote", "", "", "k= ");
        row("quote equals stays bare", "quote", "b=c", "", "k=b=c ");
        row("quote blank", "quote", "x y", "", "k=\"x y\" ");
        row("quote quote", "quote", "say \"hi\"", "", "k=\"say \\\"hi\\\"\" ");
        row("quote backslash when quoted", "quote", "x\\ y\\", "", "k=\"x\\\\ y\\\\\" ");
        row("read name without value", "read", "flag a=1", "", "a|1,flag|");
        row("read two blanks: empty name", "read", "a=1  b=2", "", "|,a|1,b|2");
        row("read unterminated quote", "read", "a=\"x y", "", "a|x y");
        row("read backslash escapes anything", "read", "a=\"\\x\\\\\\\"\" b=2", "", "a|x\\\",b|2");
        row("read closing quote skips one char", "read", "a=\"x\"b=1", "", "|1,a|x");
        row("read equals inside value", "read", "a=b=c", "", "a|b=c");
        row("read quote inside bare value", "read", "a=x\"y z", "", "a|x\"y,z|");
        row("read later name wins", "read", "a=1 a=2 ", "", "a|2");
        row("read tab is part of value", "read", "a=x\ty", "", "a|x\ty");
        row("unquote bare to blank", "unquote", "ab cd", "0", "ab|3");
        row("unquote quoted", "unquote", "\"a b\" c", "0", "a b|6");
        row("unquote unterminated", "unquote", "\"ab", "0", "ab|3");
        row("unquote negative", "unquote", "ab", "-3", "|2");
        // split: the tokens, each in brackets; join: the parts come '|'-separated.
        row("split leading, doubled, trailing", "split", ",a,,b,", ",", "[][a][b]");
        row("split several delimiters", "split", "a, b;c", ", ;", "[a][b][c]");
        row("join three", "join", "a|b|c", " - ", "a - b - c");
        row("replace at both ends", "replace", "&a&", "&>&amp;", "&amp;a&amp;");
        row("replace resumes after copy", "replace", "aaa", "a>aa", "aaaaaa");
        row("html", "html", "<a b=\"it's\">&</a>", "", "&lt;a b=&quot;it's&quot;&gt;&amp;&lt;/a&gt;");
        row("sed all four, escaped slash too", "sed", "\\&'/a\\/b", "", "\\\\\\&\\'\\/a\\\\\\/b");
        row("escape each", "escape", "//", "/", "\\/\\/");
        row("escape after doubled", "escape", "a\\\\/", "/", "a\\\\\\/");
        row("trim both", "trim", " \t a b \t", "lr", "a b");
        row("trim all blank", "trim", " \t ", "lr", "");
        row("trim keeps newline", "trim", "\n a\r", "lr", "\n a\r");
        row("hex", "hex", QByteArray("\x00\xab\xff", 3), "", "00abff");
        row("unhex hyphen skipped", "unhex", "0A-bC", "", "\x0a\xbc");
        row("unhex unpaired dropped", "unhex", "abc", "", "\xab");
        row("unhex blanks inside pair", "unhex", "a b c d", "", "\xab\xcd");
        // RFC 4648 vectors, padded and not; both forms must decode back.
        const char* vectors[][3] = {{"", "", ""},
                                    {"f", "Zg==", "Zg"},
                                    {"fo", "Zm8=", "Zm8"},
                                    {"foo", "Zm9v", "Zm9v"},
                                    {"foobar", "Zm9vYmFy", "Zm9vYmFy"},
                                    {"\xfb\xff", "+/8=", "+/8"}};
        for (const auto& v : vectors) {
            row(QByteArray("base64 padded " + QByteArray(v[0]).toHex()).constData(), "base64", v[0], "pad", v[1]);
            row(QByteArray("base64 bare " + QByteArray(v[0]).toHex()).constData(), "base64", v[0], "", v[2]);
        }
        row("unbase64 blank inside", "unbase64", "YW I=", "", "");
        row("unbase64 line break", "unbase64", "YWI=\n", "", "");
        row("unbase64 equals inside", "unbase64", "Y=WI", "", "");
        row("unbase64 trailing single", "unbase64", "YWJjZ", "", "abc");
        // RFC 1321 vectors, through the password hash with an empty prefix.
        row("md5 empty", "md5", "", "", "d41d8cd98f00b204e9800998ecf8427e");
        row("md5 abc", "md5", "abc", "", "900150983cd24fb0d6963f7d28e17f72");
        row("md5 eighty digits", "md5", QByteArray("1234567890").repeated(8), "", "57edf4a22be3c955ac49da2e2107b67a");
        row("md5 prefix comes first", "md5", "c", "ab", "900150983cd24fb0d6963f7d28e17f72");
        row("md5 password then prefix", "md5", "ab", "c", "16ecfd64586ec6c1ab212762c2c38a90");
    }

    void functions()
    {
        QFETCH(QByteArray, function);
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, arg);
        QFETCH(QByteArray, out);

        const std::string a = arg.toStdString();
        std::string r = in.toStdString();
        if (function == "split") {
            r.clear();
            for (const std::string& token : split(in.toStdString(), a))
                r += "[" + token + "]";
        } else if (function == "join") {
            std::vector<std::string> parts;
            for (const QByteArray& part : in.split('|'))
                parts.push_back(part.toStdString());
            r = join(parts, a);
        } else if (function == "read") {
            // Entries of other names stay, with their types.
            Params p;
            p.set_int("zz", 5);
            p.parse_string(r);
            QCOMPARE(entries(p), entries(Params(r)) + ",zz|typed:5");
            r = entries(Params(r)).toStdString();
        } else if (function == "unquote") {
            int pos = arg.toInt();
            r = Params().unquote_value(r, pos) + "|";
            r += std::to_string(pos);
        } else if (function == "replace") {
            replace(r, a.substr(0, a.find('>')), a.substr(a.find('>') + 1));
        } else if (function == "escape") {
            backslash_escape(r, a);
        } else {
            Params p;
            p.set_string("k", r);
            r = function == "quote"      ? p.build_string()
                : function == "html"     ? html_escape(r)
                : function == "sed"      ? sed_escape(r)
                : function == "trim"     ? str_trim(r, a.find('l') != a.npos, a.find('r') != a.npos)
                : function == "hex"      ? str_to_hex(r)
                : function == "unhex"    ? hex_to_str(r)
                : function == "base64"   ? str_to_base64(r, a == "pad")
                : function == "unbase64" ? base64_to_str(r)
                                         : hash_password(r, a);
        }
        QCOMPARE(b(r), out);
        if (function == "base64")
            QCOMPARE(b(base64_to_str(out.toStdString())), in);
        // The bytes fed in pieces of every size up to a block and a half land
        // in the same digest.
        for (unsigned long piece = 1; function == "md5" && arg.isEmpty() && piece <= 96; ++piece)
            QCOMPARE(b(md5Hex(in.toStdString(), piece)), out);
    }
};

QTEST_GUILESS_MAIN(TestStrings)
#include "tst_strings.moc"
