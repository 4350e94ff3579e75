#include "common/failing_allocator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::atomic<long> g_count{0};
std::atomic<long> g_fail_at{0};
std::atomic<long> g_live{0};

// Decides whether this allocation fails; counts only while armed.
bool ShouldFail() {
  if (g_fail_at.load(std::memory_order_relaxed) == 0) return false;
  return ++g_count == g_fail_at.load(std::memory_order_relaxed);
}

void* Obtain(std::size_t size) noexcept {
  if (ShouldFail()) return nullptr;
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p != nullptr) ++g_live;
  return p;
}

void Give(void* p) noexcept {
  if (p == nullptr) return;
  --g_live;
  std::free(p);
}

void* ObtainOrThrow(std::size_t size) {
  void* p = Obtain(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(std::size_t size) { return ObtainOrThrow(size); }
void* operator new[](std::size_t size) { return ObtainOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Obtain(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Obtain(size); }
void operator delete(void* p) noexcept { Give(p); }
void operator delete[](void* p) noexcept { Give(p); }
void operator delete(void* p, std::size_t) noexcept { Give(p); }
void operator delete[](void* p, std::size_t) noexcept { Give(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Give(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Give(p); }

namespace fault_injection {

void FailAllocation(long n) {
  g_fail_at = 0;
  g_count = 0;
  g_fail_at = n;
}

long AllocationsSinceArmed() { return g_count.load(); }
long LiveAllocations() { return g_live.load(); }

int OpenDescriptors() {
#ifdef _WIN32
  // Every open file, find handle or stream holds a handle of the process.
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  return static_cast<int>(handles);
#else
  int count = 0;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    ++count;
  }
  return count;
#endif
}

SweepResult SweepAllocationFailures(const Sweep& sweep) {
  SweepResult result;
  for (long n = 1; n < 100000; ++n) {
    if (sweep.prepare) sweep.prepare();
    const long live_before = LiveAllocations();
    const int descriptors_before = OpenDescriptors();
    FailAllocation(n);
    sweep.operation();
    const long made = AllocationsSinceArmed();
    FailAllocation(0);
    EXPECT_EQ(LiveAllocations(), live_before) << "heap blocks leaked with allocation " << n << " failing";
    EXPECT_EQ(OpenDescriptors(), descriptors_before) << "files left open with allocation " << n << " failing";
    if (made < n) {
      result.sites = n - 1;
      result.finished = true;
      // The count of cases run, for the reliability figures.
      std::printf("[  SWEEP   ] %ld allocation sites failed in turn\n", result.sites);
      return result;
    }
    sweep.check(n);
    if (::testing::Test::HasFailure()) {
      ADD_FAILURE() << "first failing case: allocation " << n;
      return result;
    }
  }
  return result;
}

}  // namespace fault_injection
