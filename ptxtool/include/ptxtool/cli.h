// The ptxtool command line: info, export and import, or --help.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace ptxtool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;  // an input refused or an output not written
inline constexpr int kExitUsage = 2;

// Runs the program on its arguments (program name excluded). Results and the
// usage go to `out`; every problem is one line on `err`.
int RunPtxtool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace ptxtool
