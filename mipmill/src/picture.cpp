#include "mipmill/picture.h"

namespace mipmill {

// Left uninitialised: every value is written before it is read, and pages
// that a small picture never touches then cost nothing.
ChannelPlane::ChannelPlane()
    : values_(std::make_unique_for_overwrite<int32_t[]>(static_cast<size_t>(kSide) * kSide)) {}

}  // namespace mipmill
