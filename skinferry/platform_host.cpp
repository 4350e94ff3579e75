// The Host over the real system, through the platform layer.
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/platform.h"
#include "skinferry/host.h"

namespace skinferry {

namespace {

class StreamFile final : public OutputFile {
 public:
  explicit StreamFile(std::ofstream stream) : stream_(std::move(stream)) {}
  void Write(const std::string& bytes) override {
    if (stream_.is_open()) stream_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  void Close() override {
    if (stream_.is_open()) stream_.close();
  }

 private:
  std::ofstream stream_;
};

class PlatformHost final : public Host {
 public:
  PlatformHost() : console_(platform::OpenConsole()) {}

  bool IsScreen() const override { return console_->IsScreen(); }
  void ClearScreen() override { console_->Clear(); }
  void SetTitle(const std::string& title) override { console_->SetTitle(title); }
  void WriteAt(int column, int row, const std::string& text) override {
    console_->WriteAt(column, row, text);
  }
  void WriteBoxAt(int column, int row, const std::string& cp437) override {
    console_->WriteCp437At(column, row, cp437);
  }
  void PlaceCursor(int column, int row) override { console_->PlaceCursor(column, row); }
  // End of input counts as Enter, so a run with a closed input never hangs.
  void WaitForEnter() override { (void)console_->ReadLine(); }

  std::string ExecutablePath() override { return platform::ExecutablePath(); }
  std::string TempFolder() override { return platform::TempFolder(); }
  bool SetCurrentFolder(const std::string& path) override { return platform::SetCurrentFolder(path); }

  bool Exists(const std::string& path) override { return platform::Exists(path); }
  std::optional<std::string> StoredName(const std::string& path) override {
    std::optional<std::string> long_path = platform::LongPathName(path);
    if (!long_path) return std::nullopt;
    while (long_path->size() > 1 &&
           (long_path->back() == platform::kPathSeparator || long_path->back() == '/')) {
      long_path->pop_back();
    }
    const size_t at = long_path->find_last_of(std::string(1, platform::kPathSeparator) + "/");
    return at == std::string::npos ? *long_path : long_path->substr(at + 1);
  }
  std::vector<HostEntry> ListFolder(const std::string& path) override {
    std::vector<HostEntry> entries;
    for (platform::FolderEntry& entry : platform::ListFolder(path)) {
      entries.push_back({std::move(entry.name), entry.is_folder, entry.read_only, entry.hidden});
    }
    return entries;
  }
  bool DeleteFileForced(const std::string& path) override { return platform::DeleteFileForced(path); }
  bool DeleteFileUnlessReadOnly(const std::string& path) override {
    return platform::DeleteFileUnlessReadOnly(path);
  }
  bool IsLink(const std::string& path) override { return platform::IsLink(path); }
  bool RemoveLink(const std::string& path) override { return platform::RemoveLink(path); }
  bool RemoveEmptyFolder(const std::string& path) override { return platform::RemoveEmptyFolder(path); }
  bool CreateFolder(const std::string& path) override { return platform::CreateFolder(path); }
  bool CopyFileReplacing(const std::string& from, const std::string& to) override {
    return platform::CopyFileReplacing(from, to);
  }
  std::optional<std::string> ReadWholeFile(const std::string& path) override {
    // The stored spelling, so a list written as INDEX.FSH is found too.
    const std::optional<std::string> stored = platform::LongPathName(path);
    if (!stored) return std::nullopt;
    std::ifstream in(*stored, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::move(bytes).str();
  }
  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) override {
    // An index.txt that exists as INDEX.TXT, or in a folder spelled another
    // way, is replaced, not joined by a second file.
    std::ofstream out(platform::PathForWriting(path), std::ios::binary | std::ios::trunc);
    if (!out) return nullptr;
    return std::make_unique<StreamFile>(std::move(out));
  }

  bool StartAndWait(const std::string& program, const std::string& parameters,
                    const std::string& working_folder, std::string& messages) override {
    // The tools' folder is spelled two ways; find it as stored, so a system
    // that matches names exactly can still change into it.
    const std::string folder = working_folder.empty()
                                   ? working_folder
                                   : platform::LongPathName(working_folder).value_or(working_folder);
    return platform::StartAndWait(program, parameters, folder, platform::WindowMode::kNormal, &messages);
  }
  void Sleep(unsigned milliseconds) override { platform::SleepMilliseconds(milliseconds); }

 private:
  std::unique_ptr<platform::Console> console_;
};

}  // namespace

std::unique_ptr<Host> MakePlatformHost() { return std::make_unique<PlatformHost>(); }

}  // namespace skinferry
