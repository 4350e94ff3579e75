// fshtool: unpacks an FSH texture pack into bitmaps and an index.fsh list.
#include <iostream>
#include <string>
#include <vector>

#include "fshtool/cli.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::PrepareProcess();
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return fshtool::RunFshtool(arguments, std::cout, std::cerr);
}
