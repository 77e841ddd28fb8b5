#pragma once

#include <QString>

// The one way the log compares caller texts: case and accents folded for
// all of Unicode, compatibility forms unified (the "ﬁ" ligature is "fi", a
// full-width "Ａ" is "a"), and every run of white space one plain space, so
// "  ÉMILE  Zoë" and "emile zoe" are the same text. The store keeps a folded
// copy of each call's texts and folds every search the same way; whatever
// else matches callers by name (history, a station log) uses this too.
class CallFold
{
public:
    static QString fold(const QString& text);
};
