#include "image/bmp_decoder.h"

#include "image/bmp_header.h"
#include "image/bmp_pixels.h"
#include "image/bmp_rle.h"

namespace pixtable {

DecodeResult DecodeBmp(std::span<const uint8_t> file, int64_t max_pixels) {
  DecodeResult result;
  BmpHeader header;
  if ((result.error = ParseBmpHeader(file, max_pixels, header)) != LoadError::kNone) return result;
  const Palette palette = ReadPalette(file, header);

  DibSection dib = AllocateDib(header.width, header.height);
  if (!dib.Loaded()) {
    result.error = LoadError::kOutOfMemory;
    return result;
  }
  switch (header.encoding) {
    case BmpEncoding::kRle8:
    case BmpEncoding::kRle4:
    case BmpEncoding::kRle24:
      DecodeRle(file.subspan(static_cast<size_t>(header.data_offset)), header, palette, dib);
      break;
    default:
      DecodeUncompressed(file, header, palette, dib);
      break;
  }
  result.dib = std::move(dib);
  return result;
}

}  // namespace pixtable
