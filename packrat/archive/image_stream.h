// The image laid out as a stream: the directory is built in memory, the data
// blocks go from the model straight to a sink. A writer that stores the image
// unchanged never holds the whole image at once.
#pragma once

#include <cstdint>

#include "packrat/archive/codec.h"
#include "packrat/archive/lz.h"

namespace packrat {

struct ImageDirectory {
  ImageBuffer bytes;            // header and every entry, padded as in the image
  std::uint64_t data_size = 0;  // the data area that follows, padding included
};

// Checks the model as BuildImage does and builds its directory; raises the
// same texts. Touches nothing outside memory.
ImageDirectory LayOutDirectory(const Archive& archive, BufferAllocator& buffers);

// Appends the whole image, byte for byte what BuildImage makes: the
// directory, then every block with its padding, then the zeros to the end.
void AppendImage(const Archive& archive, const ImageDirectory& directory, ByteSink& sink);

}  // namespace packrat
