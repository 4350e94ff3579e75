// Parsing an image that an LZ stream filled only in part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "packrat/archive/buffers.h"
#include "packrat/archive/model.h"

namespace packrat {

// ParseImage for an image of `size` bytes of which a stream wrote only the
// first `produced`: the checks, texts and result are ParseImage's, except
// that the header, an entry or a block that lies past the produced bytes
// raises `cut_short`. The zeros standing in there are not the archive's, so
// a model read from them would pass lost data off as empty.
// When `spend` is given, nobody reads the image after the parse, and the
// parser gives the parts it has finished with back to `spend` as it goes.
Archive ParsePartialImage(const std::uint8_t* image, std::size_t size, std::size_t produced,
                          const std::string& cut_short, BufferAllocator* spend = nullptr);

}  // namespace packrat
