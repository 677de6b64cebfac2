#include "image/bmp_decoder.h"

#include <algorithm>
#include <vector>

#include "image/bmp_header.h"
#include "image/bmp_pixels.h"
#include "image/bmp_rle.h"

namespace pixtable {
namespace {

bool HasNonZeroAlpha(const Raster& raster) {
  const uint8_t* px = raster.pixels.get();
  const int64_t pixels = int64_t{raster.width} * raster.height;
  for (int64_t i = 0; i < pixels; ++i)
    if (px[4 * i + 3] != 0) return true;
  return false;
}

/// Reads the run-length data, up to what any encoding of the picture needs
/// (a block at a time: a stream may end long before), and decodes it.
LoadError DecodeRleFrom(ByteSource& data, const BmpHeader& header, const Palette& palette, const CancelToken& cancel,
                        Raster& raster) {
  constexpr size_t kBlock = size_t{1} << 20;
  const auto limit = static_cast<size_t>(std::min(std::max<int64_t>(data.Size() - header.data_offset, 0),
                                                  RleDataLimit(header)));
  std::vector<uint8_t> bytes;
  while (bytes.size() < limit) {
    const size_t at = bytes.size(), wanted = std::min(limit - at, kBlock);
    bytes.resize(at + wanted);
    const size_t got = data.Read(bytes.data() + at, wanted);
    bytes.resize(at + got);
    if (got < wanted) break;  // A file that ends early keeps what it drew.
  }
  return DecodeRle(bytes, header, palette, cancel, raster) ? LoadError::kNone : LoadError::kCancelled;
}

}  // namespace

DecodeResult DecodeBmp(ByteSource& file, const DecodeLimits& limits, const CancelToken& cancel) {
  std::vector<uint8_t> head(static_cast<size_t>(std::clamp<int64_t>(file.Size(), 0, kBmpHeadBytes)));
  head.resize(file.Read(head.data(), head.size()));
  BmpHeader header;
  // A head shorter than asked for is the whole file.
  const auto read = static_cast<int64_t>(head.size());
  LoadError error = ParseBmpHeader(head, read < kBmpHeadBytes ? read : file.Size(), limits.max_pixels, header);
  if (error == LoadError::kNone) error = AdmitPicture(header.width, header.height, limits);
  if (error != LoadError::kNone) return LoadFailure(error);
  const Palette palette = ReadPalette(head, header);

  DecodeResult result;
  result.raster = AllocateRaster(header.width, header.height);
  if (!result.raster.Loaded()) return LoadFailure(LoadError::kOutOfMemory);
  // The pixel data: what the head holds of it, then the rest of the file.
  const auto in_head = static_cast<size_t>(std::min<int64_t>(header.data_offset, static_cast<int64_t>(head.size())));
  ReplaySource data(std::span<const uint8_t>(head).subspan(in_head), file);
  if (!data.Skip(header.data_offset - static_cast<int64_t>(in_head))) return LoadFailure(LoadError::kTruncatedPixels);
  switch (header.encoding) {
    case BmpEncoding::kRle8:
    case BmpEncoding::kRle4:
    case BmpEncoding::kRle24:
      error = DecodeRleFrom(data, header, palette, cancel, result.raster);
      break;
    default:
      error = DecodeUncompressed(data, header, palette, cancel, result.raster);
      break;
  }
  if (error != LoadError::kNone) return LoadFailure(error);
  // A declared alpha that is 0 everywhere was never written (a fully
  // transparent picture would show nothing): such a picture is opaque.
  if (header.alpha.bits > 0) result.raster.has_alpha = HasNonZeroAlpha(result.raster);
  return result;
}

}  // namespace pixtable
