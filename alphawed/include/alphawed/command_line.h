// The command line of alphawed: colour bitmap, alpha bitmap (or the no-alpha
// marker) and the TGA to write.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace alphawed {

// Given in place of the alpha bitmap, asks for a 24-bit TGA without alpha.
// Compared with the whole second argument, byte for byte.
inline constexpr std::string_view kNoAlphaMarker = "No alpha image";

// Splits a raw command line into words. Runs of spaces separate words; a word
// that begins with a double quote runs to the next double quote (both dropped,
// the spaces inside kept; an unclosed quote runs to the end of the line); any
// other word runs to the next space. The first word is the program itself.
std::vector<std::string> SplitCommandLine(std::string_view line);

struct Arguments {
  std::string colour_bmp;
  std::string alpha_bmp;  // a file name, or exactly kNoAlphaMarker
  std::string tga_name;

  bool HasAlphaBitmap() const { return alpha_bmp != kNoAlphaMarker; }
};

// The first three words after the program; missing ones are empty, further
// ones are ignored.
Arguments ParseArguments(std::string_view raw_line);

}  // namespace alphawed
