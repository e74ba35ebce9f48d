#pragma once
// The fuzz targets' invariant check: a broken invariant names itself on
// stderr and aborts, so libFuzzer keeps the input as a crash and the corpus
// replay test fails.
//
// Thread contract: none needed; a fuzz target runs one input at a time.

#include <cstdio>
#include <cstdlib>

inline void fuzz_check(bool holds, const char* invariant) {
  if (!holds) {
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
  }
}
