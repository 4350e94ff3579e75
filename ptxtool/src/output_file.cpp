#include <cstdio>
#include <memory>
#include <new>

#include "platform/platform.h"
#include "ptxtool/errors.h"
#include "ptxtool/files.h"

namespace ptxtool {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

void WriteBytes(const std::string& path, std::span<const uint8_t> bytes) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) throw Refusal(path + ": couldn't be created");
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  const bool closed = std::fclose(file.release()) == 0;
  if (!written || !closed) throw Refusal(path + ": couldn't be written");
}

// The one place that replaces a user's file: a temporary beside the target,
// renamed over it only when complete.
void WriteOutput(const std::string& path, const std::function<void(const std::string& temporary)>& write) {
  const std::string temporary = path + ".ptxtool-tmp";
  try {
    write(temporary);
  } catch (const std::bad_alloc&) {
    platform::DeleteFileForced(temporary);
    throw;
  } catch (...) {
    platform::DeleteFileForced(temporary);
    throw Refusal(path + ": couldn't be written");
  }
  if (!platform::MoveFileReplacing(temporary, path)) {
    platform::DeleteFileForced(temporary);
    throw Refusal(path + ": couldn't be written");
  }
}

}  // namespace ptxtool
