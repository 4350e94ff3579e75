// An in-memory Host for unit tests: files and folders in a map (names matched
// ignoring letter case), the console as an 80 x 25 grid of cells, program
// starts recorded and answered by a handler the test installs.
#pragma once

#include <algorithm>
#include <cctype>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "skinferry/host.h"

namespace skinferry::testing {

#ifdef _WIN32
inline const std::string kRoot = "C:";
#else
inline const std::string kRoot;
#endif

// An absolute path from its components: P({"prog", "needed_Exes"}).
inline std::string P(std::initializer_list<std::string> parts) {
  std::string path = kRoot;
  for (const std::string& part : parts) path += platform::kPathSeparator + part;
  return path;
}

struct Start {
  std::string program;
  std::string parameters;
  std::string working_folder;
};

struct Write {
  int column;
  int row;
  std::string text;
};

class FakeHost final : public Host {
 public:
  static constexpr int kColumns = 80;
  static constexpr int kRows = 25;

  FakeHost() { ClearScreen(); }

  // ---- What the test sets up.
  bool screen = true;
  std::string executable_path = P({"prog", "Skinferry.exe"});
  std::string temp_folder = P({"temp"}) + platform::kPathSeparator;
  // Answers every program start; returns whether it "started". What it
  // leaves in `tool_output` is handed back as the program's messages.
  std::function<bool(FakeHost&, const Start&)> on_start;
  std::string tool_output;

  void AddFolder(const std::string& path) {
    if (path.empty() || path == kRoot) return;
    AddFolder(Parent(path));
    auto [it, added] = nodes_.try_emplace(Key(path), Node{path, true, {}});
    (void)it;
    (void)added;
  }
  void AddFile(const std::string& path, const std::string& data = "x") {
    AddFolder(Parent(path));
    nodes_[Key(path)] = Node{path, false, data};
  }
  // A file the user marked read-only or hidden.
  void AddFile(const std::string& path, const std::string& data, bool read_only, bool hidden) {
    AddFile(path, data);
    nodes_[Key(path)].read_only = read_only;
    nodes_[Key(path)].hidden = hidden;
  }
  // A link in place of a folder; `removable` false: this user may not remove it.
  void AddLink(const std::string& path, bool removable = true) {
    AddFolder(Parent(path));
    nodes_[Key(path)] = Node{path, true, {}};
    nodes_[Key(path)].link = true;
    nodes_[Key(path)].removable = removable;
  }
  bool IsLinkNode(const std::string& path) const {
    auto it = nodes_.find(Key(path));
    return it != nodes_.end() && it->second.link;
  }
  bool Has(const std::string& path) const { return nodes_.count(Key(Absolute(path))) != 0; }
  std::string Data(const std::string& path) const {
    auto it = nodes_.find(Key(path));
    return it == nodes_.end() ? std::string("<missing>") : it->second.data;
  }

  // ---- What the test reads back.
  std::vector<Start> starts;
  std::vector<Write> writes;      // texts
  std::vector<Write> box_writes;  // drawing characters
  std::vector<std::string> log_lines;
  std::vector<std::string> events;  // starts, sleeps, waits, deletions in order
  std::vector<unsigned> sleeps;
  std::string title;
  std::string current_folder = P({"caller"});
  int cursor_column = -1, cursor_row = -1;
  int enter_waits = 0;

  std::string Row(int row) const { return grid_[static_cast<size_t>(row)]; }
  std::string At(int column, int row, size_t length) const {
    return grid_[static_cast<size_t>(row)].substr(static_cast<size_t>(column), length);
  }
  // Texts written at one position, in order.
  std::vector<std::string> WritesAt(int column, int row) const {
    std::vector<std::string> texts;
    for (const Write& w : writes) {
      if (w.column == column && w.row == row) texts.push_back(w.text);
    }
    return texts;
  }

  // ---- Host.
  bool IsScreen() const override { return screen; }
  void ClearScreen() override { grid_.assign(kRows, std::string(kColumns, ' ')); }
  void SetTitle(const std::string& text) override { title = text; }
  void WriteAt(int column, int row, const std::string& text) override {
    writes.push_back({column, row, text});
    if (!screen) {
      std::string line = text;
      while (!line.empty() && line.back() == ' ') line.pop_back();
      if (!line.empty()) log_lines.push_back(line);
      return;
    }
    if (column < 0 || row < 0 || column >= kColumns || row >= kRows) return;
    // The console wraps a long text onto the next row.
    int c = column, r = row;
    for (const char ch : text) {
      if (r >= kRows) break;
      grid_[static_cast<size_t>(r)][static_cast<size_t>(c)] = ch;
      if (++c == kColumns) {
        c = 0;
        ++r;
      }
    }
  }
  void WriteBoxAt(int column, int row, const std::string& cp437) override {
    box_writes.push_back({column, row, cp437});
    WriteAt(column, row, cp437);
    writes.pop_back();
  }
  void PlaceCursor(int column, int row) override {
    cursor_column = column;
    cursor_row = row;
  }
  void WaitForEnter() override {
    ++enter_waits;
    events.push_back("wait " + std::to_string(cursor_column) + "," + std::to_string(cursor_row));
  }

  std::string ExecutablePath() override { return executable_path; }
  std::string TempFolder() override { return temp_folder; }
  bool SetCurrentFolder(const std::string& path) override {
    current_folder = path;
    events.push_back("cd " + path);
    return true;
  }

  bool Exists(const std::string& path) override { return Has(path); }
  std::optional<std::string> StoredName(const std::string& path) override {
    auto it = nodes_.find(Key(Absolute(path)));
    if (it == nodes_.end()) return std::nullopt;
    return Name(it->second.path);
  }
  std::vector<HostEntry> ListFolder(const std::string& path) override {
    std::vector<HostEntry> entries;
    if (IsLinkNode(path)) return entries;  // never followed
    for (const auto& [key, node] : nodes_) {
      if (Key(Parent(node.path)) == Key(path)) {
        entries.push_back({Name(node.path), node.folder, node.read_only, node.hidden});
      }
    }
    return entries;
  }
  bool DeleteFileForced(const std::string& path) override {
    auto it = nodes_.find(Key(path));
    if (it == nodes_.end() || it->second.folder) return false;
    nodes_.erase(it);
    events.push_back("delete " + path);
    return true;
  }
  bool DeleteFileUnlessReadOnly(const std::string& path) override {
    auto it = nodes_.find(Key(path));
    if (it == nodes_.end() || it->second.read_only) return false;
    return DeleteFileForced(path);
  }
  bool IsLink(const std::string& path) override { return IsLinkNode(path); }
  bool RemoveLink(const std::string& path) override {
    auto it = nodes_.find(Key(path));
    if (it == nodes_.end() || !it->second.link || !it->second.removable) return false;
    nodes_.erase(it);
    events.push_back("unlink " + path);
    return true;
  }
  bool RemoveEmptyFolder(const std::string& path) override {
    auto it = nodes_.find(Key(path));
    if (it == nodes_.end() || !it->second.folder || !ListFolder(path).empty()) return false;
    nodes_.erase(it);
    events.push_back("rmdir " + path);
    return true;
  }
  bool CreateFolder(const std::string& path) override {
    if (Has(path) || !Has(Parent(path))) return false;
    nodes_[Key(path)] = Node{path, true, {}};
    return true;
  }
  bool CopyFileReplacing(const std::string& from, const std::string& to) override {
    auto it = nodes_.find(Key(from));
    if (it == nodes_.end() || it->second.folder || !Has(Parent(to))) return false;
    const std::string data = it->second.data;
    AddFile(to, data);
    events.push_back("copy " + from + " " + to);
    return true;
  }
  std::optional<std::string> ReadWholeFile(const std::string& path) override {
    auto it = nodes_.find(Key(path));
    if (it == nodes_.end() || it->second.folder) return std::nullopt;
    return it->second.data;
  }
  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) override {
    if (!Has(Parent(path))) return nullptr;
    auto it = nodes_.find(Key(path));
    if (it != nodes_.end() && it->second.folder) return nullptr;
    AddFile(path, "");
    return std::make_unique<File>(*this, path);
  }

  bool StartAndWait(const std::string& program, const std::string& parameters,
                    const std::string& working_folder, std::string& messages) override {
    starts.push_back({program, parameters, working_folder});
    events.push_back("start " + program);
    tool_output.clear();
    const bool started = on_start ? on_start(*this, starts.back()) : true;
    messages = std::move(tool_output);
    tool_output.clear();
    return started;
  }
  void Sleep(unsigned milliseconds) override {
    sleeps.push_back(milliseconds);
    events.push_back("sleep " + std::to_string(milliseconds));
  }

  static std::string Parent(const std::string& path) {
    const size_t at = path.rfind(platform::kPathSeparator);
    return at == std::string::npos ? std::string() : path.substr(0, at);
  }
  static std::string Name(const std::string& path) {
    const size_t at = path.rfind(platform::kPathSeparator);
    return at == std::string::npos ? path : path.substr(at + 1);
  }

 private:
  struct Node {
    std::string path;
    bool folder = false;
    std::string data;
    bool read_only = false;
    bool hidden = false;
    bool link = false;
    bool removable = true;
  };

  class File final : public OutputFile {
   public:
    File(FakeHost& host, std::string path) : host_(host), path_(std::move(path)) {}
    void Write(const std::string& bytes) override {
      if (!open_) return;
      auto it = host_.nodes_.find(Key(path_));
      if (it != host_.nodes_.end()) it->second.data += bytes;
    }
    void Close() override { open_ = false; }

   private:
    FakeHost& host_;
    std::string path_;
    bool open_ = true;
  };

  static std::string Key(std::string path) {
    while (path.size() > kRoot.size() + 1 && path.back() == platform::kPathSeparator) path.pop_back();
    std::transform(path.begin(), path.end(), path.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return path;
  }
  // Relative paths are taken from the current folder.
  std::string Absolute(const std::string& path) const {
    if (!kRoot.empty() ? path.rfind(kRoot, 0) == 0 : (!path.empty() && path[0] == platform::kPathSeparator)) {
      return path;
    }
    return platform::JoinPath(current_folder, path);
  }

  std::map<std::string, Node> nodes_;
  std::vector<std::string> grid_;
};

}  // namespace skinferry::testing
