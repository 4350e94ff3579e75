#include "byte_file.h"

#include <utility>

#include "mipmill/file_failure.h"
#include "platform/platform.h"

namespace mipmill {

FileLayerFailure::FileLayerFailure(int code)
    : std::runtime_error("File error " + std::to_string(code)), code_(code) {}

void ThrowLastSystemError() { throw FileLayerFailure(platform::LastSystemError()); }

ByteFile::ByteFile(std::vector<char> buffer, std::FILE* file) : buffer_(std::move(buffer)), file_(file) {
  std::setvbuf(file_.get(), buffer_.data(), _IOFBF, buffer_.size());
}

// The buffer is obtained before the file is opened: if memory runs out, no
// stream is left open and no existing file has been emptied by the create.
ByteFile ByteFile::OpenForReading(const std::string& path) {
  std::vector<char> buffer(kBufferSize);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) ThrowLastSystemError();
  return ByteFile(std::move(buffer), file);
}

ByteFile ByteFile::Create(const std::string& path) {
  std::vector<char> buffer(kBufferSize);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) ThrowLastSystemError();
  return ByteFile(std::move(buffer), file);
}

void ByteFile::ReadExactly(uint8_t* data, size_t size) {
  const size_t got = std::fread(data, 1, size, file_.get());
  if (got == size) return;
  if (std::ferror(file_.get())) ThrowLastSystemError();
  throw FileLayerFailure(FileLayerFailure::kShortRead);
}

void ByteFile::Write(const uint8_t* data, size_t size) {
  if (std::fwrite(data, 1, size, file_.get()) != size) ThrowLastSystemError();
}

void ByteFile::Close() {
  std::FILE* file = file_.release();
  if (std::fclose(file) != 0) ThrowLastSystemError();
}

}  // namespace mipmill
