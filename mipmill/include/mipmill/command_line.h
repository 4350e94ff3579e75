// The command line of mipmill: an optional "-x" level request, then the TGA.
#pragma once

#include <string>
#include <string_view>

namespace mipmill {

struct EncoderCommand {
  int level_request = 0;  // 0 when the line holds no option
  std::string file_name;  // possibly empty
};

// Parses the whole raw line, program part included. Callers rely on its exact
// behaviour, quirks and all: every double quote is dropped, and each dash
// takes the next character as the level digit and swallows one more
// character after it, wherever it stands (so "my-car.tga" gives 51 and
// "myr.tga"). Fewer than two characters after the program part give no name.
EncoderCommand ParseEncoderCommandLine(std::string_view line);

}  // namespace mipmill
