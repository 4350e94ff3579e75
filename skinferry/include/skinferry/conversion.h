// The two steps that carry one image from its bitmaps to a PTX texture:
// alphawed merges colour and alpha into a TGA in the output folder, then
// mipmill encodes that TGA into a PTX beside it.
#pragma once

#include <string>

#include "skinferry/host.h"
#include "skinferry/image_list.h"
#include "skinferry/screen.h"

namespace skinferry {

// alphawed's own marker for "there is no alpha bitmap": with it, alphawed
// writes a 24-bit TGA from the colour bitmap alone.
inline constexpr std::string_view kAlphawedNoAlphaMarker = "No alpha image";

// Where the tools lie, relative to the program folder.
std::string AlphawedPath(const std::string& program_folder);
std::string MipmillPath(const std::string& program_folder);

// Parameter strings, exactly as the tools receive them.
std::string MergeAlphaParameters(const std::string& bmp_path, const std::string& alpha_path,
                                 const std::string& tga_path);
std::string EncodePtxParameters(const std::string& tga_name, const std::string& output_folder);
// "name.tga" -> "name.ptx".
std::string PtxNameFor(const std::string& tga_name);

// The alpha path handed to alphawed for an entry: the work-folder path of
// its alpha bitmap, or alphawed's no-alpha marker when it has none.
std::string AlphaArgument(const std::string& work_folder, const std::string& alpha_name);

class Converter {
 public:
  Converter(Host& host, Screen& screen, std::string program_folder)
      : host_(host), screen_(screen), program_folder_(std::move(program_folder)) {}

  // False only when alphawed could not be started; whether it wrote a TGA
  // is not examined.
  bool MergeAlpha(const std::string& bmp_path, const std::string& alpha_path, const std::string& tga_path);
  // Starts mipmill, shows the PTX name and returns it, whatever mipmill did.
  std::string EncodePtx(const std::string& tga_name, const std::string& output_folder);

 private:
  Host& host_;
  Screen& screen_;
  std::string program_folder_;
};

}  // namespace skinferry
