#include "packrat/ui/dialog.h"

#include <commdlg.h>

#include <vector>

#include "packrat/ui/commands.h"

namespace packrat {

namespace {

// The status line as the commands see it: every change is painted at once,
// because a running command keeps the message loop from painting later.
class DialogReporter final : public CommandReporter {
 public:
  DialogReporter(HWND dialog, const DialogHooks& hooks) : dialog_(dialog), hooks_(hooks) {}

  void ShowStatus(const std::string& text) override { SetStatus(dialog_, text.c_str()); }
  void ShowError(const std::string& text) override { hooks_.show_error(dialog_, text); }

  static void SetStatus(HWND dialog, const char* text) {
    SetDlgItemTextA(dialog, kStatusLine, text);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }

 private:
  HWND dialog_;
  const DialogHooks& hooks_;
};

// Deep folders are common; the picker may return paths well past MAX_PATH.
constexpr DWORD kPathBufferSize = 32768;

std::optional<std::string> ShowSystemPicker(HWND owner, PickerKind kind) {
  std::vector<char> path(kPathBufferSize, '\0');
  OPENFILENAMEA request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = owner;
  request.hInstance = GetModuleHandleA(nullptr);
  request.lpstrFile = path.data();
  request.nMaxFile = kPathBufferSize;
  request.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;  // 6148
  BOOL chosen;
  if (kind == PickerKind::kUnpack) {
    request.lpstrFilter = "Roadfire CRP Files (*.crp)\0*.crp\0";
    request.lpstrTitle = "Select CRP to decompress";
    chosen = GetOpenFileNameA(&request);
  } else {
    request.lpstrFilter = "Roadfire DRP Files (*.drp)\0*.drp\0";
    request.lpstrTitle = "Select DRP to compress";
    chosen = GetSaveFileNameA(&request);
  }
  if (!chosen) return std::nullopt;
  return std::string(path.data());
}

void RunFlow(HWND dialog, const DialogHooks& hooks, PickerKind kind) {
  const std::optional<std::string> path = hooks.pick_file(dialog, kind);
  if (!path) {
    DialogReporter::SetStatus(dialog, status::kReady);
    return;
  }
  DialogReporter reporter(dialog, hooks);
  if (kind == PickerKind::kUnpack) {
    UnpackArchive(*path, reporter);
  } else {
    PackArchive(*path, reporter);
  }
}

INT_PTR CALLBACK PackerDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, GWLP_USERDATA, lparam);
      SetDlgItemTextA(dialog, kStatusLine, status::kReady);
      return TRUE;
    case WM_COMMAND: {
      // Compared as a whole: only a button's click notification starts a command.
      const auto* hooks = reinterpret_cast<const DialogHooks*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
      if (wparam == kDecompressButton) {
        RunFlow(dialog, *hooks, PickerKind::kUnpack);
        return TRUE;
      }
      if (wparam == kCompressButton) {
        RunFlow(dialog, *hooks, PickerKind::kPack);
        return TRUE;
      }
      if (wparam == kExitButton) {
        DestroyWindow(dialog);
        return TRUE;
      }
      return FALSE;  // Escape's Cancel command included: the dialog stays open
    }
    case WM_CLOSE:
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

DialogHooks SystemDialogHooks() {
  return {ShowSystemPicker, [](HWND owner, const std::string& text) {
            MessageBoxA(owner, text.c_str(), nullptr, MB_OK | MB_ICONERROR);
          }};
}

HWND CreatePackerDialog(HINSTANCE instance, const DialogHooks& hooks) {
  return CreateDialogParamA(instance, MAKEINTRESOURCEA(kPackerDialogTemplate), nullptr, PackerDialogProc,
                            reinterpret_cast<LPARAM>(&hooks));
}

int RunPackrat(HINSTANCE instance, int show_mode) {
  const DialogHooks hooks = SystemDialogHooks();
  HWND dialog = CreatePackerDialog(instance, hooks);
  if (dialog == nullptr) return 0;
  ShowWindow(dialog, show_mode);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(dialog, &message)) {
      // Windows of the thread other than the dialog (the system's helpers
      // behind the pickers) still get their messages.
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return static_cast<int>(message.wParam);
}

}  // namespace packrat
