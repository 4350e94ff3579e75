#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/platform.h"
#include "ptxtool/errors.h"
#include "ptxtool/files.h"

namespace ptxtool {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::vector<uint8_t> ReadInputPrefix(const std::string& path, size_t limit) {
  switch (platform::FindEntry(path)) {
    case platform::EntryKind::kMissing:
      throw Refusal(path + ": no such file");
    case platform::EntryKind::kFolder:
      throw Refusal(path + ": a folder, not a file");
    case platform::EntryKind::kFile:
      break;
  }
  // The name as stored on disk, so a name given in other capitals opens on
  // every system, as it does on Windows.
  const std::string stored = platform::LongPathName(path).value_or(path);
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(stored.c_str(), "rb"));
  if (!file) throw Refusal(path + ": couldn't be opened");
  // Read by blocks to the end rather than trusting a length the system
  // tells: that works for every kind of file and never reads past `limit`.
  std::vector<uint8_t> bytes;
  constexpr size_t kBlock = size_t{1} << 20;
  while (bytes.size() < limit) {
    const size_t had = bytes.size();
    const size_t want = std::min(kBlock, limit - had);
    bytes.resize(had + want);
    const size_t got = std::fread(bytes.data() + had, 1, want, file.get());
    bytes.resize(had + got);
    if (got < want) break;
  }
  if (std::ferror(file.get())) throw Refusal(path + ": couldn't be read");
  return bytes;
}

std::vector<uint8_t> ReadInputFile(const std::string& path) {
  std::vector<uint8_t> bytes = ReadInputPrefix(path, kMaxInputBytes + 1);
  if (bytes.size() > kMaxInputBytes) {
    throw Refusal(path + ": too large (over " + std::to_string(kMaxInputBytes >> 20) + " MiB) to be a texture or picture");
  }
  return bytes;
}

}  // namespace ptxtool
