// The three things ptxtool does, each a function that reports success by
// returning and a refused input or unwritten output by raising Refusal
// (running out of memory raises std::bad_alloc).
#pragma once

#include <ostream>
#include <string>

#include "mipmill/texture_pixels.h"

namespace ptxtool {

// Writes the texture's size, source depth and levels to `out`, then whether
// it is consistent and, if not, what is wrong. True when consistent.
bool DescribePtx(const std::string& ptx, std::ostream& out);

struct ExportRequest {
  std::string ptx;
  std::string png;  // empty: DefaultExportName
  int level = 1;
  bool sheet = false;  // every level side by side instead of one
};

// The level's pixels as a PNG: RGBA for a 32-bit source, RGB for a 24-bit one.
void ExportPtx(const ExportRequest& request);

struct ImportRequest {
  std::string picture;
  std::string ptx;        // empty: DefaultImportName
  int level_request = 0;  // as mipmill takes it: 1 to 9, anything else every level
};

// The picture as a PTX texture, byte for byte what mipmill writes for the
// same pixels: 32-bit when the picture has alpha, 24-bit otherwise.
void ImportPicture(const ImportRequest& request);

// A PNG, a BMP (both told by their first bytes) or a TGA (told by its name)
// in mipmill's compact form. Refuses a picture whose sides are not powers of
// two from 8 to 1024, naming the size found.
mipmill::TexturePixels LoadPicture(const std::string& path);

// FILE.ptx gives FILE.png for level 1, FILE-N.png for level N and
// FILE-sheet.png for the sheet.
std::string DefaultExportName(const std::string& ptx, int level, bool sheet);
// PICTURE.png (or .tga, .bmp) gives PICTURE.ptx.
std::string DefaultImportName(const std::string& picture);

}  // namespace ptxtool
