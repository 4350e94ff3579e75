// packrat-cli: the archive commands from a console, for scripts and tests.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace packrat {

// `arguments` excludes the program name. Returns the exit status: 0 when every
// file succeeded, 1 when any failed, 2 for a usage error.
int RunPackratCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace packrat
