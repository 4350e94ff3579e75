// The archive engine's operations: parse and build CRP images, read and
// write .crp (compressed) and .drp (bare image) files. Stateless; every
// failure raises an ArchiveError carrying the text for the user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "packrat/archive/buffers.h"
#include "packrat/archive/model.h"
#include "packrat/archive/output.h"

namespace packrat {

class ArchiveCodec {
 public:
  // A codec made without a replacer parses, builds and reads; its writers
  // refuse with "File <name> couldn't be written". Image buffers come from
  // the C++ heap, or from `buffers`, which must outlive the codec.
  ArchiveCodec() = default;
  explicit ArchiveCodec(const FileReplacer& files) : files_(&files) {}
  explicit ArchiveCodec(BufferAllocator& buffers) : buffers_(&buffers) {}
  ArchiveCodec(const FileReplacer& files, BufferAllocator& buffers) : files_(&files), buffers_(&buffers) {}

  // Turns an image held in memory into a model that owns copies of every block.
  // Never reads outside [image, image + size). A model whose image BuildImage
  // could not make (4 GiB or more, blocks that entries share counted once for
  // each) is refused before any block is copied.
  Archive ParseImage(const std::uint8_t* image, std::size_t size) const;

  // Lays a valid model out as an image: directory, then 16-byte aligned data
  // blocks, each region padded to 4096 bytes.
  ImageBuffer BuildImage(const Archive& archive) const;

  Archive ReadCrp(const std::string& file_name) const;
  // Reads the bytes of a .crp file held in memory exactly as ReadCrp reads
  // them from disk; `file_name` appears only in the error texts.
  Archive ReadCrpBytes(std::span<const std::uint8_t> file_bytes, const std::string& file_name) const;
  void WriteCrp(const Archive& archive, const std::string& file_name) const;
  Archive ReadDrp(const std::string& file_name) const;
  void WriteDrp(const Archive& archive, const std::string& file_name) const;

  BufferAllocator& buffers() const { return *buffers_; }

 private:
  const FileReplacer* files_ = nullptr;
  BufferAllocator* buffers_ = &HeapBuffers();
};

}  // namespace packrat
