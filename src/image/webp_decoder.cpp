// WebP through libwebp: a still picture is decoded straight into the pixel
// memory, bottom row first; an animation through libwebpdemux's animation
// decoder, which draws its first frame on the canvas.
#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>

#include "image/format_decoders.h"
#include "image/rgba_rows.h"

namespace pixtable {
namespace {

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

DecodeResult DecodeStill(std::span<const uint8_t> file, const WebPBitstreamFeatures& features) {
  DecodeResult result;
  result.dib = AllocateDib(features.width, features.height);
  DibSection& dib = result.dib;
  if (!dib.Loaded()) return LoadFailure(LoadError::kOutOfMemory);
  dib.HasAlpha = features.has_alpha;

  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return LoadFailure(LoadError::kDamaged);
  config.options.flip = 1;  // Bottom row first, as the pixel memory wants.
  config.output.colorspace = MODE_BGRA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = dib.pBits.get();
  config.output.u.RGBA.stride = dib.BytesPerLine;
  config.output.u.RGBA.size = static_cast<size_t>(dib.BytesPerLine) * static_cast<size_t>(dib.Height);
  const VP8StatusCode status = WebPDecode(file.data(), file.size(), &config);
  WebPFreeDecBuffer(&config.output);
  if (status != VP8_STATUS_OK) {
    std::string detail;
    const LoadError error = FromLibwebp(status, detail);
    return LoadFailure(error, std::move(detail));
  }
  if (!dib.HasAlpha) ClearFourthByte(dib);
  return result;
}

using AnimDecoder = std::unique_ptr<WebPAnimDecoder, decltype(&WebPAnimDecoderDelete)>;

DecodeResult DecodeFirstFrame(std::span<const uint8_t> file) {
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return LoadFailure(LoadError::kDamaged);
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  const WebPData data{file.data(), file.size()};
  AnimDecoder decoder(WebPAnimDecoderNew(&data, &options), WebPAnimDecoderDelete);
  WebPAnimInfo info;
  uint8_t* canvas = nullptr;
  int timestamp = 0;
  if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info) ||
      !WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp)) {
    // The container's size field (after "RIFF") tells a cut file from a damaged one.
    const uint32_t riff_size = file[4] | file[5] << 8 | file[6] << 16 | uint32_t{file[7]} << 24;
    return LoadFailure(uint64_t{riff_size} + 8 > file.size() ? LoadError::kTruncatedPixels : LoadError::kDamaged);
  }
  DecodeResult result;
  result.dib = AllocateDib(static_cast<int32_t>(info.canvas_width), static_cast<int32_t>(info.canvas_height));
  DibSection& dib = result.dib;
  if (!dib.Loaded()) return LoadFailure(LoadError::kOutOfMemory);
  // The canvas is transparent where the first frame does not reach.
  dib.HasAlpha = true;
  std::memcpy(dib.pBits.get(), canvas, static_cast<size_t>(dib.BytesPerLine) * static_cast<size_t>(dib.Height));
  RgbaTopDownToDib(dib);
  result.animated = info.frame_count > 1;
  return result;
}

}  // namespace

DecodeResult DecodeWebp(std::span<const uint8_t> file, int64_t max_pixels) {
  WebPBitstreamFeatures features;
  const VP8StatusCode status = WebPGetFeatures(file.data(), file.size(), &features);
  if (status != VP8_STATUS_OK) {
    std::string detail;
    const LoadError error = FromLibwebp(status, detail);
    return LoadFailure(error, std::move(detail));
  }
  // For an animation these are the canvas's width and height.
  if (LoadError error = CheckPictureSize(features.width, features.height, max_pixels); error != LoadError::kNone) {
    return LoadFailure(error);
  }
  return features.has_animation ? DecodeFirstFrame(file) : DecodeStill(file, features);
}

}  // namespace pixtable
