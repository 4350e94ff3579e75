// Where the engine's writers put a file: the program hands the codec a
// replacer built over the system, so the engine itself makes no system call
// and knows nothing of temporaries, links or permissions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace packrat {

// The new content of one file, streamed in pieces and committed at the end.
class OutputFile {
 public:
  virtual ~OutputFile() = default;  // without Commit the named file stays as it was
  // False once a write has failed; the writer then stops.
  virtual bool Write(const std::uint8_t* bytes, std::size_t count) = 0;
  // Makes the written bytes the file's content. False when that failed.
  virtual bool Commit() = 0;
};

class FileReplacer {
 public:
  virtual ~FileReplacer() = default;
  // nullptr when the file of that name may not be written.
  virtual std::unique_ptr<OutputFile> Begin(const std::string& file_name) const = 0;
};

}  // namespace packrat
