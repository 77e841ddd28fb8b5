#pragma once

#include "message/message.h"

#include <QRandomGenerator>

#include <string>

// Seeded random message trees for round-trip tests. With xmlSafe set, names
// are valid XML names and values printable text (the XML form cannot carry
// empty names or control characters); otherwise names may be empty and values
// may hold any byte.
class RandomTree
{
public:
    RandomTree(quint32 seed, bool xmlSafe)
        : m_rng(seed)
        , m_xmlSafe(xmlSafe)
    {
    }

    Message message()
    {
        Message m;
        m.set_name(name());
        fill(m, 0);
        return m;
    }

private:
    int below(int n) { return int(m_rng.bounded(quint32(n))); }

    std::string name()
    {
        // A small alphabet so that names repeat (repeated child names).
        static const char first[] = "abcAB_";
        static const char rest[] = "abcAB_-.09";
        if (!m_xmlSafe && below(8) == 0)
            return std::string();
        std::string s(1, first[below(sizeof first - 1)]);
        const int len = below(3);
        for (int i = 0; i < len; ++i)
            s += rest[below(sizeof rest - 1)];
        return s;
    }

    std::string text()
    {
        std::string s;
        const int len = below(12);
        for (int i = 0; i < len; ++i) {
            if (m_xmlSafe) {
                static const char *const pieces[] = {"a", "Z", " ", "\"", "'", "<", ">", "&", "=", "\\", "\xc3\xa9", "\xe2\x82\xac"};
                s += pieces[below(sizeof pieces / sizeof pieces[0])];
            } else {
                s += char(below(256));
            }
        }
        return s;
    }

    void fillParams(Params &p)
    {
        const int count = below(5);
        for (int i = 0; i < count; ++i) {
            const std::string key = name();
            variant v;
            switch (below(6)) {
            case 0:
                break;
            case 1:
                v.set_string(text());
                break;
            case 2:
                v.set_int(int(m_rng.generate()));
                break;
            case 3:
                v.set_uint(m_rng.generate());
                break;
            case 4:
                v.set_float(float(m_rng.generateDouble() * 2000.0 - 1000.0));
                break;
            case 5:
                v.set_bool(below(2) == 1);
                break;
            }
            p.set_variant(key, v);
        }
    }

    void fill(Message &m, int depth)
    {
        fillParams(m.params());
        const int count = depth < 4 ? below(4) : 0;
        for (int i = 0; i < count; ++i)
            fill(m.add_child(name()), depth + 1);
    }

    QRandomGenerator m_rng;
    bool m_xmlSafe;
};
