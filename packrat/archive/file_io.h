// Files for the engine: buffered reading, and writing that replaces its
// target only once the new content is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace packrat {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

class InputFile {
 public:
  explicit InputFile(const std::string& name);
  bool IsOpen() const { return file_ != nullptr; }
  std::optional<std::uint64_t> Size();
  bool Rewind();
  // Reads up to `count` bytes; fewer only at the end of the file or on error.
  std::size_t Read(std::uint8_t* destination, std::size_t count);

 private:
  FileHandle file_;
};

// Writes into a temporary file beside the target and renames it over the
// target in Commit. Until then the target is untouched; a failure at any
// point (disk full included) removes the temporary file and raises
// "File <name> couldn't be written", so an existing file is never lost, not
// even when it is the file the archive was read from.
class ReplacingFile {
 public:
  explicit ReplacingFile(std::string target);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  void Write(const std::uint8_t* bytes, std::size_t count);
  void Commit();

 private:
  [[noreturn]] void Fail();

  std::string target_;
  std::string temporary_;
  FileHandle file_;       // open until committed or failed
  bool settled_ = false;  // renamed into place, or removed after a failure
};

}  // namespace packrat
