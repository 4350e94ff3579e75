// The one error type of the archive engine: it carries the text the user sees.
#pragma once

#include <new>
#include <stdexcept>
#include <string>

namespace packrat {

class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The texts the engine raises, shared so callers and tests agree on every byte.
namespace texts {
inline constexpr const char* kNoData = "No data specified";
inline constexpr const char* kInvalidLength = "Data has invalid length";
inline constexpr const char* kInvalidCrp = "Data is an invalid CRP";
inline constexpr const char* kNoMemory = "Memory couldn't be allocated";
inline constexpr const char* kNoFilename = "No filename specified";
inline constexpr const char* kCompressionError = "Unidentified compression error";
inline constexpr const char* kTooLargeForImage = "Archive is too large for a CRP image";
inline constexpr const char* kTooLargeForCrp = "Archive is too large for a compressed CRP file";

inline std::string FileCouldNotBeOpened(const std::string& name) { return "File " + name + " couldn't be opened"; }
inline std::string FileHasInvalidSize(const std::string& name) { return "File " + name + " has invalid file size"; }
inline std::string FileIsInvalidCrp(const std::string& name) { return "File " + name + " is an invalid CRP"; }
inline std::string FileCouldNotBeWritten(const std::string& name) { return "File " + name + " couldn't be written"; }
}  // namespace texts

// Runs an engine operation so that an allocation failure anywhere inside it,
// even while composing a text, leaves as the engine's memory text.
template <typename Operation>
decltype(auto) TranslatingMemoryFailure(Operation&& operation) {
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    throw ArchiveError(texts::kNoMemory);
  }
}

}  // namespace packrat
