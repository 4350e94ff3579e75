// The fixed picture storage of mipmill: channel planes of 1024 x 1024 values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace mipmill {

// One colour channel of a picture of at most 1024 x 1024 pixels, addressed
// by column x and row y. Only the corner that a picture or level covers holds
// meaningful values; the rest is never read.
class ChannelPlane {
 public:
  static constexpr int kSide = 1024;

  ChannelPlane();

  int32_t* Row(int y) { return values_.get() + static_cast<size_t>(y) * kSide; }
  const int32_t* Row(int y) const { return values_.get() + static_cast<size_t>(y) * kSide; }
  int32_t& At(int x, int y) { return Row(y)[x]; }
  int32_t At(int x, int y) const { return Row(y)[x]; }

 private:
  // On the heap: 4 MiB per plane is far too much for a stack.
  std::unique_ptr<int32_t[]> values_;
};

// A loaded TGA: width and height each a power of two from 8 to 1024, depth
// 24 or 32 bits. Row 0 is the last row stored in the file. A 24-bit picture
// has an all-zero alpha channel.
struct SourcePicture {
  int32_t width = 0;
  int32_t height = 0;
  int32_t depth = 0;
  ChannelPlane red;
  ChannelPlane green;
  ChannelPlane blue;
  ChannelPlane alpha;
};

// The planes in which the mip chain is computed, one level at a time, in place.
struct MipPlanes {
  ChannelPlane red;
  ChannelPlane green;
  ChannelPlane blue;
  ChannelPlane alpha;
};

}  // namespace mipmill
