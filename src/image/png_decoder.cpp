// PNG through libspng: a small library, fuzzed upstream, that reports every
// problem as an error code (no longjmp, no printing) and expands every
// colour type, bit depth, palette and tRNS chunk to RGBA in one call.
#include <spng.h>

#include <memory>
#include <new>
#include <vector>

#include "image/format_decoders.h"
#include "image/rgba_rows.h"

namespace pixtable {
namespace {

/// Text, profiles and other ancillary chunks stay in memory while decoding;
/// no real picture needs more than this, and a hostile file gets no more.
constexpr size_t kChunkSizeLimit = size_t{16} << 20;
constexpr size_t kChunkCacheLimit = size_t{32} << 20;

using SpngContext = std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)>;

LoadError FromSpng(int error) {
  switch (error) {
    case SPNG_EMEM: return LoadError::kOutOfMemory;
    case SPNG_IO_EOF:  // Reading past the end of the buffer.
    case SPNG_EOF:
    case SPNG_EIDAT_TOO_SHORT: return LoadError::kTruncatedPixels;
    case SPNG_ESIGNATURE: return LoadError::kBadSignature;
    case SPNG_EWIDTH:
    case SPNG_EHEIGHT: return LoadError::kBadDimensions;
    default: return LoadError::kDamaged;
  }
}

uint32_t ReadBigEndian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

/// True when an acTL chunk comes before the image data: an animated PNG,
/// whose default picture (normally its first frame) is what we decode.
bool IsAnimated(std::span<const uint8_t> file) {
  constexpr size_t kChunkOverhead = 12;  // Length, type, checksum.
  for (size_t at = 8; at <= file.size() && file.size() - at >= kChunkOverhead;) {
    const std::string_view type(reinterpret_cast<const char*>(&file[at + 4]), 4);
    if (type == "acTL") return true;
    if (type == "IDAT") return false;
    const uint32_t length = ReadBigEndian32(&file[at]);
    if (length > file.size() - at - kChunkOverhead) return false;
    at += kChunkOverhead + length;
  }
  return false;
}

/// 16-bit channels to 8, rounded to the nearest: v * 255 / 65535.
uint8_t RoundTo8(uint16_t v) { return static_cast<uint8_t>((uint32_t{v} * 255 + 32767) / 65535); }

int DecodeSixteenBit(spng_ctx* ctx, DibSection& dib) {
  const size_t pixels = static_cast<size_t>(dib.Width) * static_cast<size_t>(dib.Height);
  std::unique_ptr<uint16_t[]> wide(new (std::nothrow) uint16_t[pixels * 4]);
  if (!wide) return SPNG_EMEM;
  if (int error = spng_decode_image(ctx, wide.get(), pixels * 8, SPNG_FMT_RGBA16, SPNG_DECODE_TRNS)) return error;
  uint8_t* out = dib.pBits.get();
  for (size_t i = 0; i < pixels * 4; ++i) out[i] = RoundTo8(wide[i]);
  return 0;
}

}  // namespace

DecodeResult DecodePng(std::span<const uint8_t> file, int64_t max_pixels) {
  SpngContext ctx(spng_ctx_new(0), spng_ctx_free);
  if (!ctx) return LoadFailure(LoadError::kOutOfMemory);
  spng_set_chunk_limits(ctx.get(), kChunkSizeLimit, kChunkCacheLimit);
  // A damaged checksum in a chunk we ignore anyway should not cost the picture.
  spng_set_crc_action(ctx.get(), SPNG_CRC_ERROR, SPNG_CRC_DISCARD);
  spng_set_png_buffer(ctx.get(), file.data(), file.size());

  spng_ihdr ihdr{};
  if (int error = spng_get_ihdr(ctx.get(), &ihdr)) return LoadFailure(FromSpng(error));
  if (LoadError error = CheckPictureSize(ihdr.width, ihdr.height, max_pixels); error != LoadError::kNone) {
    return LoadFailure(error);
  }
  // Asking for tRNS reads every chunk before the image data.
  spng_trns trns{};
  const int trns_error = spng_get_trns(ctx.get(), &trns);
  if (trns_error != 0 && trns_error != SPNG_ECHUNKAVAIL) return LoadFailure(FromSpng(trns_error));
  const bool has_trns = trns_error == 0;

  DecodeResult result;
  result.dib = AllocateDib(static_cast<int32_t>(ihdr.width), static_cast<int32_t>(ihdr.height));
  DibSection& dib = result.dib;
  if (!dib.Loaded()) return LoadFailure(LoadError::kOutOfMemory);
  dib.HasAlpha = has_trns || ihdr.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                 ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
  const size_t bytes = static_cast<size_t>(dib.BytesPerLine) * static_cast<size_t>(dib.Height);
  const int error = ihdr.bit_depth == 16
                        ? DecodeSixteenBit(ctx.get(), dib)
                        : spng_decode_image(ctx.get(), dib.pBits.get(), bytes, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS);
  if (error) return LoadFailure(FromSpng(error));
  RgbaTopDownToDib(dib);
  result.animated = IsAnimated(file);
  return result;
}

}  // namespace pixtable
