
#include "platform/platform.h"
#include "ptxtool/errors.h"
#include "ptxtool/files.h"

namespace ptxtool {

// Through the platform's safe replace: the old file stays until the new one
// is complete, and its links and permissions are kept.
void WriteOutput(const std::string& path, std::span<const uint8_t> bytes) {
  if (!platform::ReplaceFileContents(path, bytes)) throw Refusal(path + ": couldn't be written");
}

}  // namespace ptxtool
