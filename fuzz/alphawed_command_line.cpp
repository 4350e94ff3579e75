// alphawed's command-line split on any line: no bad access, words never
// longer than the line, and the arguments are the second to fourth words.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "alphawed/command_line.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> words = alphawed::SplitCommandLine(line);
  std::size_t total = 0;
  for (const std::string& word : words) total += word.size();
  FUZZ_CHECK(total <= size);
  const alphawed::Arguments arguments = alphawed::ParseArguments(line);
  auto word = [&](std::size_t i) { return i < words.size() ? words[i] : std::string(); };
  FUZZ_CHECK(arguments.colour_bmp == word(1));
  FUZZ_CHECK(arguments.alpha_bmp == word(2));
  FUZZ_CHECK(arguments.tga_name == word(3));
  return 0;
}
