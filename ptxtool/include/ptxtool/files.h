// Reading an input whole and writing an output only once it is complete.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ptxtool {

// Far more than any texture or picture ptxtool reads (a PTX of 1024 x 1024
// with every level is 5.6 MB), small enough to hold without trouble.
inline constexpr size_t kMaxInputBytes = size_t{64} << 20;

// The first `limit` bytes of the file (all of it when it is shorter), read
// with the narrow calls that take names in the system's code page. Refuses
// (Refusal) a missing file, a folder and a failed read.
std::vector<uint8_t> ReadInputPrefix(const std::string& path, size_t limit);

// The whole file; refuses one longer than kMaxInputBytes as well.
std::vector<uint8_t> ReadInputFile(const std::string& path);

// Replaces (or makes) `path` with `bytes` once they are all ready; an
// existing `path` is left as it was on failure, and Refusal names `path`.
void WriteOutput(const std::string& path, std::span<const uint8_t> bytes);


}  // namespace ptxtool
