// Fails the n-th allocation of an engine operation, for n = 1, 2, ... until
// the operation gets through, and checks every time that the text is the
// memory text, that nothing leaked and that no output file was touched.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>

#include "archive_fixtures.h"
#include "packrat/archive/codec.h"
#include "packrat/ui/disk_files.h"
#include "packrat/archive/error.h"
#include "packrat/archive/lz.h"

namespace {

std::atomic<long> g_allocations{0};  // counted only while armed
std::atomic<long> g_fail_at{0};      // 0: never fail
std::atomic<long> g_live{0};
std::atomic<bool> g_armed{false};

void* Allocate(std::size_t size) {
  if (g_armed.load(std::memory_order_relaxed)) {
    const long n = ++g_allocations;
    if (n == g_fail_at.load(std::memory_order_relaxed)) throw std::bad_alloc();
  }
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  ++g_live;
  return p;
}

void Release(void* p) noexcept {
  if (p == nullptr) return;
  --g_live;
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace packrat {
namespace {

using testing_support::Bytes;
using testing_support::FolderListing;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

const ArchiveCodec codec(DiskFiles());

struct Outcome {
  bool failed = false;
  char text[64] = {};  // not a std::string: it must not count as a live allocation
};

// Runs `operation` with the n-th allocation failing. The operation owns every
// object it makes, so the live count must be back where it was afterwards.
Outcome RunWithFailureAt(long n, const std::function<void()>& operation) {
  const long live_before = g_live.load();
  Outcome outcome;
  g_allocations = 0;
  g_fail_at = n;
  g_armed = true;
  try {
    operation();
  } catch (const ArchiveError& error) {
    g_armed = false;
    outcome.failed = true;
    std::snprintf(outcome.text, sizeof outcome.text, "%s", error.what());
  }
  g_armed = false;
  const bool hit = g_allocations.load() >= n;
  EXPECT_EQ(g_live.load(), live_before) << "leak with allocation " << n << " failing";
  if (!hit) {
    EXPECT_FALSE(outcome.failed) << outcome.text;
  }
  return outcome;
}

// Fails each allocation in turn; returns how many allocation sites were hit.
long SweepAllocations(const std::function<void()>& operation, const std::function<void()>& after_failure = {}) {
  for (long n = 1; n < 10000; ++n) {
    const Outcome outcome = RunWithFailureAt(n, operation);
    if (!outcome.failed) return n - 1;
    EXPECT_STREQ(outcome.text, "Memory couldn't be allocated") << "allocation " << n;
    if (after_failure) after_failure();
  }
  ADD_FAILURE() << "operation never succeeded";
  return 0;
}

class AllocationFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    using testing_support::MakeArticle;
    using testing_support::MakeChunk;
    archive_ = testing_support::MakeArchive(
        5, {MakeArticle({MakeChunk(1, 1, Bytes(300, 1)), MakeChunk(2, 2, {})}), MakeArticle({}),
            MakeArticle({MakeChunk(3, 3, Bytes(5000, 3))})},
        {MakeChunk(4, 4, Bytes(70, 4)), MakeChunk(5, 5, Bytes(1, 5))});
    const ImageBuffer built = codec.BuildImage(archive_);
    image_.assign(built.bytes.get(), built.bytes.get() + built.size);
    codec.WriteCrp(archive_, dir_.file("in.crp"));
    codec.WriteDrp(archive_, dir_.file("in.drp"));
  }

  Archive archive_;
  Bytes image_;
  TempDir dir_;
};

TEST_F(AllocationFailure, ParseBuildAndCopy) {
  EXPECT_GT(SweepAllocations([&] { Archive a = codec.ParseImage(image_.data(), image_.size()); }), 5);
  EXPECT_GT(SweepAllocations([&] { ImageBuffer b = codec.BuildImage(archive_); }), 0);
  EXPECT_GT(SweepAllocations([&] { Archive copy(archive_); }), 5);
}

TEST_F(AllocationFailure, Encoder) {
  class NullSink final : public ByteSink {
   public:
    void Append(const std::uint8_t*, std::size_t) override {}
  } sink;
  EXPECT_GE(SweepAllocations([&] { EncodeLz(image_, sink); }), 2);
}

TEST_F(AllocationFailure, Readers) {
  const std::string crp = dir_.file("in.crp");
  const std::string drp = dir_.file("in.drp");
  EXPECT_GT(SweepAllocations([&] { Archive a = codec.ReadCrp(crp); }), 5);
  EXPECT_GT(SweepAllocations([&] { Archive a = codec.ReadDrp(drp); }), 5);
}

TEST_F(AllocationFailure, WritersLeaveTheExistingFileAlone) {
  const std::string target = dir_.file("out.crp");
  WriteFileBytes(target, Bytes{1, 2, 3});
  const auto listing = FolderListing(dir_.path());
  auto unchanged = [&] {
    EXPECT_EQ(ReadFileBytes(target), (Bytes{1, 2, 3}));
    EXPECT_EQ(FolderListing(dir_.path()), listing);
  };
  EXPECT_GT(SweepAllocations([&] { codec.WriteCrp(archive_, target); }, unchanged), 1);
  WriteFileBytes(target, Bytes{1, 2, 3});
  EXPECT_GT(SweepAllocations([&] { codec.WriteDrp(archive_, target); }, unchanged), 0);
}

}  // namespace
}  // namespace packrat
