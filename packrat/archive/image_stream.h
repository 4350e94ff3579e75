// The image between the files and the model without a second whole copy of
// it in memory: laid out as a stream (the directory built in memory, the
// blocks going from the model straight to a sink), and parsed while its
// memory is given back.
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

// ParseImage for an image that nobody reads after it: parts of it the parser
// has finished with may go back to its allocator before the parse ends.
Archive ParseSpending(ImageBuffer& image);

}  // namespace packrat
