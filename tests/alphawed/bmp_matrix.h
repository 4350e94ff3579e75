// A matrix of BMP files of every kind alphawed reads: ImageMagick writes
// what it can (the three header generations, every depth, RLE8, 16-bit
// subtypes, alpha), the files are then varied here (rows top-down, a gap
// before the pixels, the intermediate header sizes, masks after a 40-byte
// header) and the kinds ImageMagick does not write are made here (RLE4,
// skipping streams, short and long palettes, masks of odd widths). Each
// entry says what its pixels must be: ImageMagick's decoding of a file, or
// colours given here where that decoding is not the rule we keep.
// ImageMagick is a test reference only; Linux only, as it runs the program.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/bmp_writer.h"

namespace bmp_matrix {

// By full path: `convert` on the path may be a stand-in.
inline const std::string kImageMagick = "/usr/bin/convert-im6.q16";

using Bytes = std::vector<std::uint8_t>;

struct Entry {
  std::string name;       // file name in the matrix folder
  std::string reference;  // file whose ImageMagick decoding the entry must equal, if any
  Bytes expected_rgb;     // otherwise the pixels, red-green-blue, top row first
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  // ImageMagick widens 4-bit mask fields by a shift alone, so that 15 reads
  // as 240; we repeat the bits (15 gives 255, as 31 of a 5-bit field does
  // in both readers). Its reading of such a file is widened the same way.
  bool four_bit_fields = false;
};

inline std::uint32_t U32(const Bytes& b, size_t at) {
  return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
         std::uint32_t{b[at + 3]} << 24;
}

inline void Put32(Bytes& b, size_t at, std::uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void Append16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Append32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

// ImageMagick's decodings of files of the given sides, as 8-bit red, green,
// blue, top row first; one run reads them all (a run takes far longer to
// start than to read a small file). An empty result for a file means it was
// not read.
inline std::vector<Bytes> ImageMagickRgb(const std::vector<std::string>& paths,
                                         const std::vector<size_t>& pixel_counts) {
  std::string command = kImageMagick;
  for (const std::string& path : paths) command += " '" + path + "'";
  command += " -depth 8 rgb:- 2>/dev/null";
  struct Closer {
    void operator()(std::FILE* f) const { pclose(f); }
  };
  const std::unique_ptr<std::FILE, Closer> pipe(popen(command.c_str(), "r"));
  if (!pipe) throw std::runtime_error("cannot start " + command);
  Bytes all;
  std::uint8_t block[4096];
  size_t got = 0;
  while ((got = std::fread(block, 1, sizeof block, pipe.get())) > 0)
    all.insert(all.end(), block, block + got);
  // The frames follow each other; if any is missing the lengths cannot add up.
  size_t total = 0;
  for (const size_t count : pixel_counts) total += count * 3;
  std::vector<Bytes> frames(paths.size());
  if (total != all.size()) return frames;
  size_t at = 0;
  for (size_t i = 0; i < paths.size(); ++i) {
    frames[i].assign(all.begin() + static_cast<std::ptrdiff_t>(at),
                     all.begin() + static_cast<std::ptrdiff_t>(at + pixel_counts[i] * 3));
    at += pixel_counts[i] * 3;
  }
  return frames;
}

inline void RunImageMagick(const std::string& arguments) {
  const std::string command = kImageMagick + " " + arguments;
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

// A picture of `colours` distinct colours (of a fixed pseudo-random set),
// placed so that neighbouring pixels and rows differ; with alpha, a ramp.
inline void WriteSource(const std::string& path, int colours, int width, int height, bool alpha) {
  std::vector<std::array<std::uint8_t, 3>> set;
  std::uint32_t state = 12345;
  for (int i = 0; i < colours; ++i) {
    std::array<std::uint8_t, 3> c{};
    for (auto& v : c) {
      state = state * 1103515245 + 12345;
      v = static_cast<std::uint8_t>(state >> 16);
    }
    set.push_back(c);
  }
  std::string header = alpha ? "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
                                   "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
                             : "P6 " + std::to_string(width) + " " + std::to_string(height) + " 255\n";
  Bytes bytes(header.begin(), header.end());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const auto& c = set[static_cast<size_t>((x * 7 + y * 3 + x * y) % colours)];
      bytes.insert(bytes.end(), c.begin(), c.end());
      if (alpha) bytes.push_back(static_cast<std::uint8_t>((x * 255) / (width > 1 ? width - 1 : 1)));
    }
  }
  WriteFile(path, bytes);
}

// Offsets of the fields the variations touch.
constexpr size_t kFileSizeAt = 2;
constexpr size_t kPixelOffsetAt = 10;
constexpr size_t kInfoSizeAt = 14;
constexpr size_t kWidthAt = 18;
constexpr size_t kHeightAt = 22;
constexpr size_t kBitsAt = 28;
constexpr size_t kCompressionAt = 30;

inline Bytes WithFileSize(Bytes b) {
  Put32(b, kFileSizeAt, static_cast<std::uint32_t>(b.size()));
  return b;
}

// `gap` bytes of filler between the palette (or headers) and the pixels.
inline Bytes WithGap(const Bytes& b, size_t gap) {
  const std::uint32_t offset = U32(b, kPixelOffsetAt);
  Bytes out(b.begin(), b.begin() + offset);
  out.insert(out.end(), gap, 0xEE);
  out.insert(out.end(), b.begin() + offset, b.end());
  Put32(out, kPixelOffsetAt, offset + static_cast<std::uint32_t>(gap));
  return WithFileSize(out);
}

// The rows in the other order, and a negative height saying so.
inline Bytes TopDown(const Bytes& b) {
  const std::uint32_t offset = U32(b, kPixelOffsetAt);
  const auto width = static_cast<std::int32_t>(U32(b, kWidthAt));
  const auto height = static_cast<std::int32_t>(U32(b, kHeightAt));
  const std::uint32_t bits = std::uint32_t{b[kBitsAt]} | std::uint32_t{b[kBitsAt + 1]} << 8;
  const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
  Bytes out(b.begin(), b.begin() + offset);
  for (std::int32_t row = height; row-- > 0;) {
    const auto at = b.begin() + static_cast<std::ptrdiff_t>(offset + static_cast<size_t>(row) * stride);
    out.insert(out.end(), at, at + static_cast<std::ptrdiff_t>(stride));
  }
  Put32(out, kHeightAt, static_cast<std::uint32_t>(-height));
  return WithFileSize(out);
}

// A 124-byte header cut to `size` bytes; a 40-byte header with bit fields
// has the masks (three, or four for alpha bit fields) follow it instead.
inline Bytes WithInfoSize(const Bytes& b, std::uint32_t size) {
  const std::uint32_t offset = U32(b, kPixelOffsetAt);
  const std::uint32_t compression = U32(b, kCompressionAt);
  Bytes out(b.begin(), b.begin() + 14 + size);
  if (size == 40 && (compression == 3 || compression == 6)) {
    const size_t masks = compression == 6 ? 16 : 12;
    out.insert(out.end(), b.begin() + 14 + 40, b.begin() + static_cast<std::ptrdiff_t>(14 + 40 + masks));
  }
  const auto removed = static_cast<std::uint32_t>(14 + 124 - out.size());
  out.insert(out.end(), b.begin() + 14 + 124, b.end());
  Put32(out, kInfoSizeAt, size);
  Put32(out, kPixelOffsetAt, offset - removed);
  return WithFileSize(out);
}

inline Bytes WithCompression(Bytes b, std::uint32_t compression) {
  Put32(b, kCompressionAt, compression);
  return b;
}

// Expected pixels of an indexed picture: `rows` of palette indices, top row
// first; -1 for a pixel that must stay black, as does an index the palette
// lacks.
inline Bytes Indexed(const std::vector<std::vector<int>>& rows,
                     const std::vector<std::array<std::uint8_t, 3>>& palette) {
  Bytes rgb;
  for (const auto& row : rows) {
    for (const int i : row) {
      if (i >= 0 && static_cast<size_t>(i) < palette.size()) {
        rgb.insert(rgb.end(), palette[static_cast<size_t>(i)].begin(), palette[static_cast<size_t>(i)].end());
      } else {
        rgb.insert(rgb.end(), {0, 0, 0});
      }
    }
  }
  return rgb;
}

// The files only ImageMagick's writer makes; `convert` options per kind.
struct WrittenKind {
  const char* name;
  int colours;
  bool alpha;
  const char* options;
  std::vector<const char*> formats;
};

inline std::vector<Entry> WriteMatrix(const std::string& folder) {
  std::vector<Entry> entries;
  auto path = [&](const std::string& name) { return (std::filesystem::path(folder) / name).string(); };
  auto add_variant = [&](const std::string& name, const Bytes& bytes, const std::string& reference,
                         std::uint32_t w, std::uint32_t h) {
    WriteFile(path(name), bytes);
    entries.push_back(Entry{name, reference, {}, w, h, entries.back().four_bit_fields});
  };

  const WrittenKind kinds[] = {
      {"1bit", 2, false, "-type Palette", {"BMP2", "BMP3", "BMP"}},
      {"4bit", 16, false, "-type Palette", {"BMP2", "BMP3", "BMP"}},
      {"8bit", 250, false, "-type Palette -compress None", {"BMP2", "BMP3", "BMP"}},
      {"rle8-250", 250, false, "-type Palette -compress RLE", {"BMP3", "BMP"}},
      {"rle8-16", 16, false, "-type Palette -compress RLE", {"BMP3", "BMP"}},
      {"rgb565", 250, false, "-define bmp:subtype=RGB565", {"BMP"}},
      {"rgb555", 250, false, "-define bmp:subtype=RGB555", {"BMP"}},
      {"argb4444", 250, true, "-define bmp:subtype=ARGB4444", {"BMP"}},
      {"argb1555", 250, true, "-define bmp:subtype=ARGB1555", {"BMP"}},
      {"24bit", 250, false, "-type TrueColor", {"BMP2", "BMP3", "BMP"}},
      {"32bit", 250, true, "", {"BMP"}},
      {"32bit-plain", 250, true, "-define bmp3:alpha=true", {"BMP3"}},
  };
  // Odd widths leave padding at every row end; one column and one row are
  // the narrowest; 25 × 11 has room for 250 colours.
  const std::array<std::array<int, 2>, 3> sizes = {{{13, 5}, {1, 3}, {25, 11}}};
  for (const WrittenKind& kind : kinds) {
    for (const auto& [w, h] : sizes) {
      const std::string source = path(std::string(kind.name) + "-" + std::to_string(w) + "x" +
                                      std::to_string(h) + (kind.alpha ? ".pam" : ".ppm"));
      WriteSource(source, kind.colours, w, h, kind.alpha);
      // One run writes every format of a kind.
      const std::string size_name = std::to_string(w) + "x" + std::to_string(h);
      std::string outputs;
      for (size_t i = 0; i < kind.formats.size(); ++i) {
        const std::string format = kind.formats[i];
        if (i + 1 < kind.formats.size()) outputs += "-write ";
        outputs += format + ":'" + path(format + "-" + kind.name + "-" + size_name + ".bmp") + "' ";
      }
      RunImageMagick("'" + source + "' " + kind.options + " " + outputs);
      for (const std::string format : kind.formats) {
        const std::string stem = format + "-" + kind.name + "-" + size_name;
        const Bytes bytes = ReadFile(path(stem + ".bmp"));
        const auto uw = static_cast<std::uint32_t>(w), uh = static_cast<std::uint32_t>(h);
        // ImageMagick writes the row padding into its RLE8 streams, and on
        // reading one column wide such a run spills into the next row; the
        // picture the file was made from is the truth there (and the palette
        // holds its colours exactly).
        const bool rle = std::string(kind.name).starts_with("rle8");
        const std::string source_name = std::filesystem::path(source).filename().string();
        entries.push_back(Entry{stem + ".bmp", rle ? source_name : stem + ".bmp", {}, uw, uh});
        const bool four_bit_fields = std::string(kind.name) == "argb4444";
        entries.back().four_bit_fields = four_bit_fields;
        if (w != 13) continue;  // the variations on one size are enough

        const std::uint32_t info_size = U32(bytes, kInfoSizeAt);
        const std::uint32_t compression = info_size == 12 ? 0 : U32(bytes, kCompressionAt);
        add_variant(stem + "-gap.bmp", WithGap(bytes, 7), "", uw, uh);
        if (info_size != 12 && compression != 1)
          add_variant(stem + "-topdown.bmp", TopDown(bytes), "", uw, uh);
        if (info_size == 124) {
          for (const std::uint32_t size : {108u, 56u, 52u, 40u}) {
            add_variant(stem + "-info" + std::to_string(size) + ".bmp", WithInfoSize(bytes, size), "", uw,
                        uh);
          }
          if (compression == 3) {
            // ImageMagick does not read alpha bit fields; the pixels are those
            // of the file they were made from.
            const Bytes alpha_fields = WithCompression(bytes, 6);
            add_variant(stem + "-alphafields.bmp", alpha_fields, stem + ".bmp", uw, uh);
            add_variant(stem + "-alphafields40.bmp", WithInfoSize(alpha_fields, 40), stem + ".bmp", uw, uh);
          }
        }
      }
    }
  }
  for (Entry& e : entries) {
    if (e.reference.empty()) e.reference = e.name;
  }

  const std::vector<std::array<std::uint8_t, 3>> colours = {{200, 30, 40}, {10, 220, 30}, {20, 40, 250},
                                                            {255, 255, 0}, {90, 90, 90},  {0, 200, 200}};
  auto add = [&](const std::string& name, const testbmp::RawBmp& crafted, const std::string& reference,
                 const Bytes& expected) {
    WriteFile(path(name), crafted.Encode());
    entries.push_back(
        Entry{name, reference, expected, static_cast<std::uint32_t>(crafted.width),
              static_cast<std::uint32_t>(crafted.height < 0 ? -crafted.height : crafted.height)});
  };

  // RLE4, 7 × 3: a run that alternates two indices, an odd literal run with
  // its padding, a run cut at the row's end; nothing skipped, so ImageMagick
  // agrees.
  {
    testbmp::RawBmp c{7, 3, 4, 2, 6, testbmp::RawPalette(colours), {}};
    c.pixels = {7, 0x12,                       // bottom row: 1 2 1 2 1 2 1
                0, 0,                          // end of line
                0, 5,    0x34, 0x50, 0x12, 0,  // literal 3 4 5 0 1, padded to a word
                2, 0x22,                       // 2 2
                0, 0,                          //
                9, 0x45,                       // 4 5 4 5 4 5 4, cut after seven
                0, 1};                         // end of bitmap
    add("crafted-rle4.bmp", c, "crafted-rle4.bmp",
        Indexed({{4, 5, 4, 5, 4, 5, 4}, {3, 4, 5, 0, 1, 2, 2}, {1, 2, 1, 2, 1, 2, 1}}, colours));
  }
  // RLE4 and RLE8 streams that skip pixels by delta, by an early end of line
  // and by an early end of the bitmap: those stay black, whatever the
  // palette's first entry is (ImageMagick paints them with it).
  {
    testbmp::RawBmp c{6, 4, 4, 2, 6, testbmp::RawPalette(colours), {}};
    c.pixels = {2, 0x33,        // bottom row: 3 3, the rest skipped by the end of line
                0, 0,           //
                0, 2,    1, 1,  // delta from column 0 of the second row: one right, one up
                3, 0x45,        // 4 5 4 from column 1 of the third row from the bottom
                0, 1};          // the top row is never reached
    add("crafted-rle4-skips.bmp", c, "",
        Indexed({{-1, -1, -1, -1, -1, -1},
                 {-1, 4, 5, 4, -1, -1},
                 {-1, -1, -1, -1, -1, -1},
                 {3, 3, -1, -1, -1, -1}},
                colours));
  }
  {
    testbmp::RawBmp c{5, 3, 8, 1, 6, testbmp::RawPalette(colours), {}};
    c.pixels = {1, 5,        // bottom row: 5, skipped rest
                0, 0,        //
                0, 2, 2, 0,  // two right on the middle row
                0, 3, 1, 2,  // literal 1 2 3 with a pad byte
                3, 0,        //
                0, 1};       // the top row is never reached
    add("crafted-rle8-skips.bmp", c, "",
        Indexed({{-1, -1, -1, -1, -1}, {-1, -1, 1, 2, 3}, {5, -1, -1, -1, -1}}, colours));
  }
  // Palettes shorter and longer than the depth implies: an index beyond the
  // entries the file gives reads as black. (ImageMagick refuses the longer.)
  {
    testbmp::RawBmp c{4, 2, 8, 0, 2, testbmp::RawPalette({colours[0], colours[1]}), {}};
    c.pixels = {0, 1, 2, 255, 1, 0, 77, 3};  // bottom row, then top row
    add("crafted-8bit-short-palette.bmp", c, "", Indexed({{1, 0, -1, -1}, {0, 1, -1, -1}}, colours));
  }
  {
    std::vector<std::array<std::uint8_t, 3>> twenty(20, {1, 2, 3});
    for (size_t i = 0; i < 6; ++i) twenty[i] = colours[i];
    testbmp::RawBmp c{4, 1, 4, 0, 20, testbmp::RawPalette(twenty), {0x01, 0x25, 0, 0}};
    add("crafted-4bit-long-palette.bmp", c, "", Indexed({{0, 1, 2, 5}}, colours));
  }
  // Bit-field masks of widths no writer uses, by hand: 32 bits 10-10-10,
  // 16 bits 3-3-3 plus an empty blue mask, and a 12-bit red. A narrow field
  // repeats its bits (3-bit 1 = 001 -> 00100100), a wide one keeps its top
  // eight bits.
  {
    testbmp::RawBmp c{3, 1, 32, 3, 0, {}, {}};
    Append32(c.after_header, 0x3FF00000);
    Append32(c.after_header, 0x000FFC00);
    Append32(c.after_header, 0x000003FF);
    Append32(c.pixels, 0x3FF00000 | (512u << 10) | 1u);
    Append32(c.pixels, (3u << 20) | (1023u << 10) | 1020u);
    Append32(c.pixels, 0xC0000000);  // only the unused top bits
    add("crafted-32bit-masks-10.bmp", c, "", {255, 128, 0, 0, 255, 255, 0, 0, 0});
  }
  {
    testbmp::RawBmp c{4, 1, 16, 3, 0, {}, {}};
    Append32(c.after_header, 0x01C0);  // red: bits 6..8
    Append32(c.after_header, 0x0E00);  // green: bits 9..11
    Append32(c.after_header, 0);       // blue: none
    for (const std::uint32_t v : {0x0040u, 0x0200u | 0x0100u, 0x0E00u | 0x01C0u, 0xF03Fu}) {
      Append16(c.pixels, v);  // the last has bits only outside the masks
    }
    add("crafted-16bit-masks-3.bmp", c, "", {36, 0, 0, 146, 36, 0, 255, 255, 0, 0, 0, 0});
  }
  {
    testbmp::RawBmp c{2, 1, 32, 3, 0, {}, {}};
    Append32(c.after_header, 0x00000FFF);
    Append32(c.after_header, 0x00FF0000);
    Append32(c.after_header, 0x80000000);
    Append32(c.pixels, 0x80000800);
    Append32(c.pixels, 0x00AB07FF);
    add("crafted-32bit-masks-12-1.bmp", c, "", {128, 0, 255, 127, 171, 0});
  }
  return entries;
}

}  // namespace bmp_matrix
