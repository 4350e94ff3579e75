// The engine's outputs on the real file system: every file the codec writes
// goes through the platform's safe replace.
#pragma once

#include "packrat/archive/output.h"

namespace packrat {

const FileReplacer& DiskFiles();

}  // namespace packrat
