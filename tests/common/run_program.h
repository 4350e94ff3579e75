// Runs a built program as a child process and collects what it printed.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#include "common/temp_dir.h"

namespace testing_support {

struct ProgramResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

#ifndef _WIN32
// Starts `program` with `arguments` (no shell), standard input from
// /dev/null, in `folder` when given, and waits for it.
inline ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                                const std::string& folder = "") {
  TempDir capture;
  const std::string out_name = capture.file("out");
  const std::string err_name = capture.file("err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::vector<std::string> args = arguments;
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ProgramResult result;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  const Bytes out = ReadFileBytes(out_name);
  const Bytes err = ReadFileBytes(err_name);
  result.out.assign(out.begin(), out.end());
  result.err.assign(err.begin(), err.end());
  return result;
}
#endif

}  // namespace testing_support
