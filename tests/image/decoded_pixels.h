// Shared helpers of the decoder tests.
#pragma once

#include <ostream>

#include "image/bmp_decoder.h"
#include "support/test_picture.h"

namespace pixtable::test {

/// The decoded pixels, top row first, as 0x00RRGGBB. Also checks the
/// record's shape: 32 bits, `BytesPerLine` = `Width` * 4, fourth byte 0.
Picture Pixels(const DibSection& dib);

/// Shows a picture in test failures as its size and rows of colour codes.
void PrintTo(const Picture& picture, std::ostream* out);

}  // namespace pixtable::test
