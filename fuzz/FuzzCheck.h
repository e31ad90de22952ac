#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the fuzzer with a message when the engine and the reference disagree; libFuzzer then
// saves the input that did it.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)
