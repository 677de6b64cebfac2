#include "image/bmp_decoder.h"

#include "image/bmp_header.h"
#include "image/bmp_pixels.h"
#include "image/bmp_rle.h"

namespace pixtable {

const char* LoadErrorMessage(LoadError error) {
  switch (error) {
    case LoadError::kNone: return "no error";
    case LoadError::kCannotRead: return "the file cannot be read";
    case LoadError::kTooShort: return "the file is too short for its headers";
    case LoadError::kBadSignature: return "not a bitmap file";
    case LoadError::kBadHeaderSize: return "unknown bitmap header size";
    case LoadError::kBadDimensions: return "invalid picture dimensions";
    case LoadError::kBadPlanes: return "invalid number of planes";
    case LoadError::kUnsupportedFormat: return "unsupported pixel format or compression";
    case LoadError::kBadPalette: return "invalid colour table";
    case LoadError::kBadMasks: return "invalid colour masks";
    case LoadError::kBadDataOffset: return "pixel data offset outside the file";
    case LoadError::kTruncatedPixels: return "the file does not hold all the pixel data";
    case LoadError::kTooLarge: return "the picture is too large";
    case LoadError::kOutOfMemory: return "not enough memory for the picture";
  }
  return "unknown error";
}

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
