// The BMP decoder's memory comes from the same allocation functions as the
// rest of the program, so a shortage inside it is seen for what it is
// instead of passing for a damaged file.
#pragma once

#include <cstddef>

namespace alphawed::stb_memory {

void* Allocate(std::size_t size) noexcept;
void* Reallocate(void* block, std::size_t old_size, std::size_t new_size) noexcept;
void Release(void* block) noexcept;

// Set when an allocation of the decoder failed since the last Reset.
void Reset() noexcept;
bool RanOut() noexcept;

}  // namespace alphawed::stb_memory
