#include "packrat/ui/disk_files.h"

#include "platform/platform.h"

namespace packrat {

namespace {

class DiskFile final : public OutputFile {
 public:
  explicit DiskFile(std::unique_ptr<platform::ReplacingFile> file) : file_(std::move(file)) {}
  bool Write(const std::uint8_t* bytes, std::size_t count) override { return file_->Write(bytes, count); }
  bool Commit() override { return file_->Commit(); }

 private:
  std::unique_ptr<platform::ReplacingFile> file_;
};

class DiskReplacer final : public FileReplacer {
 public:
  std::unique_ptr<OutputFile> Begin(const std::string& file_name) const override {
    std::unique_ptr<platform::ReplacingFile> file = platform::BeginReplacing(file_name);
    if (!file) return nullptr;
    return std::make_unique<DiskFile>(std::move(file));
  }
};

}  // namespace

const FileReplacer& DiskFiles() {
  static const DiskReplacer replacer;
  return replacer;
}

}  // namespace packrat
