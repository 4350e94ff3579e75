// Stand-in for fshtool, alphawed and mipmill in end-to-end runs of Skinferry.
// It acts as the tool its own file is named after and appends one line
// "tool|working folder|arg|arg..." to the file named by FAKE_TOOL_LOG.
//
// fshtool: the "pack" is text; lines "#make NAME" create NAME in the work
//          folder, lines "#copy NAME FROM" copy the file FROM there as NAME,
//          every other line goes into index.fsh unchanged.
// alphawed: writes "TGA <bmp name> <alpha argument>" to the TGA path.
// mipmill:  writes "PTX <option> <TGA contents>" beside the TGA.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "text_files.h"

namespace fs = std::filesystem;

namespace {

using skinferry_test::ReadAll;
using skinferry_test::WriteAll;

int Fshtool(const std::vector<std::string>& args) {
  if (args.size() != 2) return 2;
  const fs::path work = args[1];
  fs::create_directories(work);
  const std::string pack = ReadAll(args[0]);
  std::string index;
  size_t start = 0;
  while (start < pack.size()) {
    size_t end = pack.find('\n', start);
    end = end == std::string::npos ? pack.size() : end + 1;
    const std::string line = pack.substr(start, end - start);
    start = end;
    std::string body = line;
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
    if (body.rfind("#make ", 0) == 0) {
      const std::string name = body.substr(6);
      WriteAll(work / name, "BM " + name);
    } else if (body.rfind("#copy ", 0) == 0) {
      const size_t space = body.find(' ', 6);
      fs::copy_file(body.substr(space + 1), work / body.substr(6, space - 6),
                    fs::copy_options::overwrite_existing);
    } else {
      index += line;
    }
  }
  WriteAll(work / "index.fsh", index);
  return 0;
}

int Alphawed(const std::vector<std::string>& args) {
  if (args.size() != 3) return 2;
  WriteAll(args[2], "TGA " + fs::path(args[0]).filename().string() + " " + args[1]);
  return 0;
}

int Mipmill(const std::vector<std::string>& args) {
  if (args.empty()) return 2;
  const std::string tga = args.back();
  const std::string option = args.size() == 2 ? args[0] : "none";
  WriteAll(tga.substr(0, tga.size() - 4) + ".ptx", "PTX " + option + " " + ReadAll(tga));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string name = fs::path(argv[0]).filename().string();
  std::transform(name.begin(), name.end(), name.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) name.resize(name.size() - 4);
  const std::vector<std::string> args(argv + 1, argv + argc);

  if (const char* log = std::getenv("FAKE_TOOL_LOG")) {
    std::ofstream out(log, std::ios::app | std::ios::binary);
    out << name << '|' << fs::current_path().string();
    for (const std::string& a : args) out << '|' << a;
    out << '\n';
  }
  if (name == "fshtool") return Fshtool(args);
  if (name == "alphawed") return Alphawed(args);
  if (name == "mipmill") return Mipmill(args);
  return 3;
}
