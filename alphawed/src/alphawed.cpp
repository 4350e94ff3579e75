#include "alphawed/alphawed.h"

#include <exception>
#include <new>
#include <optional>

#include "alphawed/bitmap.h"
#include "alphawed/tga_writer.h"
#include "platform/platform.h"

namespace alphawed {

std::string UnreadableBitmapText(const std::string& path) {
  return "File " + path + " couldn't be read as a bitmap";
}

std::string TooLargeBitmapText(const std::string& path) {
  return "File " + path + " holds too large a bitmap";
}

namespace {

void ShowError(std::string text) {
  platform::ShowMessage(platform::MessageRequest{std::string(kErrorTitle), std::move(text),
                                                 platform::MessageIcon::kNone, nullptr});
}

// Loads one input, or shows why it cannot be used and returns nullopt.
std::optional<Bitmap> LoadOrReport(const std::string& path) {
  LoadResult result = LoadBmpFile(path);
  if (!result.bitmap) {
    ShowError(result.error == LoadError::kTooLarge ? TooLargeBitmapText(path)
                                                   : UnreadableBitmapText(path));
  }
  return std::move(result.bitmap);
}

}  // namespace

void MergeAlpha(const Arguments& arguments) {
  const bool has_alpha = arguments.HasAlphaBitmap();
  if ((has_alpha && !platform::Exists(arguments.alpha_bmp)) ||
      !platform::Exists(arguments.colour_bmp)) {
    ShowError(std::string(kMissingInputText));
    return;
  }

  std::optional<Bitmap> alpha;
  if (has_alpha) {
    alpha = LoadOrReport(arguments.alpha_bmp);
    if (!alpha) return;
  }
  const std::optional<Bitmap> colour = LoadOrReport(arguments.colour_bmp);
  if (!colour) return;

  const std::vector<std::uint8_t> tga = EncodeTga(*colour, alpha ? &*alpha : nullptr);
  // An existing file of the name is replaced under the spelling it has on
  // disk, as the file system would when names differ only in capitals.
  const std::string output =
      arguments.tga_name.empty() ? std::string()
                                 : platform::LongPathName(arguments.tga_name).value_or(arguments.tga_name);
  // An output that cannot be written ends the run silently, as callers expect.
  WriteFileReplacing(output, tga);
}

void Run(std::string_view raw_command_line, const std::string& program_folder) {
  try {
    platform::SetCurrentFolder(program_folder);
    MergeAlpha(ParseArguments(raw_command_line));
  } catch (const std::bad_alloc&) {
    ShowError("Memory couldn't be allocated");
  } catch (const std::exception&) {
    // Nothing else is expected here; the run simply ends.
  }
}

}  // namespace alphawed
