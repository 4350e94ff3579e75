#include "ptxtool/cli.h"

#include <new>
#include <optional>

#include "ptxtool/commands.h"
#include "ptxtool/errors.h"
#include "roadfire_version.h"

namespace ptxtool {

namespace {

constexpr const char* kUsage =
    "Usage: ptxtool info FILE.ptx\n"
    "       ptxtool export FILE.ptx [OUT.png] [--level N] [--sheet]\n"
    "       ptxtool import PICTURE [OUT.ptx] [--levels N]\n"
    "\n"
    "info    shows the texture's size, source depth and levels, and whether the\n"
    "        file is consistent (exit status 1 when it is not).\n"
    "export  writes level N (1, the largest, by default) as a PNG: RGBA for a\n"
    "        32-bit source, RGB for a 24-bit one. OUT defaults to FILE.png, or\n"
    "        FILE-N.png for another level. --sheet puts every level side by side\n"
    "        on one transparent PNG (FILE-sheet.png).\n"
    "import  makes a PTX texture from a PNG, a BMP or an uncompressed 24- or\n"
    "        32-bit TGA, with its mip levels (all of them, or the first N, N from\n"
    "        1 to 9). 32-bit when the picture has alpha, 24-bit otherwise. Each\n"
    "        side must be a power of two from 8 to 1024. OUT defaults to\n"
    "        PICTURE.ptx.\n"
    "\n"
    "An existing output file is replaced only once the new one is complete.\n"
    "Exit status: 0 done; 1 an input refused or an output not written (one line\n"
    "on standard error, no output left); 2 a usage error.\n"
    "\n"
    "Roadfire tools " ROADFIRE_VERSION_STRING ", under the MIT licence (see LICENSE).\n";

struct UsageError {
  std::string message;
};

// A whole number from `low` to `high`, written in decimal digits only.
int ParseCount(const std::string& option, const std::string& text, int low, int high) {
  int value = 0;
  bool valid = !text.empty() && text.size() <= 4;
  for (const char c : text) {
    if (c < '0' || c > '9') valid = false;
    if (valid) value = value * 10 + (c - '0');
  }
  if (!valid || value < low || value > high) {
    throw UsageError{option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", not \"" + text + "\""};
  }
  return value;
}

// The words after the command: names, and options of the form --name or
// --name VALUE. Options may stand anywhere; names keep their order.
struct Words {
  std::vector<std::string> names;
  std::optional<std::string> level;
  std::optional<std::string> levels;
  bool sheet = false;
};

Words SplitWords(const std::vector<std::string>& arguments) {
  Words words;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == "--level" || word == "--levels") {
      if (i + 1 >= arguments.size()) throw UsageError{word + " needs a number after it"};
      (word == "--level" ? words.level : words.levels) = arguments[++i];
    } else if (word == "--sheet") {
      words.sheet = true;
    } else if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
      throw UsageError{"unknown option " + word};
    } else {
      words.names.push_back(word);
    }
  }
  return words;
}

void RequireNames(const std::string& command, const Words& words, size_t most) {
  if (words.names.empty() || words.names.front().empty()) throw UsageError{command + " needs a file name"};
  if (words.names.size() > most) throw UsageError{"too many names for " + command + ": " + words.names.back()};
}

int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  const std::string& command = arguments.front();
  const Words words = SplitWords(arguments);
  if (command == "info") {
    if (words.level || words.levels || words.sheet) throw UsageError{"info takes no options"};
    RequireNames(command, words, 1);
    if (DescribePtx(words.names[0], out)) return kExitOk;
    err << "ptxtool: " << words.names[0] << ": not consistent\n";
    return kExitRefused;
  }
  if (command == "export") {
    if (words.levels) throw UsageError{"export takes --level, not --levels"};
    if (words.sheet && words.level) throw UsageError{"--sheet shows every level: give no --level with it"};
    RequireNames(command, words, 2);
    ExportRequest request;
    request.ptx = words.names[0];
    if (words.names.size() > 1) request.png = words.names[1];
    if (words.level) request.level = ParseCount("--level", *words.level, 1, 255);
    request.sheet = words.sheet;
    ExportPtx(request);
    return kExitOk;
  }
  if (command == "import") {
    if (words.level) throw UsageError{"import takes --levels, not --level"};
    if (words.sheet) throw UsageError{"--sheet belongs to export"};
    RequireNames(command, words, 2);
    ImportRequest request;
    request.picture = words.names[0];
    if (words.names.size() > 1) request.ptx = words.names[1];
    if (words.levels) request.level_request = ParseCount("--levels", *words.levels, 1, 9);
    ImportPicture(request);
    return kExitOk;
  }
  throw UsageError{"unknown command \"" + command + "\""};
}

}  // namespace

int RunPtxtool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "/?")) {
    out << kUsage;
    return kExitOk;
  }
  try {
    if (arguments.empty()) throw UsageError{"no command given"};
    return Run(arguments, out, err);
  } catch (const UsageError& usage) {
    err << "ptxtool: " << usage.message << " (ptxtool --help shows the usage)\n";
    return kExitUsage;
  } catch (const Refusal& refusal) {
    err << "ptxtool: " << refusal.what() << '\n';
  } catch (const std::bad_alloc&) {
    err << "ptxtool: Memory couldn't be allocated\n";
  }
  return kExitRefused;
}

}  // namespace ptxtool
