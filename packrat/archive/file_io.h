// Files for the engine: buffered reading, and writing that replaces its
// target only once the new content is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "packrat/archive/output.h"

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

// The engine's side of an output: failures become the writer's error text,
// "File <name> couldn't be written". Until Commit the named file is as it
// was; how that is kept is the replacer's business.
class ReplacingFile {
 public:
  ReplacingFile(const FileReplacer* files, std::string target);

  void Write(const std::uint8_t* bytes, std::size_t count);
  void Commit();

 private:
  [[noreturn]] void Fail() const;

  std::string target_;
  std::unique_ptr<OutputFile> file_;
};

}  // namespace packrat
