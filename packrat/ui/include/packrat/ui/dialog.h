// Packrat's window: one modeless dialog with Decompress, Compress and Exit
// buttons and a read-only status line, over the archive commands.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace packrat {

inline constexpr int kPackerDialogTemplate = 101;
inline constexpr int kDecompressButton = 1000;
inline constexpr int kCompressButton = 1001;
inline constexpr int kExitButton = 1002;
inline constexpr int kStatusLine = 1003;

enum class PickerKind { kUnpack, kPack };

// What the dialog asks of the system, replaceable so tests can drive it
// without a real file picker or a box that waits for a user.
struct DialogHooks {
  // Returns the chosen path, or nothing when the picker was cancelled or failed.
  std::function<std::optional<std::string>(HWND owner, PickerKind kind)> pick_file;
  std::function<void(HWND owner, const std::string& text)> show_error;
};

DialogHooks SystemDialogHooks();

// Creates the (hidden) dialog from its template. `hooks` must outlive it.
HWND CreatePackerDialog(HINSTANCE instance, const DialogHooks& hooks);

// The whole program: create, show, run the message loop; the exit code.
int RunPackrat(HINSTANCE instance, int show_mode);

}  // namespace packrat

#endif
