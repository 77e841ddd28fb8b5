// One reading of the unit for every part of the program: frames a hostile or
// odd unit sends, and what the console, the call log recorder and the
// attention code each make of them, which must be the same; and the
// diagnostic a refused frame leaves, which a flood cannot turn into a flood
// of lines.
#include "calllog/callrecorder.h"
#include "console/attentionevents.h"
#include "tests/support/consolerig.h"
#include "tests/support/logcapture.h"
#include "tests/support/wait.h"

#include <QtTest>

using namespace testsupport;

namespace {

// The diagnostics written so far.
QStringList refusals(const LogCapture& log)
{
    return log.lines(QtDebugMsg).filter(QStringLiteral(" refused: "));
}

Message lineStatus(const char* lineId)
{
    return Message(std::string("<line_status line_id='") + lineId + "' status='ringing'/>");
}

} // namespace

class TestUnit : public QObject
{
    Q_OBJECT

private slots:
    // frames: sent by the unit, '|' between them. rings: the lines the
    // console shows ringing. calls: the recorder's open calls, with the
    // caller's name as the recorder keeps it and the console shows it.
    // asked: what the attention code takes as news (r: starts ringing,
    // p: put on priority). diagnostic: what the refusal log says.
    void hostileFrames_data()
    {
        for (const char* column : {"frames", "rings", "calls", "asked", "diagnostic"})
            QTest::addColumn<QString>(column);
        const auto row
            = [](const char* name, const char* frames, const char* rings, const char* calls, const char* asked,
                 const char* diagnostic) { QTest::newRow(name) << frames << rings << calls << asked << diagnostic; };
        const char* beyond = "is beyond the unit's lines";
        // clang-format off
        row("line_id absent: line 1", "<line_status status='ringing'/>", "0", "0", "r0", "");
        row("line_id abc", "<line_status line_id='abc' status='ringing'/>", "", "", "", "line_status refused: line_id \"abc\" names no line");
        row("line_id -1", "<line_status line_id='-1' status='ringing'/>", "", "", "", "\"-1\" names no line");
        row("line_id 12", "<line_status line_id='12' status='ringing'/>", "", "", "", beyond);
        row("line_id 4294967295", "<line_status line_id='4294967295' status='ringing'/>", "", "", "", beyond);
        row("line_id past 32 bits", "<line_status line_id='99999999999' status='ringing'/>", "", "", "", "names no line");
        row("line_id with blanks, a plus and zeros", "<line_status line_id=' 3 ' status='ringing'/>|<line_status line_id='+4' status='ringing'/>|<line_status line_id='0005' status='ringing'/>", "3 4 5", "3, 4, 5", "r3 r4 r5", "");
        row("unknown status word", "<line_status line_id='2' status='conference'/>", "", "", "", "");
        row("fields missing", "<line_status line_id='2'/>|<line_status/>", "", "", "", "");
        row("fields of the wrong type", "<line_status line_id='2' status='ringing' priority='yes' time='x' ring_num='-'/>", "2", "2", "r2", "");
        row("priority", "<line_status line_id='2' status='ringing' priority='true'/>", "2", "2", "r2 p2", "");
        row("caller, line_id absent", "<line_status line_id='0' status='on hold'/>|<ancillary_data name='Ann'/>", "", "0 Ann", "", "");
        row("caller, line_id abc", "<line_status line_id='0' status='on hold'/>|<ancillary_data line_id='abc' name='Eve'/>", "", "0", "", "ancillary_data refused: line_id \"abc\" names no line");
        row("caller, line_id 12", "<line_status line_id='11' status='on hold'/>|<ancillary_data line_id='12' name='Eve'/>", "", "11", "", beyond);
        row("num_lines 0", "<system_status num_lines='0'/>|<line_status line_id='0' status='ringing'/>", "", "", "", beyond);
        row("num_lines 7", "<system_status num_lines='7'/>|<line_status line_id='6' status='ringing'/>|<line_status line_id='7' status='ringing'/>", "6", "6", "r6", "\"7\" is beyond");
        row("num_lines 13: twelve", "<system_status num_lines='13'/>|<line_status line_id='11' status='ringing'/>|<line_status line_id='12' status='ringing'/>", "11", "11", "r11", "\"12\" is beyond");
        row("num_lines 7 ends the call on line 8", "<line_status line_id='7' status='ringing'/>|<system_status num_lines='7'/>", "7", "", "r7", "");
        // clang-format on
    }

    void hostileFrames()
    {
        QFETCH(QString, frames);
        QFETCH(QString, rings);
        QFETCH(QString, calls);
        QFETCH(QString, asked);
        QFETCH(QString, diagnostic);

        ConsoleRig rig(false);
        QVERIFY(rig.start());
        CallRecorder recorder(QStringLiteral("unit"), {}, {});
        recorder.attach(&rig.session);
        AttentionEvents events(rig.session);
        QStringList news;
        connect(&events, &AttentionEvents::lineReported, this, [&](const LineNews& n) {
            if (n.startsRinging)
                news << QStringLiteral("r%1").arg(n.line);
            if (n.putOnPriority)
                news << QStringLiteral("p%1").arg(n.line);
        });
        LogCapture log;
        for (const QString& frame : frames.split(QLatin1Char('|')))
            rig.sim.sendRaw(frame.toUtf8() + '\0');
        QVERIFY(rig.sync());

        QStringList ringing;
        for (unsigned i = 0; i < Lines::MaxLines; ++i)
            if (rig.lines->line(i)->state().status == QLatin1String("ringing"))
                ringing << QString::number(i);
        QCOMPARE(ringing.join(QLatin1Char(' ')), rings);
        QStringList open;
        for (const CallRecord& r : recorder.openCalls()) {
            const LineAttributes& shown = rig.lines->line(unsigned(r.line))->attributes();
            QCOMPARE(shown.name, r.name);
            open << (QString::number(r.line) + QLatin1Char(' ') + r.name).trimmed();
        }
        QCOMPARE(open.join(QStringLiteral(", ")), calls);
        QCOMPARE(news.join(QLatin1Char(' ')), asked);
        const QStringList written = refusals(log);
        QCOMPARE(written.isEmpty(), diagnostic.isEmpty());
        for (const QString& line : written)
            QVERIFY2(line.contains(diagnostic) && line.startsWith(QLatin1String("[127.0.0.1] ")), qPrintable(line));
    }

    // A flood of refused frames writes a handful of lines a second; the
    // first line after a quiet second tells how many were left out.
    void refusalsRateLimited()
    {
        UnitState state;
        state.setPeer(QStringLiteral("unit"));
        LogCapture log;
        const Message bad = lineStatus("abc");
        QElapsedTimer clock;
        clock.start();
        int fed = 0;
        for (; fed < 20000; ++fed)
            QVERIFY(!state.takeLineStatus(bad));
        const QStringList burst = refusals(log);
        QCOMPARE(burst.first(), QStringLiteral("[unit] line_status refused: line_id \"abc\" names no line"));
        QVERIFY2(burst.size() <= RefusalLog::Burst * (1 + clock.elapsed() / RefusalLog::WindowMs),
                 qPrintable(QString::number(burst.size())));
        QVERIFY(state.takeLineStatus(lineStatus("3")));
        QVERIFY(waitFor([&] {
            ++fed;
            return !state.takeLineStatus(bad) && refusals(log).last().endsWith(QLatin1String("not shown)"));
        }));
        const int written = refusals(log).size();
        QCOMPARE(refusals(log).last(),
                 QStringLiteral("[unit] line_status refused: line_id \"abc\" names no line "
                                "(%1 more refused, not shown)")
                     .arg(fed - written));
    }
};

QTEST_MAIN(TestUnit)
#include "tst_unit.moc"
