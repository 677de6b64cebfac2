#include "image/bmp_decoder.h"

#include <algorithm>
#include <vector>

#include "image/bmp_header.h"
#include "image/bmp_pixels.h"
#include "image/bmp_rle.h"

namespace pixtable {
namespace {

/// Reads the run-length data, up to what any encoding of the picture needs,
/// and decodes it.
LoadError DecodeRleFrom(ByteSource& data, const BmpHeader& header, const Palette& palette, const CancelToken& cancel,
                        DibSection& dib) {
  const int64_t left = std::max<int64_t>(data.Size() - header.data_offset, 0);
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min(left, RleDataLimit(header))));
  bytes.resize(data.Read(bytes.data(), bytes.size()));  // A file that shrank keeps what it drew.
  return DecodeRle(bytes, header, palette, cancel, dib) ? LoadError::kNone : LoadError::kCancelled;
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
  result.dib = AllocateDib(header.width, header.height);
  if (!result.dib.Loaded()) return LoadFailure(LoadError::kOutOfMemory);
  // The pixel data: what the head holds of it, then the rest of the file.
  const auto in_head = static_cast<size_t>(std::min<int64_t>(header.data_offset, static_cast<int64_t>(head.size())));
  ReplaySource data(std::span<const uint8_t>(head).subspan(in_head), file);
  if (!data.Skip(header.data_offset - static_cast<int64_t>(in_head))) return LoadFailure(LoadError::kTruncatedPixels);
  switch (header.encoding) {
    case BmpEncoding::kRle8:
    case BmpEncoding::kRle4:
    case BmpEncoding::kRle24:
      error = DecodeRleFrom(data, header, palette, cancel, result.dib);
      break;
    default:
      error = DecodeUncompressed(data, header, palette, cancel, result.dib);
      break;
  }
  if (error != LoadError::kNone) return LoadFailure(error);
  return result;
}

}  // namespace pixtable
