#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property is a finding: report it and abort, so that libFuzzer keeps the
// input and the corpus run fails.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);                      \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)
