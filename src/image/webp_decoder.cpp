// WebP through libwebp. The container is read chunk by chunk only as far as
// the picture goes: the image chunk of a still picture, the first frame of an
// animation (libwebpdemux finds its place on the canvas). The bitstream is
// handed to libwebp's incremental decoder a block at a time, so that a cancel
// is seen between blocks; it writes straight into the pixel memory, bottom
// row first.
#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "image/format_decoders.h"
#include "image/rgba_rows.h"

namespace pixtable {
namespace {

constexpr size_t kRiffHeader = 12;  // "RIFF", the size, "WEBP".
constexpr size_t kChunkHeader = 8;  // The type, the size.
/// The compressed bytes handed to the decoder between two looks at the cancel token.
constexpr size_t kFeedBytes = size_t{64} << 10;

LoadError FromLibwebp(VP8StatusCode status, std::string& detail) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY: return LoadError::kOutOfMemory;
    case VP8_STATUS_NOT_ENOUGH_DATA: return LoadError::kTruncatedPixels;
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      detail = "a WebP variant libwebp does not decode";
      return LoadError::kUnsupportedFormat;
    default: return LoadError::kDamaged;
  }
}

DecodeResult Failure(VP8StatusCode status) {
  std::string detail;
  const LoadError error = FromLibwebp(status, detail);
  return LoadFailure(error, std::move(detail));
}

uint32_t Little32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

/// Appends the next `size` bytes of `file` to `data`; false when the file
/// ends first. A block at a time: a chunk that claims more than a stream
/// brings costs only what came.
bool Append(ByteSource& file, size_t size, std::vector<uint8_t>& data) {
  for (size_t left = size; left > 0;) {
    const size_t n = std::min(left, kFeedBytes), at = data.size();
    data.resize(at + n);
    if (file.Read(data.data() + at, n) != n) return false;
    left -= n;
  }
  return true;
}

/// Reads the container after its header, chunk by chunk, up to and with the
/// first image chunk (VP8 or VP8L) or animation frame (ANMF). `animated` is
/// set when a second frame follows the first.
VP8StatusCode ReadToPicture(ByteSource& file, std::vector<uint8_t>& data, bool& animated) {
  bool frame_seen = false;
  for (;;) {
    if (!Append(file, kChunkHeader, data)) return frame_seen ? VP8_STATUS_OK : VP8_STATUS_NOT_ENOUGH_DATA;
    const uint8_t* header = data.data() + data.size() - kChunkHeader;
    const std::string type(header, header + 4);  // Kept: reading on moves the data.
    if (frame_seen) {
      animated = type == "ANMF";
      data.resize(data.size() - kChunkHeader);
      return VP8_STATUS_OK;
    }
    const uint32_t size = Little32(header + 4);
    // A chunk longer than the file is cut, not damaged; it is never read into memory.
    if (data.size() + size > static_cast<uint64_t>(file.Size())) return VP8_STATUS_NOT_ENOUGH_DATA;
    if (!Append(file, size, data)) return VP8_STATUS_NOT_ENOUGH_DATA;
    if (type == "VP8 " || type == "VP8L") return VP8_STATUS_OK;
    // Chunks are padded to an even length; the last one may lack its padding.
    if (size % 2 != 0 && !Append(file, 1, data)) return type == "ANMF" ? VP8_STATUS_OK : VP8_STATUS_NOT_ENOUGH_DATA;
    frame_seen = type == "ANMF";
  }
}

using IncrementalDecoder = std::unique_ptr<WebPIDecoder, decltype(&WebPIDelete)>;

/// Decodes `bitstream` (a still file or one frame) into `raster` with its top
/// left corner at (`x`, `y`); `width` x `height` is the bitstream's size.
VP8StatusCode DecodeAt(std::span<const uint8_t> bitstream, int32_t x, int32_t y, int32_t width, int32_t height,
                       const CancelToken& cancel, Raster& raster) {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return VP8_STATUS_INVALID_PARAM;
  config.options.flip = 1;  // Bottom row first, as the pixel memory wants.
  config.output.colorspace = MODE_BGRA;
  config.output.is_external_memory = 1;
  // With the rows flipped, the first byte written is the bottom left corner's.
  config.output.u.RGBA.rgba = raster.pixels.get() + raster.OffsetOf(x, y + height - 1);
  config.output.u.RGBA.stride = raster.bytes_per_line;
  config.output.u.RGBA.size =
      static_cast<size_t>(raster.bytes_per_line) * static_cast<size_t>(height - 1) + 4 * static_cast<size_t>(width);
  IncrementalDecoder decoder(WebPIDecode(nullptr, 0, &config), WebPIDelete);
  if (!decoder) return VP8_STATUS_OUT_OF_MEMORY;
  for (size_t fed = 0;;) {
    if (cancel.Cancelled()) return VP8_STATUS_USER_ABORT;
    fed = std::min(bitstream.size(), fed + kFeedBytes);
    const VP8StatusCode status = WebPIUpdate(decoder.get(), bitstream.data(), fed);
    if (status != VP8_STATUS_SUSPENDED) return status;
    if (fed == bitstream.size()) return VP8_STATUS_NOT_ENOUGH_DATA;
  }
}

/// The first frame of an animation on its canvas, transparent where the
/// frame does not reach.
DecodeResult DecodeFirstFrame(std::span<const uint8_t> data, DecodeResult result, const CancelToken& cancel) {
  const WebPData container{data.data(), data.size()};
  WebPDemuxState state;
  std::unique_ptr<WebPDemuxer, decltype(&WebPDemuxDelete)> demux(WebPDemuxPartial(&container, &state),
                                                                WebPDemuxDelete);
  WebPIterator frame;
  if (!demux || !WebPDemuxGetFrame(demux.get(), 1, &frame)) return LoadFailure(LoadError::kDamaged);
  const Raster& canvas = result.raster;
  const bool complete = frame.complete, inside = frame.x_offset >= 0 && frame.y_offset >= 0 &&
                                             frame.x_offset + frame.width <= canvas.width &&
                                             frame.y_offset + frame.height <= canvas.height;
  if (!inside) {
    WebPDemuxReleaseIterator(&frame);
    return LoadFailure(LoadError::kDamaged);
  }
  const VP8StatusCode status = DecodeAt({frame.fragment.bytes, frame.fragment.size}, frame.x_offset, frame.y_offset,
                                        frame.width, frame.height, cancel, result.raster);
  WebPDemuxReleaseIterator(&frame);
  if (!complete) return LoadFailure(LoadError::kTruncatedPixels);
  if (status != VP8_STATUS_OK) return Failure(status);
  result.raster.has_alpha = true;
  return result;
}

}  // namespace

DecodeResult DecodeWebp(ByteSource& file, const DecodeLimits& limits, const CancelToken& cancel) {
  std::vector<uint8_t> data;
  if (!Append(file, kRiffHeader, data)) return LoadFailure(LoadError::kTruncatedPixels);
  DecodeResult result;
  if (const VP8StatusCode status = ReadToPicture(file, data, result.animated); status != VP8_STATUS_OK) {
    return Failure(status);
  }
  WebPBitstreamFeatures features;
  if (const VP8StatusCode status = WebPGetFeatures(data.data(), data.size(), &features); status != VP8_STATUS_OK) {
    return Failure(status);
  }
  // For an animation these are the canvas's width and height.
  if (LoadError error = AdmitPicture(features.width, features.height, limits); error != LoadError::kNone) {
    return LoadFailure(error);
  }
  result.raster = AllocateRaster(features.width, features.height);
  if (!result.raster.Loaded()) return LoadFailure(LoadError::kOutOfMemory);
  if (features.has_animation) return DecodeFirstFrame(data, std::move(result), cancel);

  const VP8StatusCode status = DecodeAt(data, 0, 0, features.width, features.height, cancel, result.raster);
  if (status != VP8_STATUS_OK) return Failure(status);
  result.raster.has_alpha = features.has_alpha;
  if (!result.raster.has_alpha) ClearFourthByte(result.raster);
  return result;
}

}  // namespace pixtable
