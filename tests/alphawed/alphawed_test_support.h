// Helpers shared by the alphawed tests: a scratch folder, file reading and
// capture of message boxes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace alphawed_test {

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the test.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("alphawed-test-" + std::to_string(random()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  std::string path() const { return path_.string(); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// Routes every message box into `boxes` for the life of the object.
class MessageCapture {
 public:
  MessageCapture() {
    previous_ = platform::SetMessageHandler(
        [this](const platform::MessageRequest& request) { boxes.push_back(request); });
  }
  ~MessageCapture() { platform::SetMessageHandler(std::move(previous_)); }
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  std::vector<platform::MessageRequest> boxes;

 private:
  platform::MessageHandler previous_;
};

}  // namespace alphawed_test
