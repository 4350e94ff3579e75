// The one thin layer between the tools and the operating system.
//
// Everything that differs between Windows and POSIX systems lives behind these
// names: how a message is shown, how a program is started, how the console is
// addressed, how names are matched on disk. No tool logic belongs here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// ---- Paths -----------------------------------------------------------------

// The separator this system writes between folder and name ('\\' on Windows,
// '/' elsewhere). Tools join paths with JoinPath so both systems agree.
extern const char kPathSeparator;
std::string JoinPath(std::string_view folder, std::string_view name);

// ---- Message boxes ---------------------------------------------------------

enum class MessageIcon { kNone, kError };

struct MessageRequest {
  std::string title;  // empty: the system's default caption
  std::string text;
  MessageIcon icon = MessageIcon::kNone;
  void* owner = nullptr;  // native owner window, or none
};

using MessageHandler = std::function<void(const MessageRequest&)>;

// Shows a box with one OK button and returns when it is dismissed (Win32:
// MessageBoxA; POSIX: title and text on standard error, returns at once).
void ShowMessage(const MessageRequest& request);

// Tests replace the box so that nothing ever waits for a user. Returns the
// handler that was in place; an empty handler restores the system's box.
MessageHandler SetMessageHandler(MessageHandler handler);

// ---- Command line ----------------------------------------------------------

// The whole command line as the system hands it over, program part included.
// Win32: GetCommandLineA. POSIX: rebuilt from argv, each argument that holds
// a space enclosed in double quotes, joined by single spaces.
std::string RawCommandLine(int argc, char** argv);

// Splits a parameter string the way a Windows program's start-up code splits
// its command line: white space separates, double quotes group, backslashes
// escape quotes only when they stand right before one.
std::vector<std::string> SplitWindowsCommandLine(std::string_view line);

// ---- File system -----------------------------------------------------------

enum class EntryKind { kMissing, kFile, kFolder };

// Looks the path up by directory search. On POSIX the last component (and any
// other that does not match exactly) is matched ignoring letter case, as the
// Windows file system does.
EntryKind FindEntry(const std::string& path);
inline bool Exists(const std::string& path) { return FindEntry(path) != EntryKind::kMissing; }

// The path with each existing component spelled as it is stored on disk
// (Win32: GetLongPathNameA). nullopt when some component does not exist.
std::optional<std::string> LongPathName(const std::string& path);

std::string TempFolder();          // Win32: GetTempPathA; POSIX: $TMPDIR or /tmp, trailing separator
std::string ExecutablePath();      // full path of the running program
std::string ExecutableFolder();    // its folder, no trailing separator
std::string CurrentFolder();
bool SetCurrentFolder(const std::string& path);
bool CreateFolder(const std::string& path);         // one level; false if it exists or fails
// Copies through the safe replace below; a new copy keeps the source's
// permissions, so a copied program still runs.
bool CopyFileReplacing(const std::string& from, const std::string& to);
bool DeleteFileForced(const std::string& path);     // clears read-only first
// Deletes a file the way the command interpreter's del does: a read-only
// file is left alone (POSIX: one without the owner's write bit).
bool DeleteFileUnlessReadOnly(const std::string& path);
bool RemoveEmptyFolder(const std::string& path);
// Whether the entry itself is a link to somewhere else (POSIX: a symbolic
// link, dangling or not; Win32: any reparse point, junctions included).
// False for a missing entry and for a plain file or folder.
bool IsLink(const std::string& path);

// The path a file written as `path` lands on. POSIX: an entry that exists
// under another letter case is taken under its stored name, as the Windows
// file system would replace it; otherwise the folder part is resolved that
// way and the name kept. Win32: the path unchanged.
std::string PathForWriting(const std::string& path);

// Removes the link itself, never what it leads to. False when the entry is
// no link or cannot be removed.
bool RemoveLink(const std::string& path);

// ---- Replacing a user's file --------------------------------------------------

// The one way a program replaces a file the user may already have. The new
// content goes to a temporary file beside the target and takes the target's
// place only in Commit, so a failed write never costs the user the old file.
// What the user sees of the target is kept: a target this user may not open
// for writing is refused; a symbolic link keeps pointing at the file that
// gets the new bytes; permission bits, owner, group (Windows: attributes)
// carry over; a file with several hard links, a link on Windows, and a file
// whose owner or group this process could not give a new file, are written
// in place once the whole new content is ready, so every name and the file's
// identity stay. When no temporary can be made beside a writable target (a
// folder that admits no new file, a path at the system's length limit), the
// target is written in place directly, as a plain open-for-writing would: a
// failure part-way then leaves it damaged.
//
// Temporaries have short unique names made with exclusive creation, so an
// existing file is never taken for one, and they are removed on every path
// that does not commit.
class ReplacingFile {
 public:
  virtual ~ReplacingFile() = default;  // without Commit: nothing replaced
  // False once any write has failed; later writes and Commit fail too.
  virtual bool Write(const void* bytes, std::size_t count) = 0;
  // Puts the new content in the target's place. False: the target is as it
  // was (except after a failed direct in-place write) and no temporary is left.
  virtual bool Commit() = 0;
};

// nullptr when the target may not be written: it exists and this user may not
// open it for writing, it is a folder, or no file can be made where it lies.
// POSIX: an existing entry matching the name ignoring case is the target.
std::unique_ptr<ReplacingFile> BeginReplacing(const std::string& target);

// BeginReplacing, one Write of `bytes`, Commit.
bool ReplaceFileContents(const std::string& target, std::span<const std::uint8_t> bytes);

// ---- Process start-up ------------------------------------------------------

// Called first thing by every program's main. POSIX: a file-size limit must
// make a write fail (EFBIG) and take the program's error path, not kill it
// with SIGXFSZ and leave a temporary file behind.
void PrepareProcess();

struct FolderEntry {
  std::string name;
  bool is_folder = false;
  bool read_only = false;  // POSIX: the owner's write bit is clear
  bool hidden = false;     // Win32: hidden or system; POSIX: a name beginning with '.'
};
// The entries directly inside a folder ('.' and '..' left out); empty when it
// cannot be read.
std::vector<FolderEntry> ListFolder(const std::string& path);

// A name written in UTF-8 (as in a JSON file) spelt the way this system's
// 8-bit file calls take it: the ANSI code page on Windows, unchanged on
// POSIX. nullopt when it is not UTF-8 or has a character the code page lacks.
std::optional<std::string> NameFromUtf8(const std::string& text);

// Case-insensitive comparison of two names the way the file system compares them.
bool SameFileName(std::string_view a, std::string_view b);

// ---- Large buffers ---------------------------------------------------------

// Memory for buffers of megabytes, mapped from the system directly rather
// than taken from the heap, so that it can come in huge pages (POSIX: an
// anonymous mapping aligned to 2 MiB with transparent huge pages asked for,
// where the system offers them; Win32: committed pages) and go back page by
// page. nullptr when it cannot be had. ReleaseLargeBuffer takes the size
// that was asked for.
void* AllocateLargeBuffer(std::size_t size) noexcept;
void ReleaseLargeBuffer(void* bytes, std::size_t size) noexcept;
// Gives the whole pages inside [bytes, bytes + size), which lies in one such
// buffer, back to the system at once; nothing may be read there afterwards.
void DiscardLargeBufferPages(void* bytes, std::size_t size) noexcept;

// ---- Errors ----------------------------------------------------------------

// The system's code for the last failed call, read right after it fails
// (Win32: GetLastError; POSIX: errno). Tools report it as a number.
int LastSystemError();

// ---- Processes -------------------------------------------------------------

enum class WindowMode { kNormal, kHidden };

// Starts `program` with `parameters` (one string, split by the Windows rules
// on POSIX) in `working_folder` (empty: the current folder) and waits for it
// to end. Returns false when it could not be started. On POSIX the program
// name is matched ignoring case, and a name ending in ".exe" also finds the
// file without it.
//
// With `output`, what the program writes to its standard output and error is
// collected there instead of reaching the caller's terminal (POSIX, where a
// tool's message box is a line on standard error). On Windows a program keeps
// its own windows and `output` stays empty.
bool StartAndWait(const std::string& program, const std::string& parameters,
                  const std::string& working_folder, WindowMode mode, std::string* output = nullptr);

void SleepMilliseconds(unsigned milliseconds);

// ---- Console screen --------------------------------------------------------

// A fixed text screen addressed by column and row from the top-left corner.
// Texts (names, paths, messages) are 8-bit strings in the system's code page:
// the ANSI code page on Windows, UTF-8 (or whatever the bytes are) on POSIX.
// Drawing characters come separately, as bytes of code page 437, so the
// double-line box is the bytes 0xB9..0xCD whatever the system's code page.
// A position outside the visible screen leaves the cursor where it was.
class Console {
 public:
  virtual ~Console() = default;
  // False when the output is not a screen (a pipe or file): writes then come
  // out as readable lines instead of positioned text.
  virtual bool IsScreen() const = 0;
  virtual void Clear() = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void WriteAt(int column, int row, const std::string& text) = 0;
  virtual void WriteCp437At(int column, int row, const std::string& glyphs) = 0;
  virtual void PlaceCursor(int column, int row) = 0;
  // Reads one line of input (echoed by the system). nullopt at end of input.
  virtual std::optional<std::string> ReadLine() = 0;
};

std::unique_ptr<Console> OpenConsole();

}  // namespace platform
