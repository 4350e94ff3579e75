// POSIX back end of the platform layer.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>

#include "platform/platform.h"

extern char** environ;

namespace platform {

const char kPathSeparator = '/';

void ShowSystemMessage(const MessageRequest& request) {
  std::string line;
  if (!request.title.empty()) line = request.title + ": ";
  line += request.text;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

int LastSystemError() { return errno; }

namespace {
// A POSIX program receives its arguments already split. When one of our
// programs starts another, it also hands over the parameter string it built,
// so the child sees the line exactly as a Windows program would (quotes
// included). The string is trusted only when it splits into the very
// arguments the child received.
constexpr const char* kParameterVariable = "ROADFIRE_PARAMETERS";
}  // namespace

std::string RawCommandLine(int argc, char** argv) {
  if (const char* handed = std::getenv(kParameterVariable); handed != nullptr && argc >= 1) {
    const std::string parameters = handed;
    ::unsetenv(kParameterVariable);
    const std::vector<std::string> expected(argv + 1, argv + argc);
    if (SplitWindowsCommandLine(parameters) == expected) {
      const std::string program = argv[0];
      const bool spaced = program.find(' ') != std::string::npos;
      return (spaced ? '"' + program + '"' : program) + (parameters.empty() ? "" : " " + parameters);
    }
  }
  std::string line;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) line += ' ';
    const std::string arg = argv[i];
    // An empty argument is quoted too, so it keeps its place in the line.
    if (arg.empty() || arg.find_first_of(" \t") != std::string::npos) {
      line += '"' + arg + '"';
    } else {
      line += arg;
    }
  }
  return line;
}

namespace {

EntryKind KindOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return EntryKind::kMissing;
  return S_ISDIR(st.st_mode) ? EntryKind::kFolder : EntryKind::kFile;
}

// Finds `name` inside `folder`, ignoring letter case; the stored spelling or nullopt.
std::optional<std::string> MatchInFolder(const std::string& folder, const std::string& name) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> found;
  while (dirent* entry = ::readdir(dir)) {
    if (SameFileName(entry->d_name, name)) {
      found = entry->d_name;
      if (name == entry->d_name) break;  // an exact spelling wins
    }
  }
  ::closedir(dir);
  return found;
}

// Resolves every component of the path ignoring case. nullopt when a
// component is missing.
std::optional<std::string> ResolveIgnoringCase(const std::string& path) {
  if (path.empty()) return std::nullopt;
  if (KindOf(path) != EntryKind::kMissing) return path;
  std::string resolved;
  size_t start = 0;
  if (path[0] == '/') {
    resolved = "/";
    start = 1;
  }
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string piece = path.substr(start, end - start);
    start = end + 1;
    if (piece.empty() || piece == ".") {
      if (end == path.size()) break;
      continue;
    }
    const std::string folder = resolved.empty() ? "." : resolved;
    std::string next = resolved;
    if (!next.empty() && next.back() != '/') next += '/';
    if (piece == "..") {
      next += piece;
    } else {
      const std::string candidate = next + piece;
      if (KindOf(candidate) != EntryKind::kMissing) {
        next = candidate;
      } else {
        auto match = MatchInFolder(folder, piece);
        if (!match) return std::nullopt;
        next += *match;
      }
    }
    resolved = next;
    if (end == path.size()) break;
  }
  return resolved;
}

// A path about to be written or removed: an existing entry that matches
// ignoring case is used under its stored name, as Windows would replace it;
// otherwise the name is kept and only its folder is resolved.
std::string ResolveForWriting(const std::string& path) {
  if (auto existing = ResolveIgnoringCase(path)) return *existing;
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return path;
  if (auto folder = ResolveIgnoringCase(path.substr(0, slash))) return *folder + path.substr(slash);
  return path;
}

}  // namespace

EntryKind FindEntry(const std::string& path) {
  auto resolved = ResolveIgnoringCase(path);
  if (!resolved) return EntryKind::kMissing;
  return KindOf(*resolved);
}

std::optional<std::string> LongPathName(const std::string& path) {
  auto resolved = ResolveIgnoringCase(path);
  if (!resolved || KindOf(*resolved) == EntryKind::kMissing) return std::nullopt;
  return resolved;
}

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string ExecutablePath() {
  char buffer[PATH_MAX + 1];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

std::string ExecutableFolder() {
  std::string path = ExecutablePath();
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string CurrentFolder() {
  char buffer[PATH_MAX + 1];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return {};
  return buffer;
}

bool SetCurrentFolder(const std::string& path) {
  const auto resolved = ResolveIgnoringCase(path);
  return resolved && ::chdir(resolved->c_str()) == 0;
}

bool CreateFolder(const std::string& path) {
  // A folder that exists under another spelling exists on Windows too.
  if (ResolveIgnoringCase(path)) return false;
  return ::mkdir(ResolveForWriting(path).c_str(), 0777) == 0;
}

std::string TemporaryFileName();  // common to both back ends

namespace {

bool WriteAll(int fd, const void* bytes, size_t count) {
  const auto* at = static_cast<const char*>(bytes);
  while (count > 0) {
    const ssize_t put = ::write(fd, at, count);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    at += put;
    count -= static_cast<size_t>(put);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file a chain of symbolic links finally names, which need not exist yet
// (a link to a missing file creates that file). nullopt for a loop.
std::optional<std::string> FollowLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char buffer[PATH_MAX + 1];
    const ssize_t n = ::readlink(path.c_str(), buffer, PATH_MAX);
    if (n <= 0) return std::nullopt;
    const std::string target(buffer, static_cast<size_t>(n));
    path = target[0] == '/' ? target : FolderOf(path) + "/" + target;
  }
  return std::nullopt;
}

mode_t CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

class PosixReplacingFile final : public ReplacingFile {
 public:
  // How the new content reaches the target.
  enum class Scheme {
    kRename,  // temporary beside, renamed over the target
    kCopyIn,  // temporary beside, copied into the target at commit
    kDirect,  // straight into the target
  };

  ~PosixReplacingFile() override {
    if (temporary_fd_ >= 0) ::close(temporary_fd_);
    if (target_fd_ >= 0) ::close(target_fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    if (created_target_ && !committed_) ::unlink(target_.c_str());
  }

  bool Write(const void* bytes, std::size_t count) override {
    if (failed_ || committed_) return false;
    if (count == 0) return true;
    if (!WriteAll(scheme_ == Scheme::kDirect ? target_fd_ : temporary_fd_, bytes, count)) failed_ = true;
    written_ += static_cast<off_t>(count);
    return !failed_;
  }

  bool Commit() override {
    if (failed_ || committed_) return false;
    failed_ = true;  // until every step below has succeeded
    switch (scheme_) {
      case Scheme::kRename:
        if (::fchmod(temporary_fd_, mode_) != 0 || ::fsync(temporary_fd_) != 0) return false;
        if (CloseFd(temporary_fd_) != 0) return false;
        if (::rename(temporary_.c_str(), target_.c_str()) != 0) return false;
        temporary_.clear();
        break;
      case Scheme::kCopyIn:
        if (!CopyTemporaryIn()) return false;
        break;
      case Scheme::kDirect:
        if (is_regular_ && ::ftruncate(target_fd_, written_) != 0) return false;
        break;
    }
    if (target_fd_ >= 0 && CloseFd(target_fd_) != 0) return false;
    failed_ = false;
    committed_ = true;
    return true;
  }

  std::string target_;
  std::string temporary_;  // empty when there is none (left)
  int target_fd_ = -1;     // the existing target, opened for writing
  int temporary_fd_ = -1;
  Scheme scheme_ = Scheme::kRename;
  mode_t mode_ = 0;         // permission bits the new file gets
  bool is_regular_ = true;
  bool created_target_ = false;  // kDirect on a target this call created
  off_t written_ = 0;

 private:
  static int CloseFd(int& fd) {
    const int result = ::close(fd);
    fd = -1;
    return result;
  }

  // Over the old bytes from the start, then cut to length: a new content no
  // longer than the old one needs no new space on the disk.
  bool CopyTemporaryIn() {
    if (::lseek(temporary_fd_, 0, SEEK_SET) != 0 || ::lseek(target_fd_, 0, SEEK_SET) != 0) return false;
    char buffer[1 << 16];
    while (true) {
      const ssize_t got = ::read(temporary_fd_, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return false;
      if (got == 0) break;
      if (!WriteAll(target_fd_, buffer, static_cast<size_t>(got))) return false;
    }
    return ::ftruncate(target_fd_, written_) == 0 && ::fsync(target_fd_) == 0;
  }

  bool failed_ = false;
  bool committed_ = false;
};

// Makes a temporary file in `folder` with a name no file has yet.
bool CreateTemporary(const std::string& folder, PosixReplacingFile& file) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = JoinPath(folder, TemporaryFileName());
    const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      file.temporary_fd_ = fd;
      file.temporary_ = std::move(candidate);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

// `new_mode`: the permission bits of a target that does not exist yet,
// before the umask.
std::unique_ptr<ReplacingFile> BeginReplacingWithMode(const std::string& name, mode_t new_mode) {
  if (name.empty()) return nullptr;
  using Scheme = PosixReplacingFile::Scheme;
  auto file = std::make_unique<PosixReplacingFile>();
  const std::optional<std::string> followed = FollowLinks(ResolveForWriting(name));
  if (!followed) return nullptr;
  file->target_ = *followed;

  // Opening for writing is the test the user's own open would meet: a
  // read-only file, a folder or a file of another user is refused here. A
  // FIFO without a reader is refused too rather than waited for.
  file->target_fd_ = ::open(file->target_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  struct stat old {};
  const bool exists = file->target_fd_ >= 0;
  if (!exists && errno != ENOENT) return nullptr;
  if (exists) {
    if (::fstat(file->target_fd_, &old) != 0) return nullptr;
    ::fcntl(file->target_fd_, F_SETFL, ::fcntl(file->target_fd_, F_GETFL) & ~O_NONBLOCK);
    file->is_regular_ = S_ISREG(old.st_mode);
    file->mode_ = old.st_mode & 07777;
    // A device or pipe is written, never replaced by a plain file.
    if (!file->is_regular_) file->scheme_ = Scheme::kDirect;
    else if (old.st_nlink > 1) file->scheme_ = Scheme::kCopyIn;
  } else {
    file->mode_ = new_mode & ~CurrentUmask() & 07777;
  }

  if (file->scheme_ != Scheme::kDirect && !CreateTemporary(FolderOf(file->target_), *file)) {
    // No new file beside the target: write the target itself.
    file->scheme_ = Scheme::kDirect;
    if (!exists) {
      file->target_fd_ = ::open(file->target_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, file->mode_);
      if (file->target_fd_ < 0) return nullptr;
      file->created_target_ = true;
    }
  }
  if (exists && file->scheme_ == Scheme::kRename) {
    // The renamed file must belong to the same owner and group; where this
    // process may not give it them, the old file is written in place.
    struct stat made {};
    const bool same = ::fstat(file->temporary_fd_, &made) == 0 && made.st_uid == old.st_uid && made.st_gid == old.st_gid;
    if (!same && ::fchown(file->temporary_fd_, old.st_uid, old.st_gid) != 0) file->scheme_ = Scheme::kCopyIn;
  }
  if (file->scheme_ == Scheme::kRename && exists) {
    // Replaced by rename: the old file is closed before it goes.
    ::close(file->target_fd_);
    file->target_fd_ = -1;
  }
  return file;
}

}  // namespace

std::unique_ptr<ReplacingFile> BeginReplacing(const std::string& target) {
  return BeginReplacingWithMode(target, 0666);
}

void PrepareProcess() { ::signal(SIGXFSZ, SIG_IGN); }

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  auto source = ResolveIgnoringCase(from);
  if (!source) return false;
  const int in = ::open(source->c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat source_info {};
  if (::fstat(in, &source_info) != 0 || S_ISDIR(source_info.st_mode)) {
    ::close(in);
    return false;
  }
  const std::unique_ptr<ReplacingFile> out = BeginReplacingWithMode(to, source_info.st_mode & 0777);
  bool ok = out != nullptr;
  char buffer[1 << 16];
  while (ok) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    ok = out->Write(buffer, static_cast<size_t>(got));
  }
  ::close(in);
  return ok && out->Commit();
}

bool DeleteFileForced(const std::string& path) {
  const auto resolved = ResolveIgnoringCase(path);
  if (!resolved) return false;
  struct stat info {};
  if (::lstat(resolved->c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  // Write permission of the folder decides on POSIX; the owner's write bit is
  // set anyway, as clearing the read-only attribute does on Windows.
  if (!S_ISLNK(info.st_mode)) ::chmod(resolved->c_str(), (info.st_mode & 07777) | S_IWUSR);
  return ::unlink(resolved->c_str()) == 0;
}

bool DeleteFileUnlessReadOnly(const std::string& path) {
  const auto resolved = ResolveIgnoringCase(path);
  if (!resolved) return false;
  struct stat info {};
  if (::lstat(resolved->c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  // unlink ignores the file's own mode; the owner's write bit stands in for
  // the read-only attribute that makes del pass a file over.
  if (!S_ISLNK(info.st_mode) && (info.st_mode & S_IWUSR) == 0) return false;
  return ::unlink(resolved->c_str()) == 0;
}

std::string PathForWriting(const std::string& path) { return ResolveForWriting(path); }

bool IsLink(const std::string& path) {
  const auto resolved = ResolveIgnoringCase(path);
  struct stat info {};
  return resolved && ::lstat(resolved->c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool RemoveLink(const std::string& path) {
  const auto resolved = ResolveIgnoringCase(path);
  struct stat info {};
  if (!resolved || ::lstat(resolved->c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return false;
  return ::unlink(resolved->c_str()) == 0;
}

bool RemoveEmptyFolder(const std::string& path) {
  const auto resolved = ResolveIgnoringCase(path);
  return resolved && ::rmdir(resolved->c_str()) == 0;
}

// File names here are bytes, and a UTF-8 system spells them in UTF-8 already.
std::optional<std::string> NameFromUtf8(const std::string& text) { return text; }

std::vector<FolderEntry> ListFolder(const std::string& path) {
  std::vector<FolderEntry> entries;
  // A folder that is a symbolic link is not followed: callers delete what
  // they list, and a planted link must not lead them into another folder.
  const auto resolved = ResolveIgnoringCase(path);
  if (!resolved) return entries;
  const int fd = ::open(resolved->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return entries;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return entries;
  }
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    const bool known = ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    FolderEntry found{name, known && S_ISDIR(st.st_mode)};
    found.read_only = known && !S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
    found.hidden = name[0] == '.';
    entries.push_back(std::move(found));
  }
  ::closedir(dir);
  return entries;
}

namespace {

// Finds the program file: as given, ignoring case, and without a ".exe"
// ending, so the Windows names of the tools find their POSIX builds.
std::optional<std::string> FindProgram(const std::string& program) {
  if (auto exact = ResolveIgnoringCase(program); exact && KindOf(*exact) == EntryKind::kFile) {
    return exact;
  }
  if (program.size() > 4 && SameFileName(std::string_view(program).substr(program.size() - 4), ".exe")) {
    if (auto bare = ResolveIgnoringCase(program.substr(0, program.size() - 4));
        bare && KindOf(*bare) == EntryKind::kFile) {
      return bare;
    }
  }
  return std::nullopt;
}

}  // namespace

namespace {

// The most of a program's output that is kept: the end of it, where the
// last and most telling messages are.
constexpr size_t kMaxCollectedOutput = 64 * 1024;

// Reads the pipe to its end while the program runs, so a program that writes
// a lot never blocks on a full pipe.
void Collect(int fd, std::string& output) {
  char buffer[4096];
  while (true) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    output.append(buffer, static_cast<size_t>(got));
    if (output.size() > 2 * kMaxCollectedOutput) output.erase(0, output.size() - kMaxCollectedOutput);
  }
  if (output.size() > kMaxCollectedOutput) output.erase(0, output.size() - kMaxCollectedOutput);
}

}  // namespace

bool StartAndWait(const std::string& program, const std::string& parameters,
                  const std::string& working_folder, WindowMode /*mode*/, std::string* output) {
  if (output != nullptr) output->clear();
  // Paths the tools receive may use either separator; the program path is
  // resolved relative to the caller's current folder before the child moves.
  std::string wanted = program;
  for (char& c : wanted) {
    if (c == '\\') c = '/';
  }
  auto path = FindProgram(wanted);
  if (!path) return false;
  if ((*path)[0] != '/') path = JoinPath(CurrentFolder(), *path);

  std::vector<std::string> args = SplitWindowsCommandLine(parameters);
  args.insert(args.begin(), *path);
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  // The tools name their own folder in more than one spelling.
  std::optional<std::string> folder;
  if (!working_folder.empty()) {
    std::string wanted_folder = working_folder;
    for (char& c : wanted_folder) {
      if (c == '\\') c = '/';
    }
    folder = ResolveIgnoringCase(wanted_folder);
    if (!folder || KindOf(*folder) != EntryKind::kFolder) return false;
  }

  // Both ends are closed on exec; the child gets the write end as its
  // standard output and error only.
  int pipe_fds[2] = {-1, -1};
  if (output != nullptr && ::pipe2(pipe_fds, O_CLOEXEC) != 0) return false;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (folder) posix_spawn_file_actions_addchdir_np(&actions, folder->c_str());
  if (output != nullptr) {
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
  }
  std::vector<std::string> environment;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (std::strncmp(*variable, kParameterVariable, std::strlen(kParameterVariable)) != 0) {
      environment.emplace_back(*variable);
    }
  }
  environment.push_back(std::string(kParameterVariable) + "=" + parameters);
  std::vector<char*> envp;
  envp.reserve(environment.size() + 1);
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, path->c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (output != nullptr) {
    ::close(pipe_fds[1]);
    if (rc == 0) Collect(pipe_fds[0], *output);
    ::close(pipe_fds[0]);
  }
  if (rc != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) break;
  }
  // glibc reports a failed chdir or exec as posix_spawn's result, so any
  // exit status here belongs to the program itself, which nobody examines.
  return true;
}

void SleepMilliseconds(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// ---- Console -----------------------------------------------------------------

namespace {

// Code page 437 upper half as UTF-8, for terminals that speak it.
const char* const kCp437[128] = {
    "Ç", "ü", "é", "â", "ä", "à", "å", "ç", "ê", "ë", "è", "ï", "î", "ì", "Ä", "Å",
    "É", "æ", "Æ", "ô", "ö", "ò", "û", "ù", "ÿ", "Ö", "Ü", "¢", "£", "¥", "₧", "ƒ",
    "á", "í", "ó", "ú", "ñ", "Ñ", "ª", "º", "¿", "⌐", "¬", "½", "¼", "¡", "«", "»",
    "░", "▒", "▓", "│", "┤", "╡", "╢", "╖", "╕", "╣", "║", "╗", "╝", "╜", "╛", "┐",
    "└", "┴", "┬", "├", "─", "┼", "╞", "╟", "╚", "╔", "╩", "╦", "╠", "═", "╬", "╧",
    "╨", "╤", "╥", "╙", "╘", "╒", "╓", "╫", "╪", "┘", "┌", "█", "▄", "▌", "▐", "▀",
    "α", "ß", "Γ", "π", "Σ", "σ", "µ", "τ", "Φ", "Θ", "Ω", "δ", "∞", "φ", "ε", "∩",
    "≡", "±", "≥", "≤", "⌠", "⌡", "÷", "≈", "°", "∙", "·", "√", "ⁿ", "²", "■", " "};

bool TerminalSpeaksUtf8() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      std::string v = value;
      for (char& c : v) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return v.find("utf-8") != std::string::npos || v.find("utf8") != std::string::npos;
    }
  }
  return false;
}

class PosixConsole final : public Console {
 public:
  PosixConsole() : screen_(::isatty(STDOUT_FILENO) == 1), utf8_(TerminalSpeaksUtf8()) {}
  ~PosixConsole() override { std::fflush(stdout); }

  bool IsScreen() const override { return screen_; }

  void Clear() override {
    if (screen_) Emit("\x1b[2J\x1b[H");
  }

  void SetTitle(const std::string& title) override {
    if (screen_) Emit("\x1b]0;" + title + "\x07");
  }

  // Names and paths are shown as given: on a UTF-8 terminal a UTF-8 name
  // appears as itself.
  void WriteAt(int column, int row, const std::string& text) override { Write(column, row, text); }

  void WriteCp437At(int column, int row, const std::string& glyphs) override {
    Write(column, row, FromCp437(glyphs));
  }

  void PlaceCursor(int column, int row) override {
    if (screen_ && Visible(column, row)) Emit(MoveTo(column, row));
  }

  std::optional<std::string> ReadLine() override {
    std::fflush(stdout);
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

 private:
  void Emit(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
  }

  static std::string MoveTo(int column, int row) {
    return "\x1b[" + std::to_string(row + 1) + ";" + std::to_string(column + 1) + "H";
  }

  // A terminal clamps a position past its edge to the edge (or scrolls), so
  // text would land on whatever is drawn there; outside the visible screen
  // the cursor stays where it was instead. The size is asked each time, as
  // the user may resize the window during a run.
  static bool Visible(int column, int row) {
    if (column < 0 || row < 0) return false;
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) return true;
    return row < size.ws_row && column < size.ws_col;
  }

  void Write(int column, int row, const std::string& text) {
    if (screen_) {
      if (Visible(column, row)) Emit(MoveTo(column, row) + text);
      return;
    }
    // A log gets one readable line per text, without the blanking spaces.
    std::string line = text;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (line.empty()) return;
    Emit(line + "\n");
  }

  std::string FromCp437(const std::string& glyphs) const {
    if (!utf8_) return glyphs;
    std::string out;
    out.reserve(glyphs.size() * 3);
    for (const char c : glyphs) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x80) {
        out += c;
      } else {
        out += kCp437[byte - 0x80];
      }
    }
    return out;
  }

  bool screen_;
  bool utf8_;
};

}  // namespace

std::unique_ptr<Console> OpenConsole() { return std::make_unique<PosixConsole>(); }

// ---- Large buffers ---------------------------------------------------------

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t PageSize() {
  static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

std::size_t WholePages(std::size_t size) {
  const std::size_t page = PageSize();
  return (size + page - 1) / page * page;
}

}  // namespace

void* AllocateLargeBuffer(std::size_t size) noexcept {
  if (size == 0 || size > SIZE_MAX - 2 * kHugePage) return nullptr;
  const std::size_t length = WholePages(size);
  if (length < kHugePage) {
    void* bytes = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return bytes == MAP_FAILED ? nullptr : bytes;
  }
  // Huge pages need 2 MiB alignment: map a little more, then unmap the ends.
  const std::size_t mapped = length + kHugePage;
  void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
  if (aligned != start) munmap(raw, aligned - start);
  const std::uintptr_t end = start + mapped;
  if (end != aligned + length) munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
  void* bytes = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
  madvise(bytes, length, MADV_HUGEPAGE);  // only advice: a system without huge pages goes on as before
#endif
  return bytes;
}

void ReleaseLargeBuffer(void* bytes, std::size_t size) noexcept {
  if (bytes != nullptr) munmap(bytes, WholePages(size));
}

void DiscardLargeBufferPages(void* bytes, std::size_t size) noexcept {
  const std::size_t page = PageSize();
  const auto start = reinterpret_cast<std::uintptr_t>(bytes);
  const std::uintptr_t first = (start + page - 1) / page * page;
  const std::uintptr_t last = (start + size) / page * page;
  if (first < last) madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

}  // namespace platform
