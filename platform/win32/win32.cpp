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

#include <algorithm>
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

std::string TemporaryFileName();  // common to both back ends

namespace {

bool WriteAll(HANDLE handle, const void* bytes, size_t count) {
  const auto* at = static_cast<const char*>(bytes);
  while (count > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
    DWORD put = 0;
    if (::WriteFile(handle, at, chunk, &put, nullptr) == FALSE || put == 0) return false;
    at += put;
    count -= put;
  }
  return true;
}

bool Rewind(HANDLE handle) {
  LARGE_INTEGER zero{};
  return ::SetFilePointerEx(handle, zero, nullptr, FILE_BEGIN) != FALSE;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) {
    // "C:name" lies in drive C's current folder.
    return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string();
  }
  return path.substr(0, slash + 1);
}

// The attributes a replacing file takes over; read-only never reaches here
// (such a target is refused) and the rest describe the storage, not the user's choice.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

class Win32ReplacingFile final : public ReplacingFile {
 public:
  enum class Scheme {
    kRename,  // temporary beside, moved over the target
    kCopyIn,  // temporary beside, copied into the target at commit
    kDirect,  // straight into the target
  };

  ~Win32ReplacingFile() override {
    Close(temporary_);
    Close(target_handle_);
    if (!temporary_name_.empty()) ::DeleteFileA(temporary_name_.c_str());
    if (created_target_ && !committed_) ::DeleteFileA(target_.c_str());
  }

  bool Write(const void* bytes, std::size_t count) override {
    if (failed_ || committed_) return false;
    if (count == 0) return true;
    if (!WriteAll(scheme_ == Scheme::kDirect ? target_handle_ : temporary_, bytes, count)) failed_ = true;
    return !failed_;
  }

  bool Commit() override {
    if (failed_ || committed_) return false;
    failed_ = true;  // until every step below has succeeded
    switch (scheme_) {
      case Scheme::kRename:
        if (::FlushFileBuffers(temporary_) == FALSE || !Close(temporary_)) return false;
        if (attributes_ != 0 && ::SetFileAttributesA(temporary_name_.c_str(), attributes_) == FALSE) return false;
        if (::MoveFileExA(temporary_name_.c_str(), target_.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == FALSE) {
          return false;
        }
        temporary_name_.clear();
        break;
      case Scheme::kCopyIn:
        if (!CopyTemporaryIn()) return false;
        break;
      case Scheme::kDirect:
        if (::SetEndOfFile(target_handle_) == FALSE) return false;
        break;
    }
    if (!Close(target_handle_)) return false;
    failed_ = false;
    committed_ = true;
    return true;
  }

  std::string target_;
  std::string temporary_name_;  // empty when there is none (left)
  HANDLE target_handle_ = INVALID_HANDLE_VALUE;
  HANDLE temporary_ = INVALID_HANDLE_VALUE;
  Scheme scheme_ = Scheme::kRename;
  DWORD attributes_ = 0;  // kept attributes of the old target
  bool created_target_ = false;

 private:
  // True when there was nothing to close or it closed cleanly.
  static bool Close(HANDLE& handle) {
    if (handle == INVALID_HANDLE_VALUE) return true;
    const bool ok = ::CloseHandle(handle) != FALSE;
    handle = INVALID_HANDLE_VALUE;
    return ok;
  }

  // Over the old bytes from the start, then cut at the end of the new ones.
  bool CopyTemporaryIn() {
    if (!Rewind(temporary_) || !Rewind(target_handle_)) return false;
    char buffer[1 << 16];
    while (true) {
      DWORD got = 0;
      if (::ReadFile(temporary_, buffer, sizeof buffer, &got, nullptr) == FALSE) return false;
      if (got == 0) break;
      if (!WriteAll(target_handle_, buffer, got)) return false;
    }
    return ::SetEndOfFile(target_handle_) != FALSE && ::FlushFileBuffers(target_handle_) != FALSE;
  }

  bool failed_ = false;
  bool committed_ = false;
};

bool CreateTemporary(const std::string& folder, Win32ReplacingFile& file) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = folder + TemporaryFileName();
    const HANDLE handle = ::CreateFileA(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      file.temporary_ = handle;
      file.temporary_name_ = std::move(candidate);
      return true;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

}  // namespace

std::unique_ptr<ReplacingFile> BeginReplacing(const std::string& target) {
  if (target.empty() || target.find_first_of("*?") != std::string::npos) return nullptr;
  using Scheme = Win32ReplacingFile::Scheme;
  auto file = std::make_unique<Win32ReplacingFile>();
  file->target_ = target;
  // Opening for writing is the test the user's own open would meet: a
  // read-only file or a folder is refused here.
  file->target_handle_ = ::CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool exists = file->target_handle_ != INVALID_HANDLE_VALUE;
  if (!exists && ::GetLastError() != ERROR_FILE_NOT_FOUND) return nullptr;
  if (exists) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(file->target_handle_, &info) == FALSE) return nullptr;
    // The open above already refuses a read-only file on Windows; a process
    // with the right to write anyway (Wine run by root) must refuse it too.
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) return nullptr;
    file->attributes_ = info.dwFileAttributes & kKeptAttributes;
    const DWORD link_attributes = ::GetFileAttributesA(target.c_str());
    const bool is_link =
        link_attributes != INVALID_FILE_ATTRIBUTES && (link_attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (::GetFileType(file->target_handle_) != FILE_TYPE_DISK) {
      file->scheme_ = Scheme::kDirect;
    } else if (info.nNumberOfLinks > 1 || is_link) {
      file->scheme_ = Scheme::kCopyIn;
    }
  }
  if (file->scheme_ != Scheme::kDirect && !CreateTemporary(FolderOf(target), *file)) {
    // No new file beside the target: write the target itself.
    file->scheme_ = Scheme::kDirect;
    if (!exists) {
      file->target_handle_ = ::CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file->target_handle_ == INVALID_HANDLE_VALUE) return nullptr;
      file->created_target_ = true;
    }
  }
  if (exists && file->scheme_ == Scheme::kRename) {
    // The old file is closed before the new one moves over it.
    ::CloseHandle(file->target_handle_);
    file->target_handle_ = INVALID_HANDLE_VALUE;
  }
  return file;
}

void PrepareProcess() {}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  const Handle in(::CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (in.get() == INVALID_HANDLE_VALUE) return false;
  const std::unique_ptr<ReplacingFile> out = BeginReplacing(to);
  if (!out) return false;
  char buffer[1 << 16];
  while (true) {
    DWORD got = 0;
    if (::ReadFile(in.get(), buffer, sizeof buffer, &got, nullptr) == FALSE) return false;
    if (got == 0) break;
    if (!out->Write(buffer, got)) return false;
  }
  return out->Commit();
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
