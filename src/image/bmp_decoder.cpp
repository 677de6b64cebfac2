#include "image/bmp_decoder.h"

#include "image/bmp_header.h"
#include "image/bmp_pixels.h"
#include "image/bmp_rle.h"

namespace pixtable {
namespace {

bool HasNonZeroAlpha(const DibSection& dib) {
  const uint8_t* px = dib.pBits.get();
  const int64_t pixels = int64_t{dib.Width} * dib.Height;
  for (int64_t i = 0; i < pixels; ++i)
    if (px[4 * i + 3] != 0) return true;
  return false;
}

}  // namespace

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
  // A declared alpha that is 0 everywhere was never written (a fully
  // transparent picture would show nothing): such a picture is opaque.
  if (header.alpha.bits > 0) dib.HasAlpha = HasNonZeroAlpha(dib);
  result.dib = std::move(dib);
  return result;
}

}  // namespace pixtable
