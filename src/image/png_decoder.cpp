// PNG through libspng: a small library, fuzzed upstream, that reports every
// problem as an error code (no longjmp, no printing) and expands every
// colour type, bit depth, palette and tRNS chunk to RGBA. It reads the file
// through a callback and decodes one scanline at a time, so the pixel memory
// fills as the data arrives and a cancel is seen between scanlines.
#include <spng.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "image/format_decoders.h"

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
    case SPNG_IO_EOF:  // The source ended.
    case SPNG_EOF:
    case SPNG_EIDAT_TOO_SHORT: return LoadError::kTruncatedPixels;
    case SPNG_ESIGNATURE: return LoadError::kBadSignature;
    case SPNG_EWIDTH:
    case SPNG_EHEIGHT: return LoadError::kBadDimensions;
    case SPNG_ECHUNK_LIMITS: return LoadError::kTooMuchMetadata;
    default: return LoadError::kDamaged;
  }
}

/// libspng's reader: passes the file on, and on the way notes whether an
/// acTL chunk comes before the first IDAT: an animated PNG, whose default
/// picture (normally its first frame) is what we decode.
class ChunkWatcher {
 public:
  explicit ChunkWatcher(ByteSource& file) : file_(file) {}

  static int Read(spng_ctx*, void* user, void* out, size_t size) {
    auto* self = static_cast<ChunkWatcher*>(user);
    auto* bytes = static_cast<uint8_t*>(out);
    if (self->file_.Read(bytes, size) != size) return SPNG_IO_EOF;
    self->See(bytes, size);
    return 0;
  }

  bool animated() const { return animated_; }

 private:
  /// Follows the chunk headers (length and type) in the bytes read, which
  /// libspng reads in order from the signature on.
  void See(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size && !image_data_;) {
      const uint64_t at = read_ + i;
      if (at < next_chunk_) {
        i += static_cast<size_t>(std::min<uint64_t>(size - i, next_chunk_ - at));
        continue;
      }
      header_[at - next_chunk_] = bytes[i++];
      if (at - next_chunk_ < sizeof header_ - 1) continue;
      const uint32_t length = uint32_t{header_[0]} << 24 | uint32_t{header_[1]} << 16 | header_[2] << 8 | header_[3];
      const std::string_view type(reinterpret_cast<const char*>(header_ + 4), 4);
      animated_ |= type == "acTL";
      image_data_ = type == "IDAT";
      next_chunk_ += uint64_t{12} + length;  // Length, type, data, checksum.
    }
    read_ += size;
  }

  ByteSource& file_;
  uint64_t read_ = 0, next_chunk_ = 8;  // After the signature.
  uint8_t header_[8]{};
  bool animated_ = false, image_data_ = false;
};

uint8_t To8(uint8_t v) { return v; }
/// 16-bit channels to 8, rounded to the nearest: v * 255 / 65535.
uint8_t To8(uint16_t v) { return static_cast<uint8_t>((uint32_t{v} * 255 + 32767) / 65535); }

/// Puts one decoded scanline (red, green, blue, alpha) of Adam7 pass `pass`
/// (6, every pixel, for a picture that is not interlaced) into row `y`:
/// blue, green, red, then alpha or 0.
template <typename Channel>
void PlaceScanline(const Channel* in, int pass, int32_t y, Raster& raster) {
  static constexpr int kStart[] = {0, 4, 0, 2, 0, 1, 0}, kStep[] = {8, 8, 4, 4, 2, 2, 1};
  uint8_t* row = raster.pixels.get() + raster.OffsetOf(0, y);
  for (int64_t x = kStart[pass]; x < raster.width; x += kStep[pass], in += 4) {
    uint8_t* out = row + 4 * x;
    out[0] = To8(in[2]);
    out[1] = To8(in[1]);
    out[2] = To8(in[0]);
    out[3] = raster.has_alpha ? To8(in[3]) : 0;
  }
}

/// Decodes every scanline of every pass into `raster`.
LoadError DecodeScanlines(spng_ctx* ctx, const spng_ihdr& ihdr, const CancelToken& cancel, Raster& raster) {
  const bool wide = ihdr.bit_depth == 16;
  std::vector<uint8_t> scanline(static_cast<size_t>(raster.width) * (wide ? 8 : 4));
  int error = spng_decode_image(ctx, nullptr, 0, wide ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8,
                                SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE);
  while (error == 0) {
    spng_row_info row{};
    if ((error = spng_get_row_info(ctx, &row)) != 0) break;
    if (cancel.Cancelled()) return LoadError::kCancelled;
    error = spng_decode_scanline(ctx, scanline.data(), scanline.size());
    if (error != 0 && error != SPNG_EOI) break;
    const int pass = ihdr.interlace_method ? row.pass : 6;
    const auto y = static_cast<int32_t>(row.row_num);
    if (wide) {
      PlaceScanline(reinterpret_cast<const uint16_t*>(scanline.data()), pass, y, raster);
    } else {
      PlaceScanline(scanline.data(), pass, y, raster);
    }
  }
  return error == SPNG_EOI ? LoadError::kNone : FromSpng(error);
}

}  // namespace

DecodeResult DecodePng(ByteSource& file, const DecodeLimits& limits, const CancelToken& cancel) {
  SpngContext ctx(spng_ctx_new(0), spng_ctx_free);
  if (!ctx) return LoadFailure(LoadError::kOutOfMemory);
  spng_set_chunk_limits(ctx.get(), kChunkSizeLimit, kChunkCacheLimit);
  // A damaged checksum in a chunk we ignore anyway should not cost the picture.
  spng_set_crc_action(ctx.get(), SPNG_CRC_ERROR, SPNG_CRC_DISCARD);
  ChunkWatcher watcher(file);
  spng_set_png_stream(ctx.get(), ChunkWatcher::Read, &watcher);

  spng_ihdr ihdr{};
  if (int error = spng_get_ihdr(ctx.get(), &ihdr)) return LoadFailure(FromSpng(error));
  if (LoadError error = AdmitPicture(ihdr.width, ihdr.height, limits); error != LoadError::kNone) {
    return LoadFailure(error);
  }
  // Asking for tRNS reads every chunk before the image data.
  spng_trns trns{};
  const int trns_error = spng_get_trns(ctx.get(), &trns);
  if (trns_error != 0 && trns_error != SPNG_ECHUNKAVAIL) return LoadFailure(FromSpng(trns_error));

  DecodeResult result;
  result.raster = AllocateRaster(static_cast<int32_t>(ihdr.width), static_cast<int32_t>(ihdr.height));
  Raster& raster = result.raster;
  if (!raster.Loaded()) return LoadFailure(LoadError::kOutOfMemory);
  raster.has_alpha = trns_error == 0 || ihdr.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                 ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
  if (LoadError error = DecodeScanlines(ctx.get(), ihdr, cancel, raster); error != LoadError::kNone) {
    return LoadFailure(error);
  }
  result.animated = watcher.animated();
  return result;
}

}  // namespace pixtable
