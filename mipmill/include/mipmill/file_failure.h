// A failed open, read, create, write or close of the TGA or the PTX.
#pragma once

#include <stdexcept>

namespace mipmill {

// Such a failure ends the run at once: the program shows its number and
// exits with it. The library raises it so that callers (and tests) decide.
class FileLayerFailure : public std::runtime_error {
 public:
  // A read that delivers fewer bytes than asked for; every other failure
  // carries the system's own error code.
  static constexpr int kShortRead = 100;

  explicit FileLayerFailure(int code);

  int code() const { return code_; }
  // Only the low 8 bits of the number survive as an exit status.
  int ExitStatus() const { return code_ & 0xFF; }

 private:
  int code_;
};

// Raises the failure of the call that has just failed, with the system's code.
[[noreturn]] void ThrowLastSystemError();

}  // namespace mipmill
