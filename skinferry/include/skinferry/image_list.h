// Reader of index.fsh, the image list that fshtool leaves in the work folder.
//
// Besides reading lines it settles each image's names against the disk: the
// colour bitmap (the list may name it by a numbered pattern), a TGA name that
// collides with nothing in the output folder, and the alpha bitmap.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "skinferry/host.h"

namespace skinferry {

inline constexpr std::string_view kNoAlphaImage = "No Alpha Image";

struct ImageEntry {
  std::string bmp_name;    // colour bitmap in the work folder
  std::string alpha_name;  // alpha bitmap in the work folder, or kNoAlphaImage
  std::string tga_name;    // TGA to write into the output folder
};

enum class ReadResult {
  kFound,      // the entry holds the next image
  kEndOfList,  // nothing more to read; the entry is unchanged
  kNoBitmap,   // an image line whose bitmap exists under no number; the
               // entry holds an empty bmp_name and alpha_name and the TGA name
};

// Splits a byte buffer into lines ended by CR, LF, CR LF or a zero byte.
class LineSource {
 public:
  explicit LineSource(std::string bytes) : bytes_(std::move(bytes)) {}
  // The next line, or nullopt once the end has been reached.
  std::optional<std::string> Next();

 private:
  std::string bytes_;
  size_t position_ = 0;
};

// Whether a list line names an image: it ends in ".BMP", letter case counting.
bool IsImageLine(std::string_view line);

class ImageListReader {
 public:
  ImageListReader(Host& host, std::string work_folder, std::string output_folder);

  // Opens work folder/index.fsh (a missing list reads as an empty one and is
  // never created) and settles its first image line, whatever it begins with.
  ReadResult ReadFirstImage(ImageEntry& entry);
  // Looks at up to six further lines for an image line that does not begin
  // with "alpha"; the seventh line read ends the list.
  ReadResult ReadNextImage(ImageEntry& entry);
  void CloseImageList();

 private:
  ReadResult Resolve(std::string_view line, ImageEntry& entry);
  std::optional<std::string> FindBitmap(const std::string& pattern);
  std::string FreeTgaName(const std::string& entry_name);
  std::string FindAlpha(const std::string& bmp_name);
  bool ExistsIn(const std::string& folder, const std::string& name);

  Host& host_;
  std::string work_folder_;
  std::string output_folder_;
  std::optional<LineSource> lines_;
};

}  // namespace skinferry
