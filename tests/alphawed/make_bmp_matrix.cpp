// Writes the BMP matrix of the alphawed tests into a folder, for runs of the
// program over it (under valgrind, by scripts/test-valgrind.sh).
// Usage: make_bmp_matrix FOLDER
#include <cstdio>
#include <exception>

#include "bmp_matrix.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_bmp_matrix FOLDER\n", stderr);
    return 2;
  }
  try {
    for (const bmp_matrix::Entry& entry : bmp_matrix::WriteMatrix(argv[1])) std::puts(entry.name.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_bmp_matrix: %s\n", e.what());
    return 1;
  }
  return 0;
}
