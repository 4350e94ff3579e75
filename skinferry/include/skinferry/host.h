// Everything Skinferry needs from the system, in one narrow interface.
//
// The pipeline talks only to a Host. The program hands it one built over the
// platform layer (MakePlatformHost); tests hand it a fake that records what
// was started and keeps the screen and the files in memory.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace skinferry {

// A file being written; writes that fail are dropped without a word, since a
// run never stops over its own output list.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual void Write(const std::string& bytes) = 0;
  virtual void Close() = 0;
};

struct HostEntry {
  std::string name;
  bool is_folder = false;
  bool read_only = false;
  bool hidden = false;
};

class Host {
 public:
  virtual ~Host() = default;

  // ---- Console screen (columns and rows counted from 0 at the top left).
  // False when the output is a log rather than a screen: the display then
  // writes readable lines instead of filling fields.
  virtual bool IsScreen() const = 0;
  virtual void ClearScreen() = 0;
  virtual void SetTitle(const std::string& title) = 0;
  // Texts are in the system's code page; the box's drawing characters come
  // as bytes of code page 437 through WriteBoxAt.
  virtual void WriteAt(int column, int row, const std::string& text) = 0;
  virtual void WriteBoxAt(int column, int row, const std::string& cp437) = 0;
  virtual void PlaceCursor(int column, int row) = 0;
  // Returns when the user presses Enter, or at once when input has ended.
  virtual void WaitForEnter() = 0;

  // ---- Where things are.
  virtual std::string ExecutablePath() = 0;
  virtual std::string TempFolder() = 0;
  virtual bool SetCurrentFolder(const std::string& path) = 0;

  // ---- File system. Names are matched ignoring letter case.
  virtual bool Exists(const std::string& path) = 0;
  // The name of the path's last component as the file system stores it;
  // nullopt when there is no such entry.
  virtual std::optional<std::string> StoredName(const std::string& path) = 0;
  virtual std::vector<HostEntry> ListFolder(const std::string& path) = 0;
  virtual bool DeleteFileForced(const std::string& path) = 0;
  // Leaves a read-only file alone, as the command interpreter's del does.
  virtual bool DeleteFileUnlessReadOnly(const std::string& path) = 0;
  // A symbolic link or junction in place of a file or folder; never followed.
  virtual bool IsLink(const std::string& path) = 0;
  virtual bool RemoveLink(const std::string& path) = 0;
  virtual bool RemoveEmptyFolder(const std::string& path) = 0;
  virtual bool CreateFolder(const std::string& path) = 0;
  virtual bool CopyFileReplacing(const std::string& from, const std::string& to) = 0;
  // The whole file, or nullopt when it cannot be read. Never creates it.
  virtual std::optional<std::string> ReadWholeFile(const std::string& path) = 0;
  // Creates or empties the file, found ignoring letter case as every name
  // is; nullptr when that fails.
  virtual std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) = 0;

  // ---- Processes.
  // Starts the program with one parameter string in the given folder, shown
  // normally, and waits for it. False only when it could not be started.
  // `messages` receives what the program printed where it shares the
  // caller's terminal (POSIX); it is empty where the program has its own
  // windows (Windows).
  virtual bool StartAndWait(const std::string& program, const std::string& parameters,
                            const std::string& working_folder, std::string& messages) = 0;
  virtual void Sleep(unsigned milliseconds) = 0;
};

// A Host over the real system (platform layer).
std::unique_ptr<Host> MakePlatformHost();

}  // namespace skinferry
