// Shared fixtures of the mipmill tests: a scratch folder, captured boxes and
// a reader that splits a PTX file into its levels.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/tga_writer.h"
#include "mipmill/ptx_writer.h"
#include "platform/platform.h"

namespace mipmill_test {

namespace fs = std::filesystem;

class ScratchFolder {
 public:
  ScratchFolder() {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "mipmill_";
    if (info != nullptr) name += std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path_ = fs::temp_directory_path() / (name + "_" + std::to_string(counter++));
    Remove(path_);
    fs::create_directories(path_);
  }
  ~ScratchFolder() { Remove(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const fs::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  // Read-only files inside would stop the removal on Windows.
  static void Remove(const fs::path& path) {
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto it = fs::recursive_directory_iterator(path, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove_all(path, ignored);
  }

  fs::path path_;
};

// Collects every box shown while it lives, so nothing waits for a user.
class CapturedBoxes {
 public:
  CapturedBoxes()
      : previous_(platform::SetMessageHandler(
            [this](const platform::MessageRequest& request) { boxes_.push_back(request); })) {}
  ~CapturedBoxes() { platform::SetMessageHandler(std::move(previous_)); }
  CapturedBoxes(const CapturedBoxes&) = delete;
  CapturedBoxes& operator=(const CapturedBoxes&) = delete;

  const std::vector<platform::MessageRequest>& boxes() const { return boxes_; }

 private:
  std::vector<platform::MessageRequest> boxes_;
  platform::MessageHandler previous_;
};

struct PtxLevel {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // blue, green, red, alpha per pixel, row 0 first
  uint8_t Byte(int x, int y, int channel) const {
    return pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4 +
                  static_cast<size_t>(channel)];
  }
};

struct PtxFile {
  mipmill::PtxHeader header;
  std::vector<PtxLevel> levels;
};

// Splits the bytes by the header and the level byte counts; each level's size
// is taken as the halving rule gives it, and the byte count must agree.
inline PtxFile ParsePtx(const std::vector<uint8_t>& bytes) {
  PtxFile file;
  EXPECT_GE(bytes.size(), mipmill::PtxHeader::kSize);
  if (bytes.size() < mipmill::PtxHeader::kSize) return file;
  file.header = mipmill::PtxHeader::Read(std::span<const uint8_t, 16>(bytes.data(), 16));
  size_t at = mipmill::PtxHeader::kSize;
  int w = static_cast<int>(file.header.width);
  int h = static_cast<int>(file.header.height);
  for (int level = 0; level < file.header.level_count; ++level) {
    EXPECT_LE(at + 8, bytes.size());
    if (at + 8 > bytes.size()) return file;
    const auto block = mipmill::PtxLevelHeader::Read(std::span<const uint8_t, 8>(bytes.data() + at, 8));
    EXPECT_EQ(block.byte_count, static_cast<uint32_t>(w * h * 4)) << "level " << level + 1;
    for (size_t i = 4; i < 8; ++i) EXPECT_EQ(bytes[at + i], 0) << "level " << level + 1;
    at += 8;
    const size_t size = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
    EXPECT_LE(at + size, bytes.size());
    if (at + size > bytes.size()) return file;
    file.levels.push_back({w, h,
                           std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                                bytes.begin() + static_cast<std::ptrdiff_t>(at + size))});
    at += size;
    w = std::max(1, w / 2);
    h = std::max(1, h / 2);
  }
  EXPECT_EQ(at, bytes.size()) << "bytes after the last level";
  return file;
}

// The command line a caller would hand over: the program, then the arguments,
// each quoted when it holds a space.
inline std::string CommandLine(const std::vector<std::string>& arguments) {
  std::string line = "mipmill.exe";
  for (const std::string& argument : arguments) {
    line += ' ';
    line += argument.find(' ') != std::string::npos ? '"' + argument + '"' : argument;
  }
  return line;
}

}  // namespace mipmill_test
