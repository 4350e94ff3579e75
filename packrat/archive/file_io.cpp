#include "file_io.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
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

// The C library's rename refuses an existing target on Windows; the
// standard library's replaces it in one step on every system.
bool ReplaceTarget(const std::string& from, const std::string& to) {
  std::error_code error;
  std::filesystem::rename(std::filesystem::path(from), std::filesystem::path(to), error);
  return !error;
}

bool Exists(const std::string& name) { return FileHandle(std::fopen(name.c_str(), "rb")) != nullptr; }

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

ReplacingFile::ReplacingFile(std::string target) : target_(std::move(target)) {
  // A name beside the target, so the final rename stays on one volume.
  for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
    std::string candidate = target_ + ".~" + std::to_string(attempt);
    if (Exists(candidate)) continue;
    file_.reset(std::fopen(candidate.c_str(), "wb"));
    if (file_) temporary_ = std::move(candidate);
  }
  if (!file_) throw ArchiveError(texts::FileCouldNotBeWritten(target_));
}

ReplacingFile::~ReplacingFile() {
  // Any way out before a successful rename, an exception included, takes
  // the temporary file away again.
  file_.reset();
  if (!settled_) std::remove(temporary_.c_str());
}

void ReplacingFile::Fail() {
  file_.reset();
  std::remove(temporary_.c_str());
  settled_ = true;
  throw ArchiveError(texts::FileCouldNotBeWritten(target_));
}

void ReplacingFile::Write(const std::uint8_t* bytes, std::size_t count) {
  if (count != 0 && std::fwrite(bytes, 1, count, file_.get()) != count) Fail();
}

void ReplacingFile::Commit() {
  if (std::fflush(file_.get()) != 0 || std::ferror(file_.get()) != 0) Fail();
  if (std::fclose(file_.release()) != 0) Fail();
  if (!ReplaceTarget(temporary_, target_)) Fail();
  settled_ = true;
}

}  // namespace packrat
