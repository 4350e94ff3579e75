// The fshtool command line: fshtool PACK.fsh WORKFOLDER, or --help.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace fshtool {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;       // nothing usable was written (no index.fsh)
inline constexpr int kExitSomeSkipped = 2;  // index.fsh written, some objects skipped

// Runs the program on its arguments (program name excluded). Usage goes to
// `out`; every problem is one line on `err`, so a pipeline that starts this
// program never waits for a user.
int RunFshtool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace fshtool
