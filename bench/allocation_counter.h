// Counts the heap allocations the whole program makes, so a benchmark can
// show how many an operation needs (replacing the global operator new).
#pragma once

#include <cstddef>

namespace bench {

struct AllocationCount {
  std::size_t calls = 0;
  std::size_t bytes = 0;
};

AllocationCount AllocationsSoFar();

}  // namespace bench
