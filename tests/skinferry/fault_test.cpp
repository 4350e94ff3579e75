// Skinferry when things go wrong around it: tools missing, crashing or
// failing, an empty or missing index.fsh, an output folder that cannot be
// made. Every run must end through its error path or its closing steps, wait
// for Enter (end of input counts), exit with 0, remove its work folder and
// leave the user's files as they were.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "text_files.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using skinferry_test::ReadAll;
using skinferry_test::WriteAll;

const std::string kPack =
    "#make 0000.BMP\n#make 0000a.bmp\n#make 0001.BMP\nFSH index\r\ncar 0000.BMP\r\nwheel-4 0001.BMP\r\n";
const std::string kFinished = "Info: Converting to ptx finished!";
const std::string kError = "An error has occurred!";

class SkinferryFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "skinferry-faults-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = fs::canonical(pattern);
    prog_ = root_ / "prog";
    tmp_ = root_ / "tmp";
    for (const fs::path& p : {prog_ / "needed_Exes", tmp_}) fs::create_directories(p);
    fs::copy_file(SKINFERRY_PROGRAM, prog_ / "skinferry");
    for (const char* tool : {"fshtool.exe", "alphawed.exe", "mipmill.exe"}) {
      fs::copy_file(FAULTY_TOOL, prog_ / "needed_Exes" / tool);
    }
    WriteAll(prog_ / "pack.fsh", kPack);
    fs::create_directories(prog_ / "keep");
    WriteAll(prog_ / "keep" / "mine.tga", "not ours");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // Starts skinferry on pack.fsh with `fault` in force and standard input
  // from `input_fd`; returns its pid.
  pid_t Start(const std::string& fault, int input_fd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input_fd, 0);
    const std::string log = (root_ / "log.txt").string();
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> env = {"TMPDIR=" + tmp_.string(), "FAULTY_TOOL=" + fault,
                                    std::string("FAKE_TOOL_PROGRAM=") + FAKE_TOOL, "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = (prog_ / "skinferry").string();
    std::string argument = "pack.fsh";
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }

  // Waits up to a minute; a run that hangs is killed and reported as -1.
  static int Finish(pid_t pid) {
    for (int i = 0; i < 600; ++i) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid)
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
  }

  std::string Log() const { return ReadAll(root_ / "log.txt"); }

  fs::path root_, prog_, tmp_;
};

struct FaultCase {
  const char* name;
  std::string fault;                             // FAULTY_TOOL
  std::function<void(const fs::path&)> arrange;  // given the program folder
  bool error_path;                               // ends through the error path, not the normal end
};

TEST_F(SkinferryFaults, EveryRunEndsWaitsAndKeepsTheUsersFiles) {
  const std::vector<FaultCase> cases = {
      {"no needed_Exes folder", "", [](const fs::path& p) { fs::remove_all(p / "needed_Exes"); }, true},
      {"fshtool crashes", "fshtool:crash", {}, true},
      {"fshtool exits with 7", "fshtool:fail", {}, true},
      {"fshtool exits with 7 after its work", "fshtool:late", {}, false},
      {"alphawed crashes", "alphawed:crash", {}, false},
      {"alphawed exits with 7", "alphawed:fail", {}, false},
      {"mipmill crashes", "mipmill:crash", {}, false},
      {"mipmill exits with 7", "mipmill:fail", {}, false},
      {"empty index.fsh", "", [](const fs::path& p) { WriteAll(p / "pack.fsh", "#make 0000.BMP\n"); }, true},
      {"index.fsh of a blank line", "", [](const fs::path& p) { WriteAll(p / "pack.fsh", "\r\n"); }, true},
      {"output folder is a file", "", [](const fs::path& p) { WriteAll(p / "pack", "a file, not a folder"); },
       false},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    if (c.arrange) c.arrange(prog_);
    const std::string pack_before = ReadAll(prog_ / "pack.fsh");
    const bool output_is_file = fs::is_regular_file(prog_ / "pack");
    const std::string output_file_before = output_is_file ? ReadAll(prog_ / "pack") : "";

    const int no_input = open("/dev/null", O_RDONLY);
    const pid_t pid = Start(c.fault, no_input);
    close(no_input);
    EXPECT_EQ(Finish(pid), 0) << Log();

    const std::string log = Log();
    if (c.error_path) {
      EXPECT_NE(log.find(kError), std::string::npos) << log;
    } else {
      EXPECT_NE(log.find(kFinished), std::string::npos) << log;
    }
    EXPECT_FALSE(fs::exists(tmp_ / "TPC"));
    EXPECT_EQ(ReadAll(prog_ / "pack.fsh"), pack_before);
    EXPECT_EQ(ReadAll(prog_ / "keep" / "mine.tga"), "not ours");
    if (output_is_file) {
      EXPECT_EQ(ReadAll(prog_ / "pack"), output_file_before);
    }
  }
}

// With input still open, the run waits at its end until Enter is pressed.
TEST_F(SkinferryFaults, ErrorPathWaitsForEnter) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  const pid_t pid = Start("fshtool:crash", pipe_fds[0]);
  close(pipe_fds[0]);
  // The run is over once the work folder is gone again; then it must wait.
  bool done = false;
  for (int i = 0; i < 600 && !done; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    done = Log().find(kError) != std::string::npos && !fs::exists(tmp_ / "TPC");
  }
  EXPECT_TRUE(done) << Log();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "ended without waiting for Enter";
  ASSERT_EQ(write(pipe_fds[1], "\n", 1), 1);
  close(pipe_fds[1]);
  EXPECT_EQ(Finish(pid), 0);
}

}  // namespace
