// Writes a small sample FSH pack for trying the pipeline by hand:
//   make_sample_fsh PATH [--compressed]
// Test-only; not part of the release.
#include <cstdio>
#include <string>

#include "common/fsh_writer.h"

int main(int argc, char** argv) {
  const bool compressed = argc == 3 && std::string(argv[2]) == "--compressed";
  if (argc < 2 || argc > 3 || (argc == 3 && !compressed)) {
    std::fprintf(stderr, "usage: make_sample_fsh PATH [--compressed]\n");
    return 1;
  }
  std::vector<std::uint8_t> pack = fshtest::Build(fshtest::SamplePack());
  if (compressed) pack = fshtest::Compress(pack);
  if (!fshtest::WriteFile(argv[1], pack)) {
    std::fprintf(stderr, "make_sample_fsh: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
