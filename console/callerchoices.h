#pragma once

#include <cstddef>

// The caller's gender and mood as the console offers them. A row's index is
// the number on the wire ("genderidx", "moodidx"; the mood's index is also its
// emoticon), `shown` is the editor's entry and `sent` the text on the wire
// ("gender", "mood"), which also names the mood's emoticon image.
struct CallerChoice
{
    const char* shown;
    const char* sent;
};

inline constexpr CallerChoice kGenderChoices[] = {
    {"Unknown", "unknown"},
    {"Male", "male"},
    {"Female", "female"},
};

inline constexpr CallerChoice kMoodChoices[] = {
    {"Neutral", "neutral"}, {"Happy", "happy"}, {"Sad", "sad"},         {"Crying", "crying"},
    {"Angry", "angry"},     {"Rude", "rude"},   {"Shocked", "shocked"}, {"Embarassed", "embarassed"},
    {"Eyeroll", "eyeroll"}, {"Crazy", "crazy"},
};

inline constexpr std::size_t kMoodCount = sizeof(kMoodChoices) / sizeof(kMoodChoices[0]);
