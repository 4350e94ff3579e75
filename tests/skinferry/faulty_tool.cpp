// A tool that misbehaves on request, for the fault runs of Skinferry. It is
// installed under a tool's name; when FAULTY_TOOL names that tool, it
//   crash  dies from a segmentation fault before doing anything,
//   fail   exits with status 7 before doing anything,
//   late   does the stand-in tool's work, then exits with status 7;
// otherwise it does the stand-in tool's work (FAKE_TOOL_PROGRAM) and ends as
// that does.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace {

std::string ToolName(const char* argv0) {
  std::string name = argv0;
  const size_t slash = name.rfind('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) name.resize(name.size() - 4);
  return name;
}

// Runs the stand-in under this program's own name, so it acts as this tool.
int RunStandIn(char** argv) {
  const char* stand_in = std::getenv("FAKE_TOOL_PROGRAM");
  if (stand_in == nullptr) return 99;
  pid_t pid = 0;
  if (posix_spawn(&pid, stand_in, nullptr, nullptr, argv, environ) != 0) return 98;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 97;
}

}  // namespace

int main(int, char** argv) {
  const std::string name = ToolName(argv[0]);
  const char* fault = std::getenv("FAULTY_TOOL");
  std::string mode;
  if (fault != nullptr && std::strncmp(fault, name.c_str(), name.size()) == 0 && fault[name.size()] == ':') {
    mode = fault + name.size() + 1;
  }
  if (mode == "crash") {
    signal(SIGSEGV, SIG_DFL);
    raise(SIGSEGV);
    return 96;
  }
  if (mode == "fail") return 7;
  const int status = RunStandIn(argv);
  return mode == "late" ? 7 : status;
}
