// Writes pictures as 24-bit BMP files, for tests and the example pictures.
#pragma once

#include <string>

#include "support/test_picture.h"

namespace pixtable::test {

/// The picture as the bytes of a bottom-up 24-bit BMP file with a 40-byte header.
std::string EncodeBmp(const Picture& picture);

}  // namespace pixtable::test
