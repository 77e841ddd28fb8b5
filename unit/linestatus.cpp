#include "unit/linestatus.h"

#include "message/message.h"

#include <cstring>

namespace {

const char* const kWords[LineStatus::WordCount] = {
    "on hook (idle)",
    "disabled (loop thru)",
    "disabled (busied out)",
    "ringing",
    "on hold",
    "on screened hold",
    "remote (on hold)",
    "remote (on screened hold)",
    "on auto attendant",
    "remote (on auto attendant)",
    "on handset",
    "remote (on handset)",
    "on air",
    "remote (on air)",
    "remote (busied out)",
    "not installed",
};

// Names to look parameters up by, made once rather than for every frame.
const std::string kLineId("line_id");
const std::string kStatus("status");

LineStatus::Word wordOfBytes(const char* data, size_t size)
{
    for (unsigned i = 0; i < LineStatus::WordCount; ++i)
        if (strlen(kWords[i]) == size && memcmp(kWords[i], data, size) == 0)
            return LineStatus::Word(i);
    return LineStatus::Unknown;
}

} // namespace

const QString& LineStatus::textOf(Word w)
{
    static const QString texts[WordCount + 1] = {
        QStringLiteral("on hook (idle)"),
        QStringLiteral("disabled (loop thru)"),
        QStringLiteral("disabled (busied out)"),
        QStringLiteral("ringing"),
        QStringLiteral("on hold"),
        QStringLiteral("on screened hold"),
        QStringLiteral("remote (on hold)"),
        QStringLiteral("remote (on screened hold)"),
        QStringLiteral("on auto attendant"),
        QStringLiteral("remote (on auto attendant)"),
        QStringLiteral("on handset"),
        QStringLiteral("remote (on handset)"),
        QStringLiteral("on air"),
        QStringLiteral("remote (on air)"),
        QStringLiteral("remote (busied out)"),
        QStringLiteral("not installed"),
        QString(),
    };
    return texts[unsigned(w) < WordCount ? unsigned(w) : WordCount];
}

LineStatus::Word LineStatus::wordOf(const QString& text)
{
    for (unsigned i = 0; i < WordCount; ++i)
        if (text == textOf(Word(i)))
            return Word(i);
    return Unknown;
}

void LineStatus::setStatus(const QString& text)
{
    word = wordOf(text);
    status = word == Unknown ? text : textOf(word);
}

void LineStatus::setWord(Word w)
{
    word = w;
    status = textOf(w);
}

bool LineStatus::operator==(const LineStatus& o) const
{
    return word == o.word && status == o.status && locked == o.locked && override == o.override
        && priority == o.priority && ringNum == o.ringNum && time == o.time && utility == o.utility
        && location == o.location;
}

Refusal LineStatus::readLine(const Params& params, unsigned lineCount, unsigned& line)
{
    const variant* v = params.get_variant(kLineId);
    unsigned value = 0;
    if (v) {
        bool ok = false;
        if (v->get_type() == variant::TYPE_UINT) {
            value = v->get_uint();
            ok = true;
        } else if (v->get_type() == variant::TYPE_STRING && v->get_data_len() - 1 < 9) {
            // The usual "3": digits only, too short to overflow.
            const char* d = v->get_data();
            ok = true;
            for (unsigned i = 0; ok && i < v->get_data_len(); ++i) {
                ok = d[i] >= '0' && d[i] <= '9';
                value = value * 10 + unsigned(d[i] - '0');
            }
        }
        // Anything else is read as the console always has: blanks around
        // the number and a plus sign pass, signs, bases and garbage do not.
        if (!ok)
            value = QString::fromStdString(v->to_string()).toUInt(&ok);
        if (!ok)
            return Refusal::NotALine;
    }
    if (value >= lineCount)
        return Refusal::LineOutOfRange;
    line = value;
    return Refusal::None;
}

Refusal LineStatus::read(const Message& msg, unsigned lineCount, unsigned& line, LineStatus& out)
{
    const Params& p = msg.params();
    const Refusal refusal = readLine(p, lineCount, line);
    if (refusal != Refusal::None)
        return refusal;
    const variant* status = p.get_variant(kStatus);
    if (status && status->get_type() == variant::TYPE_STRING)
        out.word = wordOfBytes(status->get_data(), status->get_data_len());
    else
        out.word = Unknown;
    out.status = out.word == Unknown ? p.get_qstring("status", QString()) : textOf(out.word);
    out.locked = p.get_bool("locked", false);
    out.override = p.get_bool("override", false);
    out.priority = p.get_bool("priority", false);
    out.ringNum = p.get_uint("ring_num", 0);
    out.time = p.get_uint("time", 0);
    out.utility = p.get_bool("utility", false);
    out.location = p.get_int("location", 0);
    return Refusal::None;
}

void LineStatus::write(Message& msg, unsigned line) const
{
    msg.set_name("line_status");
    Params& p = msg.params();
    p.set_uint("line_id", line);
    p.set_qstring("status", status);
    p.set_bool("locked", locked);
    p.set_bool("override", override);
    p.set_bool("priority", priority);
    p.set_uint("ring_num", ringNum);
    p.set_uint("time", uint32_t(time));
    p.set_bool("utility", utility);
    p.set_int("location", location);
}
