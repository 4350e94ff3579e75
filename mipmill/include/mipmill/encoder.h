// One run of mipmill: command line in, PTX beside the TGA out.
#pragma once

#include <string>
#include <string_view>

#include "mipmill/file_failure.h"

namespace mipmill {

inline constexpr const char* kUsageTitle = "MIPMILL Error";
// Ten lines, each joined to the next by LF CR, as callers have always seen it.
inline constexpr std::string_view kUsageText =
    "File not found\n\r"
    "\n\r"
    "Command-line parameters:\n\r"
    "-x        number of mip-map levels to generate\n\r"
    "              (9 is the maximum) (optional),\n\r"
    "*.tga   TGA file to convert.\n\r"
    "\n\r"
    "Examples:\n\r"
    "mipmill.exe bmw.tga\n\r"
    "mipmill.exe -9 bmw.tga";

inline constexpr const char* kFileErrorTitle = "Error";

struct EncoderFileNames {
  std::string tga;
  std::string ptx;
};

// The named file without its last three characters, followed by "tga" and
// by "ptx": whatever the extension given, the TGA beside it is what is read.
EncoderFileNames DeriveEncoderFileNames(const std::string& file_name);

enum class RunOutcome {
  kConverted,  // the PTX is written
  kUsage,      // the named file is missing or a folder: usage box shown
  kRejected,   // the TGA's size or depth is outside the rule: size box shown
};

// Parses the raw command line, checks the named file, loads the TGA and
// writes the PTX. Boxes go through platform::ShowMessage. A failed file
// operation raises FileLayerFailure; the PTX then stays as far as it got.
RunOutcome RunEncoder(std::string_view command_line);

// The box that reports a file-layer failure ("Error", "File error <number>").
void ShowFileLayerFailure(const FileLayerFailure& failure);

// The whole program: the run, its boxes and its exit status (0 after success,
// usage and size rejections, the failure's number in 8 bits otherwise).
int RunEncoderProgram(std::string_view command_line);

}  // namespace mipmill
