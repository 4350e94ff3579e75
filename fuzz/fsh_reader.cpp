// fshtool's pack reader on any bytes: a refusal of the whole pack, or a
// directory whose every object decodes, is skipped as broken, or is a
// palette. A decoded picture has exactly its pixels and makes a bitmap of
// exactly the size its header gives; list names are single safe words.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fshtool/bmp.h"
#include "fshtool/pack.h"
#include "fshtool/unpack.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const fshtool::PackReader pack(std::vector<std::uint8_t>(data, data + size));
    const auto& entries = pack.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const fshtool::DecodedObject object = pack.DecodeObject(i);
      const std::string name = fshtool::EntryName(entries[i].name, object.mip_levels);
      FUZZ_CHECK(!name.empty() && name.find(' ') == std::string::npos &&
                 name.find('\n') == std::string::npos);
      if (object.kind != fshtool::ObjectKind::kImage) continue;
      const fshtool::Picture& picture = object.picture;
      FUZZ_CHECK(picture.rgba.size() == std::size_t{picture.width} * picture.height * 4);
      for (const fshtool::BmpPlane plane : {fshtool::BmpPlane::kColour, fshtool::BmpPlane::kAlpha}) {
        std::uint64_t written = 0;
        FUZZ_CHECK(fshtool::WriteBmp(picture, plane, [&](const std::uint8_t*, std::size_t count) {
          written += count;
          return true;
        }));
        FUZZ_CHECK(written == fshtool::BmpHeader{picture.width, picture.height}.FileBytes());
      }
    }
  } catch (const fshtool::FshError&) {
  }
  return 0;
}
