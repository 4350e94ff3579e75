// Skinferry's index.fsh reader with its name resolution, on any list and any
// set of files. The input is the list, then (after a zero byte pair) one name
// a line of files that exist: in the work folder, or in the output folder
// when the name starts with "o:". Reading must end, every image found must
// name an existing bitmap, and its TGA name must collide with no file in the
// output folder.
#include "skinferry/image_list.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "skinferry/fake_host.h"

namespace {

using skinferry::testing::FakeHost;
using skinferry::testing::P;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find(std::string_view("\0\0", 2));
  const std::string_view list = input.substr(0, split);
  const std::string_view files =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 2);

  const std::string work = P({"temp", "TPC"});
  const std::string out = P({"prog", "pack"});
  FakeHost host;
  host.AddFolder(out);
  host.AddFile(platform::JoinPath(work, "index.fsh"), std::string(list));
  std::size_t start = 0;
  while (start < files.size()) {
    std::size_t end = files.find('\n', start);
    if (end == std::string_view::npos) end = files.size();
    std::string name(files.substr(start, end - start));
    start = end + 1;
    // Only plain names: a separator or a dot name would point elsewhere.
    if (name.empty() || name.find_first_of(std::string("/\\\0", 3)) != std::string::npos) continue;
    const bool in_output = name.size() > 2 && name.compare(0, 2, "o:") == 0;
    if (in_output) name.erase(0, 2);
    if (name.empty() || name == "." || name == ".." || name == "index.fsh") continue;
    host.AddFile(platform::JoinPath(in_output ? out : work, name));
  }

  skinferry::ImageListReader reader(host, work, out);
  skinferry::ImageEntry entry;
  skinferry::ReadResult result = reader.ReadFirstImage(entry);
  // The driver's loop: on until the end, a repeat, or a line without a bitmap.
  std::string previous = "first";
  for (int images = 0; images < 1000000; ++images) {
    if (result == skinferry::ReadResult::kFound) {
      FUZZ_CHECK(!entry.bmp_name.empty() && host.Has(platform::JoinPath(work, entry.bmp_name)));
      FUZZ_CHECK(entry.alpha_name == skinferry::kNoAlphaImage ||
                 host.Has(platform::JoinPath(work, entry.alpha_name)));
      FUZZ_CHECK(!entry.tga_name.empty() && !host.Has(platform::JoinPath(out, entry.tga_name)));
    }
    if (result != skinferry::ReadResult::kFound) break;
    result = reader.ReadNextImage(entry);
    if (result == skinferry::ReadResult::kEndOfList || entry.bmp_name == previous) {
      reader.CloseImageList();
      return 0;
    }
    previous = entry.bmp_name;
  }
  reader.CloseImageList();
  return 0;
}
