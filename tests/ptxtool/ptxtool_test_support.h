// Shared by the ptxtool tests: the program run in-process, pictures made in
// code, and the PTX texture that mipmill itself makes of a TGA.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "common/tga_writer.h"
#include "mipmill/encoder.h"
#include "platform/platform.h"
#include "ptxtool/cli.h"
#include "ptxtool/png.h"

namespace ptxtool_test {

using testing_support::Bytes;

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
};

inline Outcome Ptxtool(const std::vector<std::string>& arguments) {
  std::ostringstream out;
  std::ostringstream err;
  Outcome outcome;
  outcome.exit_code = ptxtool::RunPtxtool(arguments, out, err);
  outcome.out = out.str();
  outcome.err = err.str();
  return outcome;
}

struct Rgba {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t alpha = 0;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const Rgba& c) {
  return os << '(' << int{c.red} << ',' << int{c.green} << ',' << int{c.blue} << ',' << int{c.alpha} << ')';
}

// A picture addressed from its top-left corner. The default pattern has
// odd sums in every 2 x 2 block, so a mean that rounds instead of dropping
// the remainder shows.
struct Picture {
  int width = 0;
  int height = 0;
  std::function<Rgba(int, int)> at = [](int x, int y) {
    return Rgba{static_cast<uint8_t>(x * 37 + y * 11), static_cast<uint8_t>(255 - x * 13 - y * 29),
                static_cast<uint8_t>(x * y * 7 + 3), static_cast<uint8_t>(x * 50 + y * 3 + 1)};
  };
};

// The picture as a TGA of the kind alphawed writes (bottom row stored first).
inline void WriteTga(const std::string& path, const Picture& picture, int depth) {
  roadfire_test::WriteTga(path, {picture.width, picture.height, depth}, [&](int x, int stored_row) {
    const Rgba c = picture.at(x, picture.height - 1 - stored_row);
    return roadfire_test::TgaPixel{c.blue, c.green, c.red, c.alpha};
  });
}

// Three channels (alpha left out) or four, rows top first.
inline Bytes PixelBytes(const Picture& picture, int channels) {
  Bytes bytes;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const Rgba c = picture.at(x, y);
      bytes.insert(bytes.end(), {c.red, c.green, c.blue});
      if (channels == 4) bytes.push_back(c.alpha);
    }
  }
  return bytes;
}

inline void WritePng(const std::string& path, const Picture& picture, int channels) {
  testing_support::WriteFileBytes(path, ptxtool::EncodePng(picture.width, picture.height, channels,
                                                           PixelBytes(picture, channels)));
}

// What mipmill writes for the TGA, run as the program runs (the name in
// double quotes, as Skinferry gives it, so dashes in it stay part of it).
inline Bytes MipmillPtx(const std::string& tga, int level_request) {
  std::string line = "mipmill.exe ";
  if (level_request != 0) line += "-" + std::to_string(level_request) + " ";
  line += "\"" + tga + "\"";
  const auto previous = platform::SetMessageHandler(
      [](const platform::MessageRequest& box) { ADD_FAILURE() << "mipmill showed " << box.text; });
  const mipmill::RunOutcome outcome = mipmill::RunEncoder(line);
  platform::SetMessageHandler(previous);
  EXPECT_EQ(outcome, mipmill::RunOutcome::kConverted) << line;
  return testing_support::ReadFileBytes(tga.substr(0, tga.size() - 3) + "ptx");
}

// The colour type in a PNG's header: 2 RGB, 6 RGBA.
inline int PngColourType(const Bytes& png) { return png.size() > 25 ? png[25] : -1; }

}  // namespace ptxtool_test
