#include "packrat/archive/buffers.h"

#include <new>

#include "packrat/archive/error.h"

namespace packrat {

namespace {

class Heap final : public BufferAllocator {
 public:
  std::uint8_t* Allocate(std::size_t size) noexcept override {
    try {
      return new std::uint8_t[size];
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  void Release(std::uint8_t* bytes, std::size_t /*size*/) noexcept override { delete[] bytes; }
};

}  // namespace

BufferAllocator& HeapBuffers() {
  static Heap heap;
  return heap;
}

ImageBuffer AllocateBuffer(BufferAllocator& allocator, std::size_t size) {
  std::uint8_t* const bytes = allocator.Allocate(size == 0 ? 1 : size);
  if (bytes == nullptr) throw ArchiveError(texts::kNoMemory);
  ImageBuffer buffer;
  buffer.bytes = std::unique_ptr<std::uint8_t[], BufferRelease>(bytes, BufferRelease{&allocator, size == 0 ? 1 : size});
  buffer.size = size;
  return buffer;
}

}  // namespace packrat
