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

// Shows why an input could not be used.
std::optional<Bitmap> Reported(LoadResult result, const std::string& path) {
  if (!result.bitmap) {
    ShowError(result.error == LoadError::kTooLarge ? TooLargeBitmapText(path) : UnreadableBitmapText(path));
  }
  return std::move(result.bitmap);
}

// The output name spelled as the file system stores it: an existing file of
// that name, or the folder it goes into, may differ in capitals from the name
// given, and the file system matches names ignoring them.
std::string StoredSpelling(const std::string& path) {
  if (std::optional<std::string> whole = platform::LongPathName(path)) return *whole;
  const size_t cut = path.find_last_of("/\\");
  if (cut == std::string::npos || cut == 0) return path;
  if (std::optional<std::string> folder = platform::LongPathName(path.substr(0, cut))) {
    return *folder + path.substr(cut);
  }
  return path;
}

}  // namespace

void MergeAlpha(const Arguments& arguments) {
  const bool has_alpha = arguments.HasAlphaBitmap();
  if ((has_alpha && !platform::Exists(arguments.alpha_bmp)) || !platform::Exists(arguments.colour_bmp)) {
    ShowError(std::string(kMissingInputText));
    return;
  }

  std::optional<Bitmap> alpha;
  if (has_alpha) {
    // Only the alpha bitmap's corner over the colour bitmap is ever read, so
    // only that part is kept, and the alpha bitmap may be of any size. The
    // colour bitmap's headers tell the corner; when they cannot, its loading
    // below fails, and the alpha bitmap is still checked whole first.
    Sides corner = ReadBmpFileSides(arguments.colour_bmp).value_or(Sides{});
    // A colour bitmap beyond the limits is refused below, and named; its
    // sides must not make the alpha bitmap's corner too large first.
    if (corner.width > kMaxSide || corner.height > kMaxSide || corner.width * corner.height > kMaxPixels) {
      corner = Sides{};
    }
    alpha = Reported(LoadBmpFile(arguments.alpha_bmp, corner), arguments.alpha_bmp);
    if (!alpha) return;
  }
  const std::optional<Bitmap> colour = Reported(LoadBmpFile(arguments.colour_bmp), arguments.colour_bmp);
  if (!colour) return;

  const std::vector<std::uint8_t> tga = EncodeTga(*colour, alpha ? &*alpha : nullptr);
  // An output that cannot be written ends the run silently, as callers expect;
  // the safe replace leaves an earlier file of that name as it was.
  platform::ReplaceFileContents(arguments.tga_name.empty() ? std::string() : StoredSpelling(arguments.tga_name), tga);
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
