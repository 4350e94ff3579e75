// A private folder per test, removed with everything in it afterwards.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_support {

class TempDir {
 public:
  TempDir() {
    std::random_device seed;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = base / ("roadfire-test-" + std::to_string(seed()));
      if (std::filesystem::create_directory(path_)) return;
    }
    throw std::runtime_error("cannot create a temporary folder");
  }
  ~TempDir() {
    namespace fs = std::filesystem;
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, ignored);
    // Read-only files inside would stop the removal on Windows.
    for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadFileBytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& name, const Bytes& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The same, as text, for tests that compare whole files with strings.
inline std::string ReadWholeFile(const std::string& name) {
  const Bytes bytes = ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

inline void WriteWholeFile(const std::string& name, const std::string& text) {
  WriteFileBytes(name, Bytes(text.begin(), text.end()));
}

// What a program file's name ends in on the system this build targets.
#ifdef _WIN32
inline constexpr const char* kExeSuffix = ".exe";
#else
inline constexpr const char* kExeSuffix = "";
#endif

// Parses "10 FB 00" into bytes.
inline Bytes Hex(const std::string& text) {
  Bytes bytes;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return bytes;
}

// Files left in a folder: a failed write must leave no temporary behind.
inline std::vector<std::string> FolderListing(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace testing_support
