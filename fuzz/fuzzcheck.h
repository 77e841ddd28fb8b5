#pragma once

// Shared by the fuzz targets. A broken property is a finding like a crash:
// print what broke and abort, so libFuzzer saves the input and the replay
// test fails with the file's name on record.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond);                           \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

#include "message/message.h"

#include <string>

// Two trees are the same message when they compare equal, or when their
// compact forms are the same bytes: a float parameter holding NaN never
// compares equal to itself, yet travels unchanged.
inline bool sameMessage(const Message& a, const Message& b)
{
    if (a == b)
        return true;
    try {
        std::string x;
        std::string y;
        a.build_string_compact(x);
        b.build_string_compact(y);
        return x == y;
    } catch (...) {
        return false;
    }
}

// Only the XML form carries character text (and then only white space
// between elements): drop it before comparing with a form that has none.
inline void dropText(Message& msg)
{
    msg.set_text(std::string());
    for (const auto& list : msg.children()) {
        for (unsigned int i = 0; i < list.second.size(); ++i)
            dropText(msg.get_child(list.first, i));
    }
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size);
