// Runs a built program as a child process under a resource limit: on a
// "full disk", where no file it writes may grow past a byte limit
// (RLIMIT_FSIZE, with SIGXFSZ ignored so a write past it fails with EFBIG as
// on a full volume), or with little memory. Its standard output and error
// come back through pipes, which the limits do not touch.
#pragma once

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <signal.h>
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

// Runs `program` with standard input from /dev/null, in `folder` when given;
// `limit_child` sets the limit in the child just before the program starts.
template <typename LimitChild>
LimitedResult RunLimited(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& folder, LimitChild limit_child) {
  int out_pipe[2];
  int err_pipe[2];
  LimitedResult result;
  if (pipe(out_pipe) != 0) return result;
  if (pipe(err_pipe) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return result;
  }
  std::vector<std::string> args = arguments;
  args.insert(args.begin(), program);
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
    if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(125);
    limit_child();
    execv(program.c_str(), argv.data());
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
inline LimitedResult RunWithFileSizeLimit(const std::string& program,
                                          const std::vector<std::string>& arguments, rlim_t limit,
                                          const std::string& folder = "") {
  return RunLimited(program, arguments, folder, [limit] {
    signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec
    const rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
  });
}

// Memory the program may use, in MiB: its address space (RLIMIT_AS), so that
// allocating past it fails at once instead of pushing the machine into swap
// or the OOM killer. AddressSanitizer reserves terabytes of address space at
// start, so a sanitized program gets the same bound on its resident memory
// through the sanitizer's own option instead.
inline LimitedResult RunWithMemoryLimit(const std::string& program, const std::vector<std::string>& arguments,
                                        unsigned megabytes, const std::string& folder = "") {
  return RunLimited(program, arguments, folder, [megabytes] {
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
  });
}

}  // namespace fault_injection
#endif
