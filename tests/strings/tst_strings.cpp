// The parameter text form, the free string helpers, hexadecimal and Base64
// conversion, and MD5 with the password hash.

#include "message/md5.h"
#include "message/params.h"
#include "message/strings.h"

#include <QtTest>

namespace {

std::string str(const QByteArray &bytes)
{
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QByteArray b(const std::string &text)
{
    return QByteArray::fromStdString(text);
}

// Every entry as "name|value"; the text form reads back strings only.
QByteArrayList entries(const Params &p)
{
    QByteArrayList out;
    for (const auto &e : p.entries())
        out << b(e.first + (e.second.get_type() == variant::TYPE_STRING ? "|" : "|typed:") + e.second.get_string());
    return out;
}

} // namespace

class TestStrings : public QObject
{
    Q_OBJECT

private slots:
    void writeValue_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("written");

        QTest::newRow("plain") << QByteArray("abc") << QByteArray("abc");
        QTest::newRow("empty") << QByteArray("") << QByteArray("");
        QTest::newRow("equals stays bare") << QByteArray("b=c") << QByteArray("b=c");
        QTest::newRow("lone backslash stays bare") << QByteArray("x\\y") << QByteArray("x\\y");
        QTest::newRow("blank") << QByteArray("x y") << QByteArray("\"x y\"");
        QTest::newRow("quote") << QByteArray("say \"hi\"") << QByteArray("\"say \\\"hi\\\"\"");
        QTest::newRow("backslash when quoted") << QByteArray("x\\ y\\") << QByteArray("\"x\\\\ y\\\\\"");
    }

    void writeValue()
    {
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, written);

        Params p;
        QCOMPARE(b(p.quote_value(str(value))), written);
        p.set_string("k", str(value));
        QCOMPARE(b(p.build_string()), "k=" + written + " ");
        QCOMPARE(Params(p.build_string()), p);
    }

    void writeMixedSet()
    {
        Params p;
        p.set_int("b", 1);
        p.set_string("a", "x y");
        p.set_float("B", 1.5f);
        p.set_bool("c", true);
        QCOMPARE(p.build_string(), std::string("B=1.500000 a=\"x y\" b=1 c=true "));
        QCOMPARE(entries(Params(p.build_string())), (QByteArrayList{"B|1.500000", "a|x y", "b|1", "c|true"}));
        QCOMPARE(Params().build_string(), std::string());
    }

    void readText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArrayList>("expected");

        QTest::newRow("name without value") << QByteArray("flag a=1") << QByteArrayList{"a|1", "flag|"};
        QTest::newRow("two blanks: empty name") << QByteArray("a=1  b=2") << QByteArrayList{"|", "a|1", "b|2"};
        QTest::newRow("empty text") << QByteArray("") << QByteArrayList{"|"};
        QTest::newRow("unterminated quote") << QByteArray("a=\"x y") << QByteArrayList{"a|x y"};
        QTest::newRow("unterminated after backslash") << QByteArray("a=\"x\\") << QByteArrayList{"a|x"};
        QTest::newRow("backslash escapes anything") << QByteArray("a=\"\\x\\\\\\\"\" b=2") << QByteArrayList{"a|x\\\"", "b|2"};
        QTest::newRow("closing quote skips one char") << QByteArray("a=\"x\"b=1") << QByteArrayList{"|1", "a|x"};
        QTest::newRow("equals inside value") << QByteArray("a=b=c") << QByteArrayList{"a|b=c"};
        QTest::newRow("quote inside bare value") << QByteArray("a=x\"y z") << QByteArrayList{"a|x\"y", "z|"};
        QTest::newRow("trailing equals") << QByteArray("a=") << QByteArrayList{"a|"};
        QTest::newRow("later name wins") << QByteArray("a=1 a=2 ") << QByteArrayList{"a|2"};
        QTest::newRow("tab is part of value") << QByteArray("a=x\ty") << QByteArrayList{"a|x\ty"};
    }

    void readText()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArrayList, expected);

        QCOMPARE(entries(Params(str(text))), expected);
        // Entries of other names stay, with their types.
        Params p;
        p.set_int("zz", 5);
        p.parse_string(str(text));
        QCOMPARE(entries(p), expected + QByteArrayList{"zz|typed:5"});
    }

    void unquoteValue_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("pos");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("after");

        QTest::newRow("bare to blank") << QByteArray("ab cd") << 0 << QByteArray("ab") << 3;
        QTest::newRow("quoted") << QByteArray("\"a b\" c") << 0 << QByteArray("a b") << 6;
        QTest::newRow("unterminated") << QByteArray("\"ab") << 0 << QByteArray("ab") << 3;
        QTest::newRow("past end") << QByteArray("ab") << 10 << QByteArray("") << 2;
        QTest::newRow("negative") << QByteArray("ab") << -3 << QByteArray("") << 2;
    }

    void unquoteValue()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, pos);
        QFETCH(QByteArray, value);
        QFETCH(int, after);

        QCOMPARE(b(Params().unquote_value(str(text), pos)), value);
        QCOMPARE(pos, after);
    }

    void textFormSurvivesAnyValue()
    {
        // Every text of up to five of the bytes that matter to the form: as a
        // value it reads back intact; as hostile input it parses within bounds.
        std::vector<std::string> texts{std::string()};
        for (std::size_t i = 0; i < texts.size(); ++i)
            if (texts[i].size() < 5)
                for (const char c : {' ', '"', '\\', '=', 'a'})
                    texts.push_back(texts[i] + c);
        for (const std::string &text : texts) {
            Params p;
            p.set_string("k", text);
            p.set_string("z", "end");
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

        auto row = [](const char *name, const char *f, const QByteArray &in, const QByteArray &arg, const QByteArray &out) {
            QTest::newRow(name) << QByteArray(f) << in << arg << out;
        };
        // split: the tokens, each in brackets; join: the parts come '|'-separated.
        row("split leading, doubled, trailing", "split", ",a,,b,", ",", "[][a][b]");
        row("split empty", "split", "", " ", "");
        row("split two leading blanks", "split", "  a", " ", "[][a]");
        row("split several delimiters", "split", "a, b;c", ", ;", "[a][b][c]");
        row("join three", "join", "a|b|c", " - ", "a - b - c");
        row("join empty parts", "join", "|", ",", ",");
        row("replace at both ends", "replace", "&a&", "&>&amp;", "&amp;a&amp;");
        row("replace resumes after copy", "replace", "aaa", "a>aa", "aaaaaa");
        row("replace empty pattern", "replace", "abc", ">x", "abc");
        row("html quote", "html", "\"", "", "&quot;");
        row("html apostrophe", "html", "it's", "", "it's");
        row("html tag", "html", "<a>&</a>", "", "&lt;a&gt;&amp;&lt;/a&gt;");
        row("sed all four", "sed", "\\&'/", "", "\\\\\\&\\'\\/");
        row("sed escaped slash", "sed", "a\\/b", "", "a\\\\\\/b");
        row("escape each", "escape", "//", "/", "\\/\\/");
        row("escape already at 1", "escape", "\\/", "/", "\\/");
        row("escape after doubled", "escape", "a\\\\/", "/", "a\\\\\\/");
        row("trim both", "trim", " \t a b \t", "lr", "a b");
        row("trim left", "trim", " \t a b \t", "l", "a b \t");
        row("trim all blank", "trim", " \t ", "lr", "");
        row("trim keeps newline", "trim", "\n a\r", "lr", "\n a\r");
        row("lower", "lc", "AbZ9\xc4", "", "abz9\xc4");
        row("upper", "uc", "AbZ9\xe4", "", "ABZ9\xe4");
        row("hex", "hex", QByteArray("\x00\xab\xff", 3), "", "00abff");
        row("unhex hyphen skipped", "unhex", "0A-bC", "", "\x0a\xbc");
        row("unhex unpaired dropped", "unhex", "abc", "", "\xab");
        row("unhex blanks inside pair", "unhex", "a b c d", "", "\xab\xcd");
        row("unhex x skipped", "unhex", "0x10", "", "\x01");
        // RFC 4648 vectors, padded and not; both forms must decode back.
        const char *vectors[][3] = {{"", "", ""}, {"f", "Zg==", "Zg"}, {"fo", "Zm8=", "Zm8"}, {"foo", "Zm9v", "Zm9v"},
            {"foob", "Zm9vYg==", "Zm9vYg"}, {"fooba", "Zm9vYmE=", "Zm9vYmE"}, {"foobar", "Zm9vYmFy", "Zm9vYmFy"},
            {"\xfb\xff", "+/8=", "+/8"}};
        for (const auto &v : vectors) {
            row(QByteArray("base64 padded " + QByteArray(v[0]).toHex()).constData(), "base64", v[0], "pad", v[1]);
            row(QByteArray("base64 bare " + QByteArray(v[0]).toHex()).constData(), "base64", v[0], "", v[2]);
        }
        row("unbase64 blank inside", "unbase64", "YW I=", "", "");
        row("unbase64 line break", "unbase64", "YWI=\n", "", "");
        row("unbase64 equals inside", "unbase64", "Y=WI", "", "");
        row("unbase64 single char", "unbase64", "Y", "", "");
        row("unbase64 trailing single", "unbase64", "YWJjZ", "", "abc");
        row("unbase64 extra padding", "unbase64", "YWJj====", "", "abc");
        // RFC 1321 vectors, through the password hash with an empty prefix.
        row("md5 empty", "md5", "", "", "d41d8cd98f00b204e9800998ecf8427e");
        row("md5 a", "md5", "a", "", "0cc175b9c0f1b6a831c399e269772661");
        row("md5 abc", "md5", "abc", "", "900150983cd24fb0d6963f7d28e17f72");
        row("md5 message digest", "md5", "message digest", "", "f96b697d7cb7938d525a2f31aaf161d0");
        row("md5 alphabet", "md5", "abcdefghijklmnopqrstuvwxyz", "", "c3fcd3d76192e4007dfb496cca67e13b");
        row("md5 alphanumeric", "md5", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "",
            "d174ab98d277d9f5a5611c2c9f419d9f");
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

        std::string s = str(in);
        QByteArray result;
        if (function == "split") {
            for (const std::string &token : split(s, str(arg)))
                result += "[" + b(token) + "]";
        } else if (function == "join") {
            std::vector<std::string> parts;
            for (const QByteArray &part : in.split('|'))
                parts.push_back(str(part));
            result = b(join(parts, str(arg)));
        } else if (function == "replace") {
            const int cut = arg.indexOf('>');
            replace(s, str(arg.left(cut)), str(arg.mid(cut + 1)));
            result = b(s);
        } else if (function == "html") {
            result = b(html_escape(s));
        } else if (function == "sed") {
            result = b(sed_escape(s));
        } else if (function == "escape") {
            backslash_escape(s, str(arg));
            result = b(s);
        } else if (function == "trim") {
            result = b(str_trim(s, arg.contains('l'), arg.contains('r')));
        } else if (function == "lc" || function == "uc") {
            result = b(function == "lc" ? str_lc(s) : str_uc(s));
        } else if (function == "hex" || function == "unhex") {
            result = b(function == "hex" ? str_to_hex(s) : hex_to_str(s));
        } else if (function == "base64") {
            result = b(str_to_base64(s, arg == "pad"));
            QCOMPARE(b(base64_to_str(str(result))), in);
        } else if (function == "unbase64") {
            result = b(base64_to_str(s));
        } else if (function == "md5" && arg.isEmpty()) {
            // The bytes fed in pieces of every size up to a block and a half
            // land in the same digest.
            for (unsigned long piece = 1; piece <= 96; ++piece) {
                md5_context ctx;
                md5_starts(&ctx);
                for (unsigned long at = 0; at < s.size(); at += piece)
                    md5_update(&ctx, reinterpret_cast<const unsigned char *>(s.data()) + at, std::min(piece, s.size() - at));
                unsigned char digest[16];
                md5_finish(&ctx, digest);
                QCOMPARE(QByteArray(reinterpret_cast<const char *>(digest), 16).toHex(), out);
            }
            result = b(hash_password(s, ""));
        } else if (function == "md5") {
            result = b(hash_password(s, str(arg)));
        }
        QCOMPARE(result, out);
    }
};

QTEST_GUILESS_MAIN(TestStrings)
#include "tst_strings.moc"
