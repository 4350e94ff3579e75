// Win32 back end of the platform layer: ANSI calls throughout, because every
// text the tools handle is an 8-bit string in the system's code pages.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#include <iostream>
#include <string>

#include "platform/platform.h"

namespace platform {

const char kPathSeparator = '\\';

namespace {

// Owns a kernel handle for the length of one call.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Owns a directory search.
class Search {
 public:
  Search(const std::string& pattern, WIN32_FIND_DATAA& data)
      : handle_(::FindFirstFileA(pattern.c_str(), &data)) {}
  ~Search() {
    if (handle_ != INVALID_HANDLE_VALUE) ::FindClose(handle_);
  }
  Search(const Search&) = delete;
  Search& operator=(const Search&) = delete;
  bool found() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Next(WIN32_FIND_DATAA& data) { return ::FindNextFileA(handle_, &data) != FALSE; }

 private:
  HANDLE handle_;
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Win32 "A" calls that fill a caller's buffer: ask for the size, then fill.
template <typename Call>
std::string FillString(Call call) {
  std::string text(MAX_PATH, '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD got = call(static_cast<DWORD>(text.size()), text.data());
    if (got == 0) return {};
    if (got < text.size()) {
      text.resize(got);
      return text;
    }
    text.resize(static_cast<size_t>(got) + 1);
  }
  return {};
}

}  // namespace

void ShowSystemMessage(const MessageRequest& request) {
  UINT style = MB_OK;
  if (request.icon == MessageIcon::kError) style |= MB_ICONERROR;
  ::MessageBoxA(static_cast<HWND>(request.owner), request.text.c_str(),
                request.title.empty() ? nullptr : request.title.c_str(), style);
}

std::string RawCommandLine(int /*argc*/, char** /*argv*/) { return ::GetCommandLineA(); }

// ---- File system -------------------------------------------------------------

EntryKind FindEntry(const std::string& path) {
  // A directory search would treat wildcards as a pattern and report some
  // other file; no real name can contain them.
  if (path.empty() || path.find_first_of("*?") != std::string::npos) return EntryKind::kMissing;
  std::string wanted = path;
  while (wanted.size() > 1 && IsSeparator(wanted.back()) && wanted[wanted.size() - 2] != ':') {
    wanted.pop_back();
  }
  WIN32_FIND_DATAA data{};
  const Search search(wanted, data);
  if (!search.found()) {
    // Drive roots ("C:\") are not entries of any folder, so a search cannot
    // find them; their attributes tell.
    const DWORD attributes = ::GetFileAttributesA(wanted.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return EntryKind::kMissing;
    }
    return EntryKind::kFolder;
  }
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::kFolder : EntryKind::kFile;
}

std::optional<std::string> LongPathName(const std::string& path) {
  if (path.empty()) return std::nullopt;
  std::string result = FillString([&](DWORD size, char* buffer) {
    return ::GetLongPathNameA(path.c_str(), buffer, size);
  });
  if (result.empty()) return std::nullopt;
  return result;
}

std::string TempFolder() {
  return FillString([](DWORD size, char* buffer) { return ::GetTempPathA(size, buffer); });
}

std::string ExecutablePath() {
  std::string path(MAX_PATH, '\0');
  while (true) {
    const DWORD got = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (got == 0) return {};
    if (got < path.size()) {
      path.resize(got);
      return path;
    }
    if (path.size() > 32768) return {};
    path.resize(path.size() * 2);
  }
}

std::string ExecutableFolder() {
  const std::string path = ExecutablePath();
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);  // keep "C:\" a root
  return path.substr(0, slash);
}

std::string CurrentFolder() {
  return FillString([](DWORD size, char* buffer) { return ::GetCurrentDirectoryA(size, buffer); });
}

bool SetCurrentFolder(const std::string& path) { return ::SetCurrentDirectoryA(path.c_str()) != FALSE; }

bool CreateFolder(const std::string& path) { return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE; }

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  return ::CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool DeleteFileForced(const std::string& path) {
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return ::DeleteFileA(path.c_str()) != FALSE;
}

// DeleteFileA itself refuses a read-only file, as del does.
bool DeleteFileUnlessReadOnly(const std::string& path) { return ::DeleteFileA(path.c_str()) != FALSE; }

bool RemoveEmptyFolder(const std::string& path) { return ::RemoveDirectoryA(path.c_str()) != FALSE; }

std::optional<std::string> NameFromUtf8(const std::string& text) {
  if (text.empty()) return text;
  const int length = static_cast<int>(text.size());
  const int wide_length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (wide_length <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(wide_length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), wide_length);
  // No best-fit letters: "é" must not quietly become "e" and name another file.
  BOOL lossy = FALSE;
  const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wide_length, nullptr, 0,
                                         nullptr, &lossy);
  if (size <= 0 || lossy) return std::nullopt;
  std::string name(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), wide_length, name.data(), size, nullptr, &lossy);
  if (lossy) return std::nullopt;
  return name;
}

// The file system itself finds an entry whatever the letter case.
std::string PathForWriting(const std::string& path) { return path; }

bool IsLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool RemoveLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
  // A junction or folder link goes with RemoveDirectory, which removes the
  // link and leaves the folder it leads to as it is.
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return ::RemoveDirectoryA(path.c_str()) != FALSE;
  return ::DeleteFileA(path.c_str()) != FALSE;
}

std::vector<FolderEntry> ListFolder(const std::string& path) {
  std::vector<FolderEntry> entries;
  // A junction or folder link is not followed: callers delete what they
  // list, and a planted link must not lead them into another folder.
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return entries;
  WIN32_FIND_DATAA data{};
  Search search(JoinPath(path, "*"), data);
  if (!search.found()) return entries;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    FolderEntry found{name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
    found.read_only = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    found.hidden = (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    entries.push_back(std::move(found));
  } while (search.Next(data));
  return entries;
}

int LastSystemError() { return static_cast<int>(::GetLastError()); }

// ---- Processes ---------------------------------------------------------------

bool StartAndWait(const std::string& program, const std::string& parameters,
                  const std::string& working_folder, WindowMode mode, std::string* output) {
  // A program started through the shell has its own console or windows;
  // there is nothing to collect.
  if (output != nullptr) output->clear();
  // Windows refuses a missing working folder; some shells quietly start the
  // program in the current folder instead, so it is checked here.
  if (!working_folder.empty() && FindEntry(working_folder) != EntryKind::kFolder) return false;
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  // NOASYNC: the call must have finished starting the program before we
  // return, since no message loop runs here. FLAG_NO_UI: a missing program
  // is reported to the caller, not in a box of the shell's own.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = program.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.lpDirectory = working_folder.empty() ? nullptr : working_folder.c_str();
  info.nShow = mode == WindowMode::kHidden ? SW_HIDE : SW_SHOWNORMAL;
  if (::ShellExecuteExA(&info) == FALSE) return false;
  // A document opened in an already running program yields no process.
  if (info.hProcess != nullptr) {
    const Handle process(info.hProcess);
    ::WaitForSingleObject(process.get(), INFINITE);
  }
  return true;
}

void SleepMilliseconds(unsigned milliseconds) { ::Sleep(milliseconds); }

// ---- Console -----------------------------------------------------------------

namespace {

class Win32Console final : public Console {
 public:
  Win32Console() : output_(::GetStdHandle(STD_OUTPUT_HANDLE)) {
    DWORD console_mode = 0;
    screen_ = output_ != nullptr && output_ != INVALID_HANDLE_VALUE &&
              ::GetConsoleMode(output_, &console_mode) != FALSE;
  }

  bool IsScreen() const override { return screen_; }

  void Clear() override {
    if (!screen_) return;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(output_, &info) == FALSE) return;
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    const COORD origin{0, 0};
    DWORD written = 0;
    ::FillConsoleOutputCharacterA(output_, ' ', cells, origin, &written);
    ::FillConsoleOutputAttribute(output_, info.wAttributes, cells, origin, &written);
    ::SetConsoleCursorPosition(output_, origin);
  }

  void SetTitle(const std::string& title) override {
    if (screen_) ::SetConsoleTitleA(title.c_str());
  }

  void WriteAt(int column, int row, const std::string& text) override {
    if (screen_) {
      // Outside the buffer the cursor stays where it was, and the text goes
      // there, as the console itself behaves.
      PlaceCursor(column, row);
      WriteScreen(CP_ACP, text);
      return;
    }
    // A log gets one readable line per text, without the blanking spaces.
    std::string line = text;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (line.empty()) return;
    line += "\r\n";
    DWORD written = 0;
    ::WriteFile(output_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }

  // The box characters are bytes of code page 437 whatever code page the
  // console is set to; they go the same way as texts, widened from 437.
  void WriteCp437At(int column, int row, const std::string& glyphs) override {
    if (!screen_) {
      WriteAt(column, row, glyphs);
      return;
    }
    PlaceCursor(column, row);
    WriteScreen(437, glyphs);
  }

  void PlaceCursor(int column, int row) override {
    if (!screen_ || column < 0 || row < 0 || column > 0x7FFF || row > 0x7FFF) return;
    ::SetConsoleCursorPosition(output_, COORD{static_cast<SHORT>(column), static_cast<SHORT>(row)});
  }

  std::optional<std::string> ReadLine() override {
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

 private:
  // Texts are in the ANSI code page (names and paths as the file system
  // gives them), the box in code page 437, whatever code page the console
  // is set to; both are widened and written as UTF-16, so each shows as
  // itself without changing the user's console settings.
  void WriteScreen(UINT code_page, const std::string& text) {
    if (text.empty()) return;
    const int length = static_cast<int>(text.size());
    const int wide_length = ::MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0);
    DWORD written = 0;
    if (wide_length <= 0) {
      ::WriteConsoleA(output_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
      return;
    }
    std::wstring wide(static_cast<size_t>(wide_length), L'\0');
    ::MultiByteToWideChar(code_page, 0, text.data(), length, wide.data(), wide_length);
    ::WriteConsoleW(output_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  }

  HANDLE output_;
  bool screen_ = false;
};

}  // namespace

std::unique_ptr<Console> OpenConsole() { return std::make_unique<Win32Console>(); }

// ---- Large buffers ---------------------------------------------------------

// Committed pages of the ordinary size: large pages would need a privilege
// that users seldom hold, and the buffers work the same without them.
void* AllocateLargeBuffer(std::size_t size) noexcept {
  if (size == 0) return nullptr;
  return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void ReleaseLargeBuffer(void* bytes, std::size_t /*size*/) noexcept {
  if (bytes != nullptr) VirtualFree(bytes, 0, MEM_RELEASE);
}

void DiscardLargeBufferPages(void* bytes, std::size_t size) noexcept {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const std::uintptr_t page = info.dwPageSize;
  const auto start = reinterpret_cast<std::uintptr_t>(bytes);
  const std::uintptr_t first = (start + page - 1) / page * page;
  const std::uintptr_t last = (start + size) / page * page;
  if (first < last) VirtualFree(reinterpret_cast<void*>(first), last - first, MEM_DECOMMIT);
}

}  // namespace platform
