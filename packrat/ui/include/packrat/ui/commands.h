// The two archive commands: unpack a .crp into a .drp beside it, and pack a
// .drp into a .crp beside it. Progress and failures go to a reporter that the
// front end (dialog or console) supplies.
#pragma once

#include <string>

namespace packrat {

class CommandReporter {
 public:
  virtual ~CommandReporter() = default;
  // Replaces the status line; visible before the call returns.
  virtual void ShowStatus(const std::string& text) = 0;
  // Shows an error text to the user; returns once it has been seen.
  virtual void ShowError(const std::string& text) = 0;
};

namespace status {
inline constexpr const char* kReady = "Ready...";
inline constexpr const char* kDecompressing = "Decompressing CRP...";
inline constexpr const char* kDecompressed = "Decompressed CRP. Ready...";
inline constexpr const char* kCompressing = "Compressing DRP...";
inline constexpr const char* kCompressed = "Compressed DRP. Ready...";
}  // namespace status

// The name with its third character from the end replaced by `letter`. Names
// shorter than three characters have no such character and are refused with
// an ArchiveError.
std::string DeriveOutputName(const std::string& name, char letter);

// Both return true on success; a failure has already been passed to ShowError.
bool UnpackArchive(const std::string& path, CommandReporter& reporter);
bool PackArchive(const std::string& path, CommandReporter& reporter);

}  // namespace packrat
