// Checked byte-stream files for the TGA and the PTX. Every call that fails
// raises FileLayerFailure with the number the program exits with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace mipmill {

class ByteFile {
 public:
  // Opens an existing file for reading only, so a write-protected TGA converts.
  static ByteFile OpenForReading(const std::string& path);
  // Creates the file, replacing any file of that name.
  static ByteFile Create(const std::string& path);

  // Reads exactly `size` bytes; fewer is a short read (failure 100).
  void ReadExactly(uint8_t* data, size_t size);
  void Write(const uint8_t* data, size_t size);
  // Flushes and closes, reporting a failure of either.
  void Close();

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  ByteFile(std::vector<char> buffer, std::FILE* file);  // never throws

  // Large enough that a 1024 x 1024 level needs only 256 writes to the system.
  static constexpr size_t kBufferSize = 64 * 1024;

  std::vector<char> buffer_;  // declared first: the stream uses it until closed
  std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace mipmill
