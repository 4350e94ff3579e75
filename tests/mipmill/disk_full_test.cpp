// mipmill on a full disk or in a folder that admits no new file: the run
// ends with the file error box and the failure's number as its status. By the program's rules the PTX stays as
// far as it got; the TGA and the rest of the folder are untouched.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "common/limited_run.h"
#include "common/tga_writer.h"
#include "mipmill_test_support.h"

namespace {

namespace fs = std::filesystem;
using fault_injection::RunLimited;
using fault_injection::RunWithFileSizeLimit;
using mipmill_test::ScratchFolder;

const std::string kMipmill = std::string(ROADFIRE_TOOLS_DIR) + "/mipmill";

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

TEST(MipmillDiskFull, EndsWithTheFileErrorAndKeepsTheTga) {
  ScratchFolder folder;
  const std::string tga = folder / "car.tga";
  const std::string ptx = folder / "car.ptx";
  roadfire_test::WriteTga(tga, {64, 32, 32}, [](int x, int row) {
    return roadfire_test::TgaPixel{static_cast<uint8_t>(x), static_cast<uint8_t>(row), 5, 6};
  });
  const auto tga_bytes = roadfire_test::ReadBytes(tga);
  ASSERT_EQ(RunWithFileSizeLimit(kMipmill, {tga}, RLIM_INFINITY).exit_code, 0);
  const auto full = roadfire_test::ReadBytes(ptx);

  for (const rlim_t limit : {rlim_t{0}, rlim_t{1}, rlim_t{16}, rlim_t{full.size() / 2},
                             rlim_t{full.size() - 1}, rlim_t{full.size()}}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    fs::remove(ptx);
    const auto result = RunWithFileSizeLimit(kMipmill, {tga}, limit);
    EXPECT_EQ(roadfire_test::ReadBytes(tga), tga_bytes);
    EXPECT_EQ(Names(folder.path()), (std::set<std::string>{"car.tga", "car.ptx"}));
    if (limit == full.size()) {
      EXPECT_EQ(result.exit_code, 0);
      EXPECT_EQ(roadfire_test::ReadBytes(ptx), full);
      continue;
    }
    EXPECT_EQ(result.exit_code, 27);  // EFBIG, as the write on the full disk returned it
    EXPECT_EQ(result.err, "Error: File error 27\n");
    const auto partial = roadfire_test::ReadBytes(ptx);
    EXPECT_EQ(partial.size(), limit);
    EXPECT_TRUE(std::equal(partial.begin(), partial.end(), full.begin()));
  }
}

// Met as a user meets it: when the test runs as root, the program runs as
// the user nobody, who then owns the folder (as the test's own user, the
// hand-over fails harmlessly and the test's user owns it).
TEST(MipmillWriteProtected, EndsWithTheAccessErrorAndWritesNothing) {
  ScratchFolder folder;
  const std::string tga = folder / "car.tga";
  roadfire_test::WriteTga(tga, {8, 8, 32}, [](int x, int row) {
    return roadfire_test::TgaPixel{static_cast<uint8_t>(x), static_cast<uint8_t>(row), 5, 6};
  });
  for (const std::string& path : {folder.path().string(), tga}) {
    [[maybe_unused]] const int ignored = chown(path.c_str(), fault_injection::kUnprivilegedId,
                                               fault_injection::kUnprivilegedId);
  }
  ASSERT_EQ(chmod(folder.path().c_str(), 0555), 0);
  const auto result = RunLimited({kMipmill, {tga}, RLIM_INFINITY, "", true});
  chmod(folder.path().c_str(), 0755);
  EXPECT_EQ(result.exit_code, 13);  // EACCES
  EXPECT_EQ(result.err, "Error: File error 13\n");
  EXPECT_EQ(Names(folder.path()), (std::set<std::string>{"car.tga"}));
}

}  // namespace
#endif
