#include "packrat/ui/cli.h"

#include <new>
#include <ostream>

#include "packrat/archive/error.h"
#include "packrat/ui/commands.h"
#include "packrat/ui/explorer.h"
#include "roadfire_version.h"

namespace packrat {

namespace {

constexpr const char* kUsage =
    "Usage: packrat-cli unpack FILE.crp...      expand each archive into FILE.drp beside it\n"
    "       packrat-cli pack FILE.drp...        compress each image into FILE.crp beside it\n"
    "       packrat-cli list [--json] FILE      show what an archive holds\n"
    "       packrat-cli extract FILE [FOLDER]   take an archive apart into a folder\n"
    "       packrat-cli build FOLDER OUTPUT     put an extracted folder back together\n"
    "       packrat-cli --help                  show this text\n"
    "unpack and pack: the output name replaces the third character from the end of\n"
    "the input name (d for unpack, c for pack); an existing output file is replaced.\n"
    "list: FILE is a .crp (compressed or stored) or a .drp. Prints every article\n"
    "with its parts and every entry (id and param in hexadecimal, tag, length), then\n"
    "a summary line; with --json, one JSON document shaped like archive.json.\n"
    "extract: writes FOLDER/archive.json, the manifest, and one file per chunk with\n"
    "its bytes. FOLDER defaults to FILE without its extension and must not exist or\n"
    "be empty.\n"
    "build: reads FOLDER/archive.json and the chunk files it names (edit them\n"
    "freely: reorder, add or remove chunks, change their lengths) and writes OUTPUT,\n"
    "compressed when it ends in .crp, a bare image when it ends in .drp. Anything\n"
    "wrong is refused with one line saying what and where, and nothing is written.\n"
    "\n"
    "Roadfire tools " ROADFIRE_VERSION_STRING ", under the MIT licence (see LICENSE).\n";

class ConsoleReporter final : public CommandReporter {
 public:
  ConsoleReporter(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
  void ShowStatus(const std::string& text) override { out_ << text << '\n' << std::flush; }
  void ShowError(const std::string& text) override { err_ << text << '\n' << std::flush; }

 private:
  std::ostream& out_;
  std::ostream& err_;
};

// One explorer command: exit status 1 and one line on standard error when it
// is refused.
template <typename Command>
int RunExplorer(std::ostream& err, Command command) {
  try {
    command();
    return 0;
  } catch (const ArchiveError& error) {
    err << error.what() << '\n' << std::flush;
  } catch (const std::bad_alloc&) {
    err << texts::kNoMemory << '\n' << std::flush;
  }
  return 1;
}

}  // namespace

int RunPackratCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
    out << kUsage;
    return 0;
  }
  const std::size_t count = arguments.size();
  const std::string command = count == 0 ? "" : arguments[0];
  if (command == "list" && ((count == 2 && arguments[1] != "--json") || (count == 3 && arguments[1] == "--json"))) {
    return RunExplorer(err, [&] { ListArchive(arguments.back(), count == 3, out); });
  }
  if (command == "extract" && (count == 2 || count == 3)) {
    return RunExplorer(err, [&] {
      const std::string folder = count == 3 ? arguments[2] : DefaultExtractFolder(arguments[1]);
      const std::size_t chunks = ExtractArchive(arguments[1], folder);
      out << "Extracted " << chunks << (chunks == 1 ? " chunk" : " chunks") << " into " << folder << '\n';
    });
  }
  if (command == "build" && count == 3) {
    return RunExplorer(err, [&] {
      const std::size_t chunks = BuildArchive(arguments[1], arguments[2]);
      out << "Built " << arguments[2] << " from " << chunks << (chunks == 1 ? " chunk" : " chunks") << '\n';
    });
  }
  if (count < 2 || (command != "unpack" && command != "pack")) {
    err << kUsage;
    return 2;
  }
  const bool unpack = command == "unpack";
  ConsoleReporter reporter(out, err);
  bool all_ok = true;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const bool ok = unpack ? UnpackArchive(arguments[i], reporter) : PackArchive(arguments[i], reporter);
    all_ok = all_ok && ok;
  }
  return all_ok ? 0 : 1;
}

}  // namespace packrat
