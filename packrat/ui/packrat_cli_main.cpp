#include <iostream>
#include <string>
#include <vector>

#include "packrat/ui/cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return packrat::RunPackratCli(arguments, std::cout, std::cerr);
}
