// mipmill's command-line parser on any line: no bad access, and the name it
// yields never keeps a double quote (every one is dropped).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_support.h"
#include "mipmill/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const mipmill::EncoderCommand command = mipmill::ParseEncoderCommandLine(line);
  FUZZ_CHECK(command.file_name.find('"') == std::string::npos);
  FUZZ_CHECK(command.file_name.size() <= size);
  return 0;
}
