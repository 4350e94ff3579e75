// Runs a built program as a child process under a resource limit: on a
// "full disk", where no file it writes may grow past a byte limit
// (RLIMIT_FSIZE), or with little memory. The signal a write past the file
// size limit raises is left as the system sets it: the programs ignore it
// themselves, so the write fails with EFBIG as on a full volume. Standard
// output and error come back through pipes, which the limits do not touch.
// An unprivileged run drops to the user nobody (65534) when the test runs as
// root, so permission checks meet the program as they meet a user.
#pragma once

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define ROADFIRE_LIMITED_RUN_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ROADFIRE_LIMITED_RUN_ASAN 1
#endif
#endif

namespace fault_injection {

struct LimitedResult {
  int exit_code = -1;  // 128 + signal when killed
  std::string out;
  std::string err;
};

inline std::string DrainPipe(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<size_t>(got));
  close(fd);
  return text;
}

constexpr uid_t kUnprivilegedId = 65534;

struct LimitedRun {
  std::string program;
  std::vector<std::string> arguments;
  rlim_t file_size_limit = RLIM_INFINITY;  // bytes
  std::string folder;                      // working folder; empty: this one
  bool unprivileged = false;
  unsigned memory_limit_mb = 0;            // 0: no limit
};

// Memory the program may use: its address space (RLIMIT_AS), so that
// allocating past it fails at once instead of pushing the machine into swap
// or the OOM killer. AddressSanitizer reserves terabytes of address space at
// start, so a sanitized program gets the same bound on its resident memory
// through the sanitizer's own option instead. Runs in the child.
inline void LimitMemory(unsigned megabytes) {
#ifdef ROADFIRE_LIMITED_RUN_ASAN
  const char* inherited = getenv("ASAN_OPTIONS");
  std::string options = inherited != nullptr ? inherited : "";
  options += (options.empty() ? "" : ":") + std::string("hard_rss_limit_mb=") + std::to_string(megabytes);
  setenv("ASAN_OPTIONS", options.c_str(), 1);
#else
  const rlim_t bytes = rlim_t{megabytes} << 20;
  const rlimit rl{bytes, bytes};
  setrlimit(RLIMIT_AS, &rl);
#endif
}

// Standard input is /dev/null.
inline LimitedResult RunLimited(const LimitedRun& run) {
  int out_pipe[2];
  int err_pipe[2];
  LimitedResult result;
  if (pipe(out_pipe) != 0) return result;
  if (pipe(err_pipe) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return result;
  }
  std::vector<std::string> args = run.arguments;
  args.insert(args.begin(), run.program);
  if (run.unprivileged && geteuid() == 0) {
    const std::string id = std::to_string(kUnprivilegedId);
    args.insert(args.begin(), {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", "--"});
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    const int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(err_pipe[0]);
    if (!run.folder.empty() && chdir(run.folder.c_str()) != 0) _exit(125);
    signal(SIGXFSZ, SIG_DFL);
    const rlimit rl{run.file_size_limit, run.file_size_limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    if (run.memory_limit_mb != 0) LimitMemory(run.memory_limit_mb);
    execvp(argv[0], argv.data());
    _exit(126);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  // Outputs are a few lines, far below a pipe's capacity: read after exit.
  int status = 0;
  waitpid(pid, &status, 0);
  result.out = DrainPipe(out_pipe[0]);
  result.err = DrainPipe(err_pipe[0]);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

// `limit` in bytes.
inline LimitedResult RunWithFileSizeLimit(const std::string& program, const std::vector<std::string>& arguments,
                                          rlim_t limit, const std::string& folder = "") {
  return RunLimited({program, arguments, limit, folder, false});
}

inline LimitedResult RunWithMemoryLimit(const std::string& program, const std::vector<std::string>& arguments,
                                        unsigned megabytes, const std::string& folder = "") {
  return RunLimited({program, arguments, RLIM_INFINITY, folder, false, megabytes});
}

}  // namespace fault_injection
#endif
