// Test helper started by the platform tests: writes what it was given (its
// current folder, its raw command line and each argument after the program
// name) into "record.txt" in its current folder, one item per line, so the
// test can see how a parameter string and a working folder arrived.
#include <cstdio>
#include <string>

#include "platform/platform.h"

int main(int argc, char** argv) {
  std::string record = "cwd=" + platform::CurrentFolder() + "\n";
  record += "raw=" + platform::RawCommandLine(argc, argv) + "\n";
  for (int i = 1; i < argc; ++i) record += "arg=" + std::string(argv[i]) + "\n";
  std::FILE* file = std::fopen("record.txt", "wb");
  if (file == nullptr) return 1;
  const bool ok = std::fwrite(record.data(), 1, record.size(), file) == record.size();
  return std::fclose(file) == 0 && ok ? 0 : 1;
}
