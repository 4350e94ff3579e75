// Unpacking a pack into a work folder: one colour bitmap per image, an alpha
// bitmap where the image carries transparency, and the list index.fsh.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace fshtool {

// A file or folder that could not be read or written.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kIndexFileName = "index.fsh";
inline constexpr unsigned kMaxMipRequest = 9;  // levels the encoder can make

// "0007.BMP" and "0007-a.BMP" for the image numbered 7.
std::string BitmapName(std::size_t number);
std::string AlphaBitmapName(std::size_t number);

// The first field of an image line, made from a directory name: safe as a
// file name, never read by the list reader as a mip request or an alpha
// line, and with "-" and the level count appended when mip levels are stored.
std::string EntryName(std::string_view directory_name, unsigned stored_mip_levels);

// The first line of index.fsh. It names the pack and the directory id and
// can never be taken for an image line.
std::string IndexHeaderLine(std::string_view pack_name, std::string_view directory_id);

struct UnpackReport {
  std::size_t images = 0;             // image lines written
  std::vector<std::string> problems;  // one line per object skipped
};

// Reads the pack and fills the work folder, creating it when needed. The
// bitmaps and list of an earlier run are removed first, but only when the
// folder's index.fsh is one this program wrote, and only under the exact
// names it writes; a file of the user's under a name this run would write
// (or one the pipeline would mistake for it) stops the run before anything
// is written. index.fsh is written last, and a run that fails removes the
// bitmaps it wrote, so it leaves no list and nothing of its own.
// Throws FshError for an unreadable pack, OutputError when writing fails.
UnpackReport UnpackPack(const std::string& pack_path, const std::string& work_folder);

}  // namespace fshtool
