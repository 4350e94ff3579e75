#include "packrat/ui/commands.h"

#include <new>

#include "packrat/archive/codec.h"
#include "packrat/archive/error.h"
#include "packrat/ui/disk_files.h"
#include "platform/platform.h"

namespace packrat {

std::string DeriveOutputName(const std::string& name, char letter) {
  if (name.size() < 3) {
    throw ArchiveError("File name " + name + " is too short to derive the output name");
  }
  std::string output = name;
  output[output.size() - 3] = letter;
  return output;
}

namespace {

// The engine's image buffers, mapped from the system: huge pages where it
// offers them, so an image of megabytes costs a handful of page faults
// instead of thousands, and parts already read go back early.
class SystemBuffers final : public BufferAllocator {
 public:
  std::uint8_t* Allocate(std::size_t size) noexcept override {
    return static_cast<std::uint8_t*>(platform::AllocateLargeBuffer(size));
  }
  void Release(std::uint8_t* bytes, std::size_t size) noexcept override { platform::ReleaseLargeBuffer(bytes, size); }
  void Discard(std::uint8_t* bytes, std::size_t size) noexcept override {
    platform::DiscardLargeBufferPages(bytes, size);
  }
};

// Runs one command: the engine reads the whole input (and closes it) before
// the output is written, so an output name equal to the input name is safe.
template <typename Read, typename Write>
bool RunCommand(const std::string& path, char letter, const char* working, const char* done,
                CommandReporter& reporter, Read read, Write write) {
  reporter.ShowStatus(working);
  try {
    SystemBuffers buffers;
    const ArchiveCodec codec(DiskFiles(), buffers);
    const Archive archive = (codec.*read)(path);
    const std::string output = DeriveOutputName(path, letter);
    (codec.*write)(archive, output);
  } catch (const ArchiveError& error) {
    reporter.ShowError(error.what());
    return false;
  } catch (const std::bad_alloc&) {
    reporter.ShowError(texts::kNoMemory);
    return false;
  }
  reporter.ShowStatus(done);
  return true;
}

}  // namespace

bool UnpackArchive(const std::string& path, CommandReporter& reporter) {
  return RunCommand(path, 'd', status::kDecompressing, status::kDecompressed, reporter, &ArchiveCodec::ReadCrp,
                    &ArchiveCodec::WriteDrp);
}

bool PackArchive(const std::string& path, CommandReporter& reporter) {
  return RunCommand(path, 'c', status::kCompressing, status::kCompressed, reporter, &ArchiveCodec::ReadDrp,
                    &ArchiveCodec::WriteCrp);
}

}  // namespace packrat
