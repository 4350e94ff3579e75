// Skinferry: converts an FSH texture pack into PTX textures.
#include "skinferry/driver.h"
#include "skinferry/host.h"

int main(int argc, char** argv) {
  const std::string fsh_argument = argc > 1 ? argv[1] : "";
  const std::unique_ptr<skinferry::Host> host = skinferry::MakePlatformHost();
  return skinferry::RunSkinferry(*host, fsh_argument);
}
