// Parts of the platform layer that are the same on every system.
#include <cctype>
#include <mutex>
#include <random>

#include "platform/platform.h"

namespace platform {

namespace {
MessageHandler& InstalledHandler() {
  static MessageHandler handler;
  return handler;
}
}  // namespace

void ShowSystemMessage(const MessageRequest& request);  // per back end

void ShowMessage(const MessageRequest& request) {
  if (const MessageHandler& handler = InstalledHandler()) {
    handler(request);
    return;
  }
  ShowSystemMessage(request);
}

MessageHandler SetMessageHandler(MessageHandler handler) {
  MessageHandler previous = std::move(InstalledHandler());
  InstalledHandler() = std::move(handler);
  return previous;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != kPathSeparator && path.back() != '/') path += kPathSeparator;
  path += name;
  return path;
}

bool ReplaceFileContents(const std::string& target, std::span<const std::uint8_t> bytes) {
  const std::unique_ptr<ReplacingFile> file = BeginReplacing(target);
  return file && file->Write(bytes.data(), bytes.size()) && file->Commit();
}

// Eight characters whatever the target is called, so a target name at the
// file system's limit still leaves room; the caller creates it exclusively
// and draws again when the name is taken.
std::string TemporaryFileName() {
  static std::mt19937_64 generator{std::random_device{}()};
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuv";
  std::uint64_t bits = generator();
  std::string name = ".~";
  for (int i = 0; i < 6; ++i, bits >>= 5) name += kDigits[bits & 31];
  return name;
}

bool SameFileName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if (std::tolower(ca) != std::tolower(cb)) return false;
  }
  return true;
}

// The rules of the Windows C start-up code: 2n backslashes before a quote give
// n backslashes and the quote toggles quoting; 2n+1 give n and a literal
// quote; backslashes elsewhere are literal; "" inside quotes gives one quote.
std::vector<std::string> SplitWindowsCommandLine(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  const size_t n = line.size();
  while (true) {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= n) break;
    std::string word;
    bool quoted = false;
    while (i < n) {
      const char c = line[i];
      if (!quoted && (c == ' ' || c == '\t')) break;
      if (c == '\\') {
        size_t slashes = 0;
        while (i < n && line[i] == '\\') {
          ++slashes;
          ++i;
        }
        if (i < n && line[i] == '"') {
          word.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            word += '"';
            ++i;
          }
        } else {
          word.append(slashes, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          word += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      word += c;
      ++i;
    }
    words.push_back(std::move(word));
  }
  return words;
}

}  // namespace platform
