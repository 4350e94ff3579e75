// The run from an FSH pack to PTX textures: folders, the fshtool run, the
// conversion loop, the output lists, the clean-up and the final wait.
#pragma once

#include <string>

#include "skinferry/host.h"

namespace skinferry {

struct StartupValues {
  std::string executable_path;
  std::string executable_name;  // shown in the usage line
  std::string program_folder;   // long form, no trailing separator
  std::string fsh_argument;     // as the user gave it
  std::string fsh_file_name;    // the argument after its last separator
  std::string output_folder;    // program folder + pack name without its ending
  std::string work_folder;      // temporary folder + "TPC"
};

// Rewrites a folder path with each component spelled as the file system
// stores it. Separators at the end are dropped and a run of separators inside
// counts as one; a component that does not exist is kept as given.
std::string LongPathForm(Host& host, const std::string& path);

StartupValues WorkOutStartupValues(Host& host, const std::string& fsh_argument);

// The whole program after the command line has been split. Always 0.
int RunSkinferry(Host& host, const std::string& fsh_argument);

}  // namespace skinferry
