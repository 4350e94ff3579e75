#include "alphawed/command_line.h"

#include <algorithm>

namespace alphawed {

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  const size_t n = line.size();
  while (true) {
    while (i < n && line[i] == ' ') ++i;
    if (i >= n) break;
    size_t end = 0;
    if (line[i] == '"') {
      ++i;
      end = line.find('"', i);
      if (end == std::string_view::npos) end = n;
      words.emplace_back(line.substr(i, end - i));
      i = end < n ? end + 1 : n;  // past the closing quote
    } else {
      end = line.find(' ', i);
      if (end == std::string_view::npos) end = n;
      words.emplace_back(line.substr(i, end - i));
      i = end;
    }
  }
  return words;
}

Arguments ParseArguments(std::string_view raw_line) {
  std::vector<std::string> words = SplitCommandLine(raw_line);
  words.resize(std::max<size_t>(words.size(), 4));
  return Arguments{std::move(words[1]), std::move(words[2]), std::move(words[3])};
}

}  // namespace alphawed
