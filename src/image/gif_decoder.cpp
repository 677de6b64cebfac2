// GIF through giflib, read record by record: only the first frame is
// decompressed, however many follow, and no frame is kept in memory beyond
// one row of indexes. The file is read only as far as the first frame and
// the record after it.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "image/format_decoders.h"

namespace pixtable {
namespace {

constexpr uint8_t kTrailer = 0x3B;  // The last byte of a whole GIF.

/// What giflib reads from, and what it saw of the file's end.
struct GifReader {
  ByteSource& file;
  bool ended = false;  ///< A read ran past the end.
  uint8_t last = 0;    ///< The last byte read.
};

/// giflib's input callback: a short count tells giflib that the file ended.
int ReadFromSource(GifFileType* gif, GifByteType* out, int wanted) {
  auto* reader = static_cast<GifReader*>(gif->UserData);
  const size_t size = static_cast<size_t>(std::max(wanted, 0)), n = reader->file.Read(out, size);
  reader->ended |= n < size;
  if (n > 0) reader->last = out[n - 1];
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int ignored = 0;
    DGifCloseFile(gif, &ignored);
  }
};
using GifFile = std::unique_ptr<GifFileType, GifCloser>;

/// giflib tells a cut file only by the read that failed, and names the
/// record it was reading instead. A file that ends in the trailer is whole,
/// though: running past its end means its content misled the reading.
LoadError FromGiflib(int error, const GifReader& reader) {
  switch (error) {
    case D_GIF_ERR_NOT_GIF_FILE: return LoadError::kBadSignature;
    case D_GIF_ERR_NOT_ENOUGH_MEM: return LoadError::kOutOfMemory;
    default: return reader.ended && reader.last != kTrailer ? LoadError::kTruncatedPixels : LoadError::kDamaged;
  }
}

/// Reads records up to the first image descriptor, keeping the transparent
/// index of the graphic control block that precedes it (-1 for none).
/// False at the end of the file or on an error (in `gif->Error`).
bool SkipToImage(GifFileType* gif, int& transparent) {
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
    if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(gif) != GIF_ERROR;
    if (type == TERMINATE_RECORD_TYPE) return false;
    if (type != EXTENSION_RECORD_TYPE) continue;
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    GraphicsControlBlock gcb;
    if (code == GRAPHICS_EXT_FUNC_CODE && block && DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK) {
      transparent = gcb.TransparentColor;
    }
    while (block) {
      if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
    }
  }
}

/// Decompresses the frame row by row (in interlaced order where it is
/// interlaced) and draws each row on the screen, clipped to it.
LoadError DrawFrame(GifFileType* gif, const ColorMapObject& map, int transparent, const CancelToken& cancel,
                    Raster& raster) {
  const GifImageDesc& frame = gif->Image;
  std::vector<GifPixelType> row(static_cast<size_t>(frame.Width));
  static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
  const int passes = frame.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int step = frame.Interlace ? kStep[pass] : 1;
    for (int y = frame.Interlace ? kStart[pass] : 0; y < frame.Height; y += step) {
      if (cancel.Cancelled()) return LoadError::kCancelled;
      if (DGifGetLine(gif, row.data(), frame.Width) == GIF_ERROR) {
        return FromGiflib(gif->Error, *static_cast<const GifReader*>(gif->UserData));
      }
      const int64_t screen_y = int64_t{frame.Top} + y;
      const int64_t visible = std::min<int64_t>(frame.Width, int64_t{raster.width} - frame.Left);
      if (screen_y >= raster.height || visible <= 0) continue;
      uint8_t* out = raster.pixels.get() + raster.OffsetOf(frame.Left, static_cast<int32_t>(screen_y));
      for (int32_t x = 0; x < visible; ++x, out += 4) {
        const int index = row[static_cast<size_t>(x)];
        if (index == transparent) continue;  // Stays 0: transparent.
        // An index past the colour map shows black, as in a bitmap.
        const GifColorType c = index < map.ColorCount ? map.Colors[index] : GifColorType{0, 0, 0};
        out[0] = c.Blue;
        out[1] = c.Green;
        out[2] = c.Red;
        out[3] = raster.has_alpha ? 255 : 0;
      }
    }
  }
  return LoadError::kNone;
}

}  // namespace

DecodeResult DecodeGif(ByteSource& file, const DecodeLimits& limits, const CancelToken& cancel) {
  int error = 0;
  GifReader reader{file};
  GifFile gif(DGifOpen(&reader, ReadFromSource, &error));
  if (!gif) return LoadFailure(FromGiflib(error, reader));
  int transparent = NO_TRANSPARENT_COLOR;
  if (!SkipToImage(gif.get(), transparent)) return LoadFailure(FromGiflib(gif->Error, reader));
  const GifImageDesc& frame = gif->Image;
  // A screen of size 0 is taken to be the first frame's extent, as browsers do.
  const int64_t width = gif->SWidth > 0 ? gif->SWidth : int64_t{frame.Left} + frame.Width;
  const int64_t height = gif->SHeight > 0 ? gif->SHeight : int64_t{frame.Top} + frame.Height;
  // The frame is decompressed whole even where it leaves the screen, so it
  // must fit the cap too.
  if (LoadError e = CheckPictureSize(frame.Width, frame.Height, limits.max_pixels); e != LoadError::kNone) {
    return LoadFailure(e);
  }
  if (LoadError e = AdmitPicture(width, height, limits); e != LoadError::kNone) return LoadFailure(e);
  const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  if (!map) return LoadFailure(LoadError::kBadPalette);

  DecodeResult result;
  result.raster = AllocateRaster(static_cast<int32_t>(width), static_cast<int32_t>(height));
  Raster& raster = result.raster;
  if (!raster.Loaded()) return LoadFailure(LoadError::kOutOfMemory);
  // Outside the first frame the screen is transparent, which is what
  // browsers show there.
  const bool covers = frame.Left == 0 && frame.Top == 0 && frame.Width >= width && frame.Height >= height;
  raster.has_alpha = transparent != NO_TRANSPARENT_COLOR || !covers;
  if (LoadError e = DrawFrame(gif.get(), *map, transparent, cancel, raster); e != LoadError::kNone) {
    return LoadFailure(e);
  }

  // Another image after the first makes an animation. Damage past the first
  // frame does not matter: that frame is complete.
  int ignored = NO_TRANSPARENT_COLOR;
  result.animated = SkipToImage(gif.get(), ignored);
  return result;
}

}  // namespace pixtable
