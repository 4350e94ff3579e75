#include <iostream>
#include <string>
#include <vector>

#include "packrat/ui/cli.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::PrepareProcess();
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return packrat::RunPackratCli(arguments, std::cout, std::cerr);
}
