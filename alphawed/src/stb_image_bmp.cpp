// The one translation unit that compiles the BMP decoder of stb_image. The
// header is a system include, so its code is held to its own standard, not ours.
#include <cstring>
#include <new>

#include "stb_allocation.h"

namespace alphawed::stb_memory {

namespace {
thread_local bool ran_out = false;
}  // namespace

void* Allocate(std::size_t size) noexcept {
  void* block = ::operator new(size, std::nothrow);
  if (block == nullptr) ran_out = true;
  return block;
}

void* Reallocate(void* block, std::size_t old_size, std::size_t new_size) noexcept {
  void* grown = Allocate(new_size);
  if (grown == nullptr) return nullptr;  // the decoder still owns and frees `block`
  if (block != nullptr) {
    std::memcpy(grown, block, old_size < new_size ? old_size : new_size);
    Release(block);
  }
  return grown;
}

void Release(void* block) noexcept { ::operator delete(block); }

void Reset() noexcept { ran_out = false; }
bool RanOut() noexcept { return ran_out; }

}  // namespace alphawed::stb_memory

#define STBI_MALLOC(size) alphawed::stb_memory::Allocate(size)
#define STBI_REALLOC_SIZED(block, old_size, new_size) \
  alphawed::stb_memory::Reallocate(block, old_size, new_size)
#define STBI_FREE(block) alphawed::stb_memory::Release(block)
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
#include <stb_image.h>
