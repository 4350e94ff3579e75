#include "file_io.h"

#include <cstdio>
#include <utility>

#include "packrat/archive/error.h"

namespace packrat {

namespace {

// 64-bit positions: the C library spells them differently on Windows.
bool Seek(std::FILE* file, std::int64_t offset, int origin) {
#ifdef _WIN32
  return _fseeki64(file, offset, origin) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), origin) == 0;
#endif
}

std::int64_t Tell(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return static_cast<std::int64_t>(ftello(file));
#endif
}

}  // namespace

InputFile::InputFile(const std::string& name) : file_(std::fopen(name.c_str(), "rb")) {
  // Some systems open a folder for reading; its first read fails. Such a
  // name cannot be opened as a file.
  if (file_ && std::fgetc(file_.get()) == EOF && std::ferror(file_.get()) != 0) file_.reset();
  if (file_ && !Rewind()) file_.reset();
}

std::optional<std::uint64_t> InputFile::Size() {
  if (!Seek(file_.get(), 0, SEEK_END)) return std::nullopt;
  const std::int64_t size = Tell(file_.get());
  if (size < 0 || !Rewind()) return std::nullopt;
  return static_cast<std::uint64_t>(size);
}

bool InputFile::Rewind() { return Seek(file_.get(), 0, SEEK_SET); }

std::size_t InputFile::Read(std::uint8_t* destination, std::size_t count) {
  return std::fread(destination, 1, count, file_.get());
}

ReplacingFile::ReplacingFile(const FileReplacer* files, std::string target)
    : target_(std::move(target)), file_(files != nullptr ? files->Begin(target_) : nullptr) {
  if (!file_) Fail();
}

void ReplacingFile::Fail() const { throw ArchiveError(texts::FileCouldNotBeWritten(target_)); }

void ReplacingFile::Write(const std::uint8_t* bytes, std::size_t count) {
  if (!file_->Write(bytes, count)) Fail();
}

void ReplacingFile::Commit() {
  if (!file_->Commit()) Fail();
}

}  // namespace packrat
