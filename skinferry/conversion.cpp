#include "skinferry/conversion.h"

#include "platform/platform.h"

namespace skinferry {

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The tool's folder with a separator at its end: the folder it runs in.
std::string FolderOf(const std::string& program_path) {
  return program_path.substr(0, program_path.rfind(platform::kPathSeparator) + 1);
}

}  // namespace

// The two literals spell the sub-folder differently; names are matched
// ignoring letter case on every system, so both find the same folder.
std::string AlphawedPath(const std::string& program_folder) {
  return platform::JoinPath(platform::JoinPath(program_folder, "needed_Exes"), "alphawed.exe");
}

std::string MipmillPath(const std::string& program_folder) {
  return platform::JoinPath(platform::JoinPath(program_folder, "needed_exes"), "MIPMILL.exe");
}

std::string MergeAlphaParameters(const std::string& bmp_path, const std::string& alpha_path,
                                 const std::string& tga_path) {
  return Quoted(bmp_path) + " " + Quoted(alpha_path) + " " + Quoted(tga_path);
}

std::string EncodePtxParameters(const std::string& tga_name, const std::string& output_folder) {
  const std::string quoted_tga = Quoted(platform::JoinPath(output_folder, tga_name));
  // "name-N.tga" asks mipmill for option -N; any non-digit N counts as 0.
  const size_t length = tga_name.size();
  if (length >= 6 && tga_name[length - 6] == '-') {
    const char level = tga_name[length - 5];
    const int value = (level >= '0' && level <= '9') ? level - '0' : 0;
    return "-" + std::to_string(value) + " " + quoted_tga;
  }
  return quoted_tga;
}

std::string PtxNameFor(const std::string& tga_name) {
  return tga_name.substr(0, tga_name.size() >= 4 ? tga_name.size() - 4 : 0) + ".ptx";
}

std::string AlphaArgument(const std::string& work_folder, const std::string& alpha_name) {
  if (alpha_name == kNoAlphaImage) return std::string(kAlphawedNoAlphaMarker);
  return platform::JoinPath(work_folder, alpha_name);
}

bool Converter::MergeAlpha(const std::string& bmp_path, const std::string& alpha_path,
                           const std::string& tga_path) {
  const std::string program = AlphawedPath(program_folder_);
  std::string messages;
  const bool started =
      host_.StartAndWait(program, MergeAlphaParameters(bmp_path, alpha_path, tga_path), FolderOf(program), messages);
  screen_.ShowToolMessages(messages);
  return started;
}

std::string Converter::EncodePtx(const std::string& tga_name, const std::string& output_folder) {
  const std::string program = MipmillPath(program_folder_);
  std::string messages;
  host_.StartAndWait(program, EncodePtxParameters(tga_name, output_folder), FolderOf(program), messages);
  screen_.ShowToolMessages(messages);
  std::string ptx_name = PtxNameFor(tga_name);
  screen_.ShowField(Field::kPtx, ptx_name);
  return ptx_name;
}

}  // namespace skinferry
