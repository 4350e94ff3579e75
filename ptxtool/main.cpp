// ptxtool: looks at PTX textures and converts them to and from PNG.
#include <iostream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "ptxtool/cli.h"

int main(int argc, char** argv) {
  platform::PrepareProcess();
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return ptxtool::RunPtxtool(arguments, std::cout, std::cerr);
}
