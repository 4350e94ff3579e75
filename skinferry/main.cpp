// Skinferry: converts an FSH texture pack into PTX textures.
#include "skinferry/driver.h"
#include "skinferry/host.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::PrepareProcess();
  // The run reports on its screen and in index.txt; its exit code is always 0,
  // even if something unforeseen (such as running out of memory) ends it early.
  try {
    const std::string fsh_argument = argc > 1 ? argv[1] : "";
    const std::unique_ptr<skinferry::Host> host = skinferry::MakePlatformHost();
    return skinferry::RunSkinferry(*host, fsh_argument);
  } catch (...) {
    return 0;
  }
}
