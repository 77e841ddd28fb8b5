#include "message/message.h"
#include "randomtree.h"

#include <QtTest>

namespace {

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), int(s.size()));
}

QByteArray wire(const Message &m)
{
    std::string out;
    m.build_string(Message::ENC_XML, out, false);
    strip_xml_header(out);
    return bytes(out);
}

Message parsed(const QByteArray &xml)
{
    Message m;
    m.parse_string(xml.toStdString());
    return m;
}

// Depth of the first chain of children.
unsigned int depthOf(const Message &m)
{
    unsigned int depth = 1;
    const Message *node = &m;
    while (!node->children().empty()) {
        node = node->children().begin()->second.front().get();
        ++depth;
    }
    return depth;
}

QByteArray manyAttributes(int count)
{
    QByteArray tag = "<e";
    for (int i = 0; i < count; ++i)
        tag += " a" + QByteArray::number(i) + "='" + QByteArray::number(i % 7) + "'";
    return tag + "/>";
}

} // namespace

class TestXml : public QObject
{
    Q_OBJECT

private slots:
    void wireExample()
    {
        Message m;
        m.set_name("change_line_state");
        m.params().set_string("command", "hold");
        m.params().set_uint("line_id", 3);
        QCOMPARE(wire(m), QByteArray("<change_line_state command=\"hold\" line_id=\"3\"/>"));

        std::string full;
        m.build_string_xml(full, false);
        QVERIFY(bytes(full).startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    }

    void typesBecomeText()
    {
        Message m;
        m.set_name("m");
        m.params().set_int("i", 7);
        m.params().set_float("f", 0.5f);
        m.params().set_bool("b", true);
        m.params().set_string("s", "a\"<&>'\xc3\xa9");
        const QByteArray xml = wire(m);
        QCOMPARE(xml, QByteArray("<m b=\"true\" f=\"0.500000\" i=\"7\" s=\"a&quot;&lt;&amp;&gt;'\xc3\xa9\"/>"));

        const Message back = parsed(xml);
        for (const char *name : {"i", "f", "b", "s"})
            QCOMPARE(back.params().get_type(name), variant::TYPE_STRING);
        QCOMPARE(back.params().get_uint("i", 0), 7u);
        QCOMPARE(back.params().get_bool("b", false), true);
        QCOMPARE(back.params().get_float("f", 0), 0.5f);
        QVERIFY(back == m);
    }

    void textIsReadNotWritten()
    {
        Message m;
        m.set_name("n");
        m.set_text("character data");
        QCOMPARE(wire(m), QByteArray("<n/>"));
        QCOMPARE(bytes(parsed(wire(m)).text()), QByteArray());
    }

    void reading_data()
    {
        static const char nulInside[] = "<r a=\"1\"><c/>\0<d/></r>";
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QByteArray>("expected"); // wire form of what was read, then |text

        QTest::newRow("last text run wins") << QByteArray("<r>first<c/>last</r>") << QByteArray("<r><c/></r>|last");
        QTest::newRow("same-name children in order") << QByteArray("<r><c n=\"1\"/><c n=\"2\"/></r>") << QByteArray("<r><c n=\"1\"/><c n=\"2\"/></r>|");
        QTest::newRow("children regrouped by name") << QByteArray("<r><b/><a/></r>") << QByteArray("<r><a/><b/></r>|");
        QTest::newRow("comment and PI skipped") << QByteArray("<!--c--><r><?pi x?><c/></r>") << QByteArray("<r><c/></r>|");
        QTest::newRow("declaration accepted") << QByteArray("<?xml version=\"1.0\"?><r a=\"1\"/>") << QByteArray("<r a=\"1\"/>|");
        QTest::newRow("entities resolved") << QByteArray("<r a=\"&lt;&amp;&#65;\"/>") << QByteArray("<r a=\"&lt;&amp;A\"/>|");
        QTest::newRow("duplicate attribute is malformed") << QByteArray("<r a=\"1\" a=\"2\"/>") << QByteArray("<r a=\"1\" a=\"2\"/>").left(0);
        QTest::newRow("only the first element") << QByteArray("<r/><s/>") << QByteArray("<r/>|");
        QTest::newRow("trailing garbage ignored") << QByteArray("<r/>\x01\x02<<<") << QByteArray("<r/>|");
        QTest::newRow("cut inside root") << QByteArray("<r a=\"1\"><c x=\"2\"/><d") << QByteArray("<r a=\"1\"><c x=\"2\"/></r>|");
        QTest::newRow("cut inside attribute") << QByteArray("<r a=\"1") << QByteArray();
        QTest::newRow("mismatched end tag") << QByteArray("<r><c></r>") << QByteArray("<r><c/></r>|");
        QTest::newRow("NUL inside") << QByteArray::fromRawData(nulInside, sizeof nulInside - 1) << QByteArray("<r a=\"1\"><c/></r>|");
        QTest::newRow("not XML") << QByteArray("<<>>") << QByteArray();
        QTest::newRow("element prefix dropped") << QByteArray("<p:r q:a=\"1\"/>") << QByteArray("<r q:a=\"1\"/>|");
        QTest::newRow("CDATA is text") << QByteArray("<r><![CDATA[<x>]]></r>") << QByteArray("<r/>|<x>");
    }

    void reading()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QByteArray, expected);

        const Message m = parsed(xml);
        if (expected.isEmpty()) {
            // Nothing usable: the message stays as parse_string left it (cleared).
            QCOMPARE(bytes(m.get_name()), QByteArray());
            return;
        }
        QCOMPARE(wire(m) + "|" + bytes(m.text()), expected);
    }

    void nestingBound()
    {
        QByteArray ok;
        for (unsigned int i = 0; i < Message::MAX_DEPTH; ++i)
            ok += "<n>";
        for (unsigned int i = 0; i < Message::MAX_DEPTH; ++i)
            ok += "</n>";
        const Message atLimit = parsed(ok);
        QCOMPARE(depthOf(atLimit), Message::MAX_DEPTH);
        QCOMPARE(wire(atLimit), ok.replace("<n></n>", "<n/>"));

        // A frame of the largest size made of nothing but start tags: decoding
        // stops at the bound, keeps what it read, throws nothing.
        QByteArray deep;
        deep.reserve(786432);
        while (deep.size() < 786431 - 20)
            deep += "<a x=\"1\">";
        const Message m = parsed(deep);
        QCOMPARE(bytes(m.get_name()), QByteArray("a"));
        QCOMPARE(depthOf(m), Message::MAX_DEPTH);
        QCOMPARE(m.params().get_int("x", 0), 1);

        // Same through parse_xml on a reader of its own.
        QXmlStreamReader reader(deep);
        Message direct;
        direct.parse_xml(&reader);
        QCOMPARE(depthOf(direct), Message::MAX_DEPTH);
    }

    void hostileFrames_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("children"); // <e> children read; -1: nothing read, -2: the root alone

        QTest::newRow("1024 attributes accepted") << "<r>" + manyAttributes(1024) + "</r>" << 1;
        QTest::newRow("1025 attributes refused") << "<r>" + manyAttributes(1025) + "<e/></r>" << 0;
        QTest::newRow("refused after text") << "<r><e/>text" + manyAttributes(1025) + "<e/></r>" << 1;
        QTest::newRow("root with 50000 attributes") << manyAttributes(50000) << -1;
        QTest::newRow("'=' in quoted values not counted") << "<r><e a='" + QByteArray(5000, '=') + "'/></r>" << 1;
        QTest::newRow("comment opened by <!--> hides nothing") << "<r><!--> <y q=' -->" + manyAttributes(1025) + "'></r>" << -2;
        QTest::newRow("'=' in comments not counted") << "<r><!--" + QByteArray(5000, '=') + "--><e/></r>" << 1;
        QByteArray many = "<r>";
        for (int i = 0; i < 10; ++i)
            many += manyAttributes(1024);
        QTest::newRow("attribute pairs bounded per frame") << many + "</r>" << 3;
        QTest::newRow("4,096 attributes per frame")
            << "<r>" + manyAttributes(32).repeated(128) + manyAttributes(1) + "</r>" << 128;
        QTest::newRow("DOCTYPE refused") << QByteArray("<!DOCTYPE r [<!ENTITY e \"xx\">]><r a=\"&e;\"/>") << -1;
        QTest::newRow("DOCTYPE inside refused") << QByteArray("<r><e/><!DOCTYPE x><e/></r>") << 1;
        QByteArray flat = "<r>";
        while (flat.size() < 786431 - 10)
            flat += "x<e/>";
        QTest::newRow("largest frame of empty elements") << flat + "</r>" << 4095;
    }

    void hostileFrames()
    {
        QFETCH(QByteArray, xml);
        QFETCH(int, children);

        const Message m = parsed(xml);
        if (children == -1) {
            QCOMPARE(bytes(m.get_name()), QByteArray());
            return;
        }
        if (children == -2) {
            // Refused in front of the element: only the root was read.
            QCOMPARE(bytes(m.get_name()), QByteArray("r"));
            QCOMPARE(int(m.num_children("e")), 0);
            QVERIFY(!m.params().has_param());
            return;
        }
        QCOMPARE(bytes(m.get_name()), QByteArray("r"));
        QCOMPARE(int(m.num_children("e")), children);
    }

    void stripHeader_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("output");

        QTest::newRow("declaration") << QByteArray("<?xml version=\"1.0\"?><a/>") << QByteArray("<a/>");
        QTest::newRow("declaration and line break") << QByteArray("<?xml version=\"1.0\"?>\n<a/>\n") << QByteArray("<a/>\n");
        QTest::newRow("declaration only") << QByteArray("<?xml version=\"1.0\"?>") << QByteArray();
        QTest::newRow("blank before") << QByteArray(" <?xml?><a/>") << QByteArray(" <?xml?><a/>");
        QTest::newRow("no declaration") << QByteArray("<a/>") << QByteArray("<a/>");
        QTest::newRow("unterminated") << QByteArray("<?xml <a/>") << QByteArray("<?xml <a/>");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }

    void stripHeader()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, output);
        std::string s = input.toStdString();
        strip_xml_header(s);
        QCOMPARE(bytes(s), output);
    }

    void autoformat()
    {
        Message m;
        m.set_name("r");
        m.add_child("c").add_child("g");
        std::string out;
        m.build_string(Message::ENC_XML, out, true);
        QCOMPARE(bytes(out), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\n    <c>\n        <g/>\n    </c>\n</r>\n"));
        // The indentation reads back as each element's last text run.
        const Message back = parsed(bytes(out));
        QCOMPARE(bytes(back.text()), QByteArray("\n"));
        QCOMPARE(bytes(back.get_child("c", 0).text()), QByteArray("\n    "));
        QCOMPARE(wire(back), wire(m));
    }

    void randomRoundTrip()
    {
        for (quint32 seed = 1; seed <= 3000; ++seed) {
            RandomTree gen(seed, true);
            const Message m = gen.message();
            std::string out;
            m.build_string(Message::ENC_XML, out, false);
            const Message back(out);
            // Types are lost, values compare by their text forms.
            if (back != m)
                QFAIL(qPrintable(QStringLiteral("seed %1 does not survive the XML form: %2").arg(seed).arg(QString::fromStdString(out))));
            for (const auto &entry : back.params().entries())
                QCOMPARE(entry.second.get_type(), variant::TYPE_STRING);
        }
    }
};

QTEST_GUILESS_MAIN(TestXml)
#include "tst_xml.moc"
