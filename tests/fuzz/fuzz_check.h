#pragma once

#include <cstdio>
#include <cstdlib>

// A broken rule found by a fuzz target: say which, then stop, so the fuzzer
// keeps the input (and a corpus replay fails).
#define FUZZ_CHECK(condition)                                                          \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "%s:%d: rule broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (false)
