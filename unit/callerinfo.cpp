#include "unit/callerinfo.h"

#include "message/message.h"
#include "unit/linestatus.h"

namespace {

template <std::size_t N> QString choiceText(const QString& text, uint32_t index, const CallerChoice (&table)[N])
{
    if (!text.isEmpty() || index >= N)
        return text;
    return QLatin1String(table[index].sent);
}

void writeTexts(Params& p, const CallerInfo& info)
{
    p.set_qstring("name", info.name);
    p.set_qstring("location", info.location);
    p.set_qstring("topic", info.topic);
    p.set_qstring("notes", info.notes);
    p.set_qstring("gender", info.gender);
    p.set_qstring("mood", info.mood);
}

} // namespace

QString CallerInfo::genderText() const
{
    return choiceText(gender, genderidx, kGenderChoices);
}

QString CallerInfo::moodText() const
{
    return choiceText(mood, moodidx, kMoodChoices);
}

bool CallerInfo::isBlank() const
{
    return name.isEmpty() && location.isEmpty() && topic.isEmpty() && notes.isEmpty() && genderidx == 0 && moodidx == 0;
}

bool CallerInfo::operator==(const CallerInfo& o) const
{
    return name == o.name && location == o.location && topic == o.topic && notes == o.notes && genderidx == o.genderidx
        && gender == o.gender && moodidx == o.moodidx && mood == o.mood;
}

Refusal CallerInfo::read(const Message& msg, unsigned lineCount, unsigned& line, CallerInfo& out, bool& local)
{
    const Params& p = msg.params();
    const Refusal refusal = LineStatus::readLine(p, lineCount, line);
    if (refusal != Refusal::None)
        return refusal;
    QString* texts[] = {&out.name, &out.location, &out.topic, &out.notes, &out.gender, &out.mood};
    const char* const textNames[] = {"name", "location", "topic", "notes", "gender", "mood"};
    const uint8_t textFields[] = {Name, Location, Topic, Notes, Gender, Mood};
    out.fields = 0;
    for (int i = 0; i < 6; ++i) {
        const variant* v = p.get_variant(textNames[i]);
        *texts[i] = v ? QString::fromStdString(v->get_string()) : QString();
        if (v)
            out.fields |= textFields[i];
    }
    out.genderidx = p.get_uint("genderidx", 0);
    out.moodidx = p.get_uint("moodidx", 0);
    out.fields |= (p.has_param("genderidx") ? GenderIndex : 0) | (p.has_param("moodidx") ? MoodIndex : 0);
    local = p.get_bool("local", false);
    return Refusal::None;
}

void CallerInfo::write(Message& msg, unsigned line) const
{
    msg.set_name("ancillary_data");
    Params& p = msg.params();
    writeTexts(p, *this);
    p.set_uint("genderidx", genderidx);
    p.set_uint("moodidx", moodidx);
    p.set_uint("line_id", line);
}

void CallerInfo::writeReport(Message& msg, unsigned line, bool local) const
{
    write(msg, line);
    msg.params().set_bool("local", local);
}

Message CallerInfo::cleared(unsigned line)
{
    Message msg;
    msg.set_name("ancillary_data");
    writeTexts(msg.params(), CallerInfo());
    msg.params().set_uint("line_id", line);
    return msg;
}
