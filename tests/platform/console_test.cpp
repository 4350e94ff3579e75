// The console screen, read back from a real screen: a pseudo-terminal on
// POSIX, the console buffer on Windows. Plus the plain-lines mode used when
// standard output is a pipe or a file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// The corner and edge bytes of the progress box in code page 437.
const std::string kBoxBytes = "\xC9\xCD\xBB";

#ifndef _WIN32

// Runs `body` in a child whose standard streams are a new pseudo-terminal of
// 80 columns and `rows` rows under the locale `lang`, types `input` and
// returns all the child wrote to the terminal.
std::string RunInTerminal(const char* lang, void (*body)(), const std::string& input, unsigned short rows = 25) {
  int master = -1;
  winsize size{};
  size.ws_row = rows;
  size.ws_col = 80;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) return "forkpty failed";
  if (pid == 0) {
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_CTYPE");
    ::setenv("LANG", lang, 1);
    body();
    std::fflush(stdout);
    std::_Exit(0);
  }
  if (!input.empty()) {
    [[maybe_unused]] const ssize_t put = ::write(master, input.data(), input.size());
  }
  std::string output;
  char buffer[4096];
  while (true) {
    pollfd fd{master, POLLIN, 0};
    if (::poll(&fd, 1, 10000) <= 0) break;  // a stuck child fails the test, never hangs it
    const ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got <= 0) break;  // EIO once the child has closed the terminal
    output.append(buffer, static_cast<size_t>(got));
  }
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return output;
}

void DrawSomeScreen() {
  auto console = platform::OpenConsole();
  if (!console->IsScreen()) {
    std::fputs("NOT A SCREEN", stdout);
    return;
  }
  console->Clear();
  console->SetTitle("Skinferry");
  console->WriteCp437At(9, 12, kBoxBytes);
  // A name is shown as given, not as code page 437: "\xC3\xA5" is å in
  // UTF-8 and would be two box pieces in 437.
  console->WriteAt(9, 8, "\xC3\xA5re.fsh");
  console->WriteAt(-1, 3, "off screen");
  console->PlaceCursor(9, 16);
  const auto line = console->ReadLine();
  console->WriteAt(0, 0, "got:" + line.value_or("<end>") + ".");
}

TEST(Console, PosixTerminalGetsPositionedTextAndTheBoxInUtf8) {
  const std::string out = RunInTerminal("C.UTF-8", DrawSomeScreen, "typed text\n");
  EXPECT_NE(out.find("\x1b[2J\x1b[H"), std::string::npos) << out;
  EXPECT_NE(out.find("\x1b]0;Skinferry\x07"), std::string::npos) << out;
  EXPECT_NE(out.find("\x1b[13;10H\u2554\u2550\u2557"), std::string::npos) << out;
  EXPECT_NE(out.find("\x1b[9;10H\u00e5re.fsh"), std::string::npos) << out;
  EXPECT_NE(out.find("\x1b[17;10H"), std::string::npos) << out;
  EXPECT_NE(out.find("\x1b[1;1Hgot:typed text."), std::string::npos) << out;
  EXPECT_EQ(out.find("off screen"), std::string::npos) << out;
}

TEST(Console, PosixTerminalWithoutUtf8GetsTheBytesUnchanged) {
  const std::string out = RunInTerminal("C", DrawSomeScreen, "\n");
  EXPECT_NE(out.find("\x1b[13;10H" + kBoxBytes), std::string::npos) << out;
  EXPECT_NE(out.find("\x1b[9;10H\xC3\xA5re.fsh"), std::string::npos) << out;
  EXPECT_NE(out.find("got:."), std::string::npos) << out;
}

// Skinferry's last cursor position, row 24, and a text there.
void UseTheRowBelowTheBox() {
  auto console = platform::OpenConsole();
  console->WriteAt(9, 23, "last row");
  console->PlaceCursor(9, 24);
  console->WriteAt(0, 24, "below");
  console->WriteCp437At(79, 23, "\xBC");
  console->WriteAt(80, 0, "right of it");
}

TEST(Console, PosixPositionOutsideTheTerminalLeavesTheCursorWhereItWas) {
  struct Case {
    unsigned short rows;
    bool row_24_visible;
  };
  for (const Case c : {Case{24, false}, Case{25, true}}) {
    SCOPED_TRACE(c.rows);
    const std::string out = RunInTerminal("C.UTF-8", UseTheRowBelowTheBox, "", c.rows);
    EXPECT_NE(out.find("\x1b[24;10Hlast row"), std::string::npos) << out;
    EXPECT_NE(out.find("\x1b[24;80H\u255d"), std::string::npos) << out;
    // A terminal would clamp row 25 to its last row, over the box's corner.
    EXPECT_EQ(out.find("\x1b[25;10H") != std::string::npos, c.row_24_visible) << out;
    EXPECT_EQ(out.find("below") != std::string::npos, c.row_24_visible) << out;
    EXPECT_EQ(out.find("right of it"), std::string::npos) << out;
  }
}

TEST(Console, PosixReadLineReportsTheEndOfInput) {
  // Ctrl-D on an empty line ends the input.
  const std::string out = RunInTerminal("C", DrawSomeScreen, "\x04");
  EXPECT_NE(out.find("got:<end>."), std::string::npos) << out;
}

// Captures what the console writes to standard output while it is a pipe.
std::string WriteThroughPipe(void (*body)(platform::Console&)) {
  std::fflush(stdout);
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  const int saved = ::dup(STDOUT_FILENO);
  ::dup2(fds[1], STDOUT_FILENO);
  ::close(fds[1]);
  {
    auto console = platform::OpenConsole();
    body(*console);
  }
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  std::string output;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(got));
  ::close(fds[0]);
  return output;
}

constexpr const char* kLineEnd = "\n";

#else  // _WIN32

std::string WriteThroughPipe(void (*body)(platform::Console&)) {
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!::CreatePipe(&read_end, &write_end, nullptr, 1 << 16)) return "pipe failed";
  const HANDLE saved = ::GetStdHandle(STD_OUTPUT_HANDLE);
  ::SetStdHandle(STD_OUTPUT_HANDLE, write_end);
  {
    auto console = platform::OpenConsole();
    body(*console);
  }
  ::SetStdHandle(STD_OUTPUT_HANDLE, saved);
  ::CloseHandle(write_end);
  std::string output;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
  ::CloseHandle(read_end);
  return output;
}

constexpr const char* kLineEnd = "\r\n";

// A console of our own for the test, with standard output pointed at it.
class OwnConsole {
 public:
  OwnConsole() {
    ::FreeConsole();
    if (!::AllocConsole()) return;
    screen_ = ::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    if (screen_ == INVALID_HANDLE_VALUE) return;
    // Without a display Wine makes a console that has no screen buffer.
    DWORD mode = 0;
    has_screen_ = ::GetConsoleMode(screen_, &mode) != FALSE;
    saved_ = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::SetStdHandle(STD_OUTPUT_HANDLE, screen_);
  }
  ~OwnConsole() {
    if (saved_ != nullptr) ::SetStdHandle(STD_OUTPUT_HANDLE, saved_);
    if (screen_ != INVALID_HANDLE_VALUE) ::CloseHandle(screen_);
    ::FreeConsole();
  }
  OwnConsole(const OwnConsole&) = delete;
  OwnConsole& operator=(const OwnConsole&) = delete;

  bool ok() const { return screen_ != INVALID_HANDLE_VALUE && has_screen_; }

  std::wstring ReadCells(int column, int row, int count) const {
    std::wstring cells(static_cast<size_t>(count), L'\0');
    DWORD got = 0;
    ::ReadConsoleOutputCharacterW(screen_, cells.data(), static_cast<DWORD>(count),
                                  COORD{static_cast<SHORT>(column), static_cast<SHORT>(row)}, &got);
    cells.resize(got);
    return cells;
  }

  COORD Cursor() const {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    ::GetConsoleScreenBufferInfo(screen_, &info);
    return info.dwCursorPosition;
  }

 private:
  HANDLE screen_ = INVALID_HANDLE_VALUE;
  HANDLE saved_ = nullptr;
  bool has_screen_ = false;
};

TEST(Console, Win32ScreenShowsTheBoxAtItsPlaceAndTheTitle) {
  OwnConsole own;
  if (!own.ok()) GTEST_SKIP() << "no console screen can be made here (Wine without a display)";
  auto console = platform::OpenConsole();
  ASSERT_TRUE(console->IsScreen());

  console->WriteAt(0, 0, "leftover text");
  console->Clear();
  EXPECT_EQ(own.ReadCells(0, 0, 4), L"    ");

  console->SetTitle("Skinferry");
  char title[64] = {};
  ::GetConsoleTitleA(title, sizeof title);
  EXPECT_STREQ(title, "Skinferry");

  console->WriteCp437At(9, 12, kBoxBytes);
  console->WriteAt(12, 12, " Info:");
  EXPECT_EQ(own.ReadCells(9, 12, 9), L"\u2554\u2550\u2557 Info:");

  // Names are in the ANSI code page: byte 0x92 of Windows-1252 is the
  // right single quote, which code page 437 would show as the letter \u00c6.
  ASSERT_EQ(::GetACP(), 1252u) << "the Wine set-up is expected to use the Western code page";
  console->WriteAt(9, 8, "it\x92s.fsh");
  EXPECT_EQ(own.ReadCells(9, 8, 8), L"it\u2019s.fsh");

  console->PlaceCursor(9, 16);
  EXPECT_EQ(own.Cursor().X, 9);
  EXPECT_EQ(own.Cursor().Y, 16);
  console->PlaceCursor(-1, 5);  // outside the buffer: the cursor stays
  EXPECT_EQ(own.Cursor().X, 9);
  EXPECT_EQ(own.Cursor().Y, 16);
}

#endif

TEST(Console, OutputThatIsNoScreenGetsOneLinePerText) {
  const std::string out = WriteThroughPipe([](platform::Console& console) {
    if (console.IsScreen()) std::fputs("IS A SCREEN", stdout);
    console.Clear();
    console.SetTitle("Skinferry");
    console.WriteAt(17, 13, "Converting the fsh file to bmp's....      ");
    console.WriteAt(27, 15, "     ");
    console.PlaceCursor(9, 24);
    console.WriteAt(58, 22, "34%");
  });
  const std::string end = kLineEnd;
  EXPECT_EQ(out, "Converting the fsh file to bmp's...." + end + "34%" + end);
}

}  // namespace
