#include "fshtool/cli.h"

#include <new>

#include "fshtool/pack.h"
#include "fshtool/unpack.h"
#include "roadfire_version.h"

namespace fshtool {

namespace {

constexpr const char* kUsage =
    "Usage: fshtool PACK.fsh WORKFOLDER\n"
    "\n"
    "Unpacks the FSH texture pack PACK.fsh into WORKFOLDER (created when needed):\n"
    "  NNNN.BMP     the colour of the NNNN-th image, a 24-bit bitmap\n"
    "  NNNN-a.BMP   its alpha in red, green and blue, for images that carry alpha\n"
    "  index.fsh    a header line, then one line per image: NAME NNNN.BMP\n"
    "               (NAME ends in -N when the image stores mip levels: N levels in all)\n"
    "The bitmaps and index.fsh of an earlier fshtool run in WORKFOLDER are replaced;\n"
    "other files are never touched: if one has a name fshtool would write, it stops.\n"
    "\n"
    "Exit status: 0 done; 2 done, but objects that could not be read were skipped\n"
    "(one line each on standard error); 1 failed, nothing usable written.\n"
    "\n"
    "Roadfire tools " ROADFIRE_VERSION_STRING ", under the MIT licence (see LICENSE).\n";

}  // namespace

int RunFshtool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "/?")) {
    out << kUsage;
    return kExitOk;
  }
  if (arguments.size() != 2 || arguments[0].empty() || arguments[1].empty()) {
    err << "fshtool: expected two arguments, PACK.fsh and WORKFOLDER (fshtool --help shows more)\n";
    return kExitFailed;
  }
  const std::string& pack = arguments[0];
  try {
    const UnpackReport report = UnpackPack(pack, arguments[1]);
    for (const std::string& problem : report.problems) err << "fshtool: " << pack << ": " << problem << '\n';
    return report.problems.empty() ? kExitOk : kExitSomeSkipped;
  } catch (const FshError& error) {
    err << "fshtool: " << pack << ": " << error.what() << '\n';
  } catch (const OutputError& error) {
    err << "fshtool: " << error.what() << '\n';
  } catch (const std::bad_alloc&) {
    err << "fshtool: " << pack << ": not enough memory\n";
  }
  return kExitFailed;
}

}  // namespace fshtool
