// Fault injection for memory: a replacement of the global allocation
// functions (in failing_allocator.cpp, linked into the test binary) that can
// fail the n-th allocation after it is armed and counts live blocks, so a
// test can fail every allocation site of an operation in turn and check that
// nothing leaked.
#pragma once

#include <functional>

namespace fault_injection {

// Allocation number `n` (1 = the first after this call) throws
// std::bad_alloc, or returns null for the nothrow forms; 0 disarms.
void FailAllocation(long n);
// Allocations made since the last FailAllocation call.
long AllocationsSinceArmed();
// Blocks allocated and not yet released, over the whole program.
long LiveAllocations();
// Open file descriptors (Windows: handles) of this process; every open
// FILE stream holds one.
int OpenDescriptors();

struct SweepResult {
  long sites = 0;         // how many allocations the operation makes when none fails
  bool finished = false;  // it succeeded once no allocation failed
};

struct Sweep {
  std::function<void()> prepare;  // before each run, not counted (may be empty)
  std::function<void()> operation;
  std::function<void(long)> check;  // after each run in which an allocation failed
};

// Runs the operation with allocation n failing, for n = 1, 2, ... until a
// run makes fewer than n allocations. After each failing run, `check(n)`
// says what the test expects (it runs with the hook disarmed); leaks of heap
// blocks and of descriptors are checked here. The first broken case ends the
// sweep.
SweepResult SweepAllocationFailures(const Sweep& sweep);

}  // namespace fault_injection
