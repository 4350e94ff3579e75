// alphawed: merges a colour bitmap and an alpha bitmap (its red component)
// into one uncompressed TGA picture; with the no-alpha marker, a 24-bit TGA
// from the colour bitmap alone.
#pragma once

#include <string>
#include <string_view>

#include "alphawed/command_line.h"

namespace alphawed {

inline constexpr std::string_view kErrorTitle = "Error";
inline constexpr std::string_view kMissingInputText =
    "Non of the inputfiles dose exists\r\nSyntax: image.bmp alpha.bmp output.tga";

// The box text for an input that exists but cannot be used as a bitmap.
std::string UnreadableBitmapText(const std::string& path);
std::string TooLargeBitmapText(const std::string& path);

// Checks that the inputs exist (the alpha bitmap first), loads them and writes
// the TGA. Problems with the inputs are reported in one message box; an
// output that cannot be written ends the run without a word.
void MergeAlpha(const Arguments& arguments);

// The whole program: makes `program_folder` the current folder, so relative
// names are taken from there, then merges the files the raw command line
// names. Never throws; the program's exit status is always 0.
void Run(std::string_view raw_command_line, const std::string& program_folder);

}  // namespace alphawed
