#include "mipmill/command_line.h"

namespace mipmill {

EncoderCommand ParseEncoderCommandLine(std::string_view line) {
  EncoderCommand command;
  const size_t n = line.size();

  // The program part ends at the first space outside double quotes; a quote
  // that is never closed runs to the end of the line.
  size_t i = 0;
  while (i < n && line[i] != ' ') {
    if (line[i] == '"') {
      const size_t closing = line.find('"', i + 1);
      if (closing == std::string_view::npos) return command;
      i = closing;
    }
    ++i;
  }
  if (i >= n) return command;
  ++i;
  if (i + 1 >= n) return command;  // at most one character left

  // A dash outside double quotes is the level option: the character after it
  // is the digit, and the one after that the separating space. A dash inside
  // quotes belongs to the file name, so the callers' usual form
  // -5 "D:\My Cars\car-5.tga" keeps its name whole.
  bool quoted = false;
  while (i < n) {
    if (line[i] == '-' && !quoted) {
      const int code = i + 1 < n ? static_cast<unsigned char>(line[i + 1]) : 0;
      command.level_request = code - '0';
      i += 3;
    }
    if (i < n) {
      if (line[i] == '"') {
        quoted = !quoted;
      } else {
        command.file_name += line[i];
      }
    }
    ++i;
  }
  return command;
}

}  // namespace mipmill
