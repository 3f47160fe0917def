// The harnesses' own assertion: a broken property is a crash libFuzzer
// keeps the input of.
#pragma once

#include <cstdio>
#include <cstdlib>

#define ZMP_FUZZ_CHECK(condition)                                                              \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)
