#include "packrat/ui/cli.h"

#include <ostream>

#include "packrat/ui/commands.h"
#include "roadfire_version.h"

namespace packrat {

namespace {

constexpr const char* kUsage =
    "Usage: packrat-cli unpack FILE.crp...   expand each archive into FILE.drp beside it\n"
    "       packrat-cli pack FILE.drp...     compress each image into FILE.crp beside it\n"
    "       packrat-cli --help               show this text\n"
    "The output name replaces the third character from the end of the input name\n"
    "(d for unpack, c for pack); an existing output file is replaced.\n"
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

}  // namespace

int RunPackratCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
    out << kUsage;
    return 0;
  }
  if (arguments.size() < 2 || (arguments[0] != "unpack" && arguments[0] != "pack")) {
    err << kUsage;
    return 2;
  }
  const bool unpack = arguments[0] == "unpack";
  ConsoleReporter reporter(out, err);
  bool all_ok = true;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const bool ok = unpack ? UnpackArchive(arguments[i], reporter) : PackArchive(arguments[i], reporter);
    all_ok = all_ok && ok;
  }
  return all_ok ? 0 : 1;
}

}  // namespace packrat
