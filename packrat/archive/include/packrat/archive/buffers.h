// Where the engine takes its large buffers (images of up to 16 MiB and
// more) from. The program hands in one that knows the system (huge pages,
// giving memory back early); the engine itself makes no system call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace packrat {

class BufferAllocator {
 public:
  virtual ~BufferAllocator() = default;
  // `size` bytes (at least 1), or nullptr when they cannot be had.
  virtual std::uint8_t* Allocate(std::size_t size) noexcept = 0;
  // Gives back what Allocate returned, with the size it was asked for.
  virtual void Release(std::uint8_t* bytes, std::size_t size) noexcept = 0;
  // Says that [bytes, bytes + size), inside one allocation, will not be read
  // again, so its memory may go back to the system before the whole buffer
  // is released. Nothing may be read there afterwards.
  virtual void Discard(std::uint8_t* /*bytes*/, std::size_t /*size*/) noexcept {}
};

// The C++ heap: what the engine uses when it is given nothing else.
BufferAllocator& HeapBuffers();

// Releases a buffer to the allocator it came from.
struct BufferRelease {
  BufferAllocator* allocator = nullptr;
  std::size_t size = 0;
  void operator()(std::uint8_t* bytes) const noexcept {
    if (bytes != nullptr) allocator->Release(bytes, size);
  }
};

// An owned buffer. Allocated without zero-filling: its user writes every
// byte itself.
struct ImageBuffer {
  std::unique_ptr<std::uint8_t[], BufferRelease> bytes;
  std::size_t size = 0;

  std::span<const std::uint8_t> view() const { return {bytes.get(), size}; }
};

// Obtains `size` bytes from `allocator` or raises "Memory couldn't be allocated".
ImageBuffer AllocateBuffer(BufferAllocator& allocator, std::size_t size);

}  // namespace packrat
