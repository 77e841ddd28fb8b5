#pragma once

// Shared by the fuzz targets. A broken property is a finding like a crash:
// print what broke and abort, so libFuzzer saves the input and the replay
// test fails with the file's name on record.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                   \
    do {                                                                                   \
        if (!(cond)) {                                                                     \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size);
