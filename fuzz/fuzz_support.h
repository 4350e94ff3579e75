// Shared by the fuzz targets: a stop that the fuzzer reports as a finding
// with the failing input.
#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property is as much a finding as a crash: abort so libFuzzer
// saves the input.
#define FUZZ_CHECK(...)                                                                       \
  do {                                                                                        \
    if (!(__VA_ARGS__)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #__VA_ARGS__); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (false)
