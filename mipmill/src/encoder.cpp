#include "mipmill/encoder.h"

#include <new>

#include "mipmill/command_line.h"
#include "mipmill/ptx_writer.h"
#include "mipmill/tga_reader.h"
#include "platform/platform.h"
#include "mipmill/texture_pixels.h"

namespace mipmill {

namespace {

constexpr size_t kExtensionLength = 3;

// The name as the file system stores it, so that "CAR.TGA" finds car.tga
// where names are matched by their exact spelling too. A file that does not
// exist keeps its name, with its folder spelled as stored where it exists.
std::string SpelledAsOnDisk(const std::string& path) {
  if (auto found = platform::LongPathName(path)) return *found;
  const size_t cut = platform::kPathSeparator == '/' ? path.rfind('/') : path.find_last_of("/\\");
  if (cut == std::string::npos || cut == 0) return path;
  if (auto folder = platform::LongPathName(path.substr(0, cut))) {
    return platform::JoinPath(*folder, std::string_view(path).substr(cut + 1));
  }
  return path;
}

void ShowUsage() {
  platform::ShowMessage({kUsageTitle, std::string(kUsageText), platform::MessageIcon::kNone, nullptr});
}

}  // namespace

EncoderFileNames DeriveEncoderFileNames(const std::string& file_name) {
  const std::string base = file_name.size() > kExtensionLength
                               ? file_name.substr(0, file_name.size() - kExtensionLength)
                               : std::string();
  return {base + "tga", base + "ptx"};
}

RunOutcome RunEncoder(std::string_view command_line) {
  const EncoderCommand command = ParseEncoderCommandLine(command_line);
  if (command.file_name.empty() || platform::FindEntry(command.file_name) != platform::EntryKind::kFile) {
    ShowUsage();
    return RunOutcome::kUsage;
  }

  const EncoderFileNames names = DeriveEncoderFileNames(command.file_name);
  // The compact form: the channel planes of the library's interface would
  // make the run map four times the memory.
  TexturePixels pixels;
  if (LoadTgaPixels(SpelledAsOnDisk(names.tga), pixels) == LoadResult::kRejected) {
    return RunOutcome::kRejected;
  }
  WritePtxPixels(pixels, command.level_request, SpelledAsOnDisk(names.ptx));
  return RunOutcome::kConverted;
}

void ShowFileLayerFailure(const FileLayerFailure& failure) {
  platform::ShowMessage({kFileErrorTitle, "File error " + std::to_string(failure.code()),
                         platform::MessageIcon::kNone, nullptr});
}

int RunEncoderProgram(std::string_view command_line) {
  try {
    RunEncoder(command_line);
    return 0;
  } catch (const FileLayerFailure& failure) {
    ShowFileLayerFailure(failure);
    return failure.ExitStatus();
  } catch (const std::bad_alloc&) {
    // The picture's buffers can be refused; say so rather than vanish.
    platform::ShowMessage(
        {kFileErrorTitle, "Memory couldn't be allocated", platform::MessageIcon::kNone, nullptr});
    return 1;
  }
}

}  // namespace mipmill
