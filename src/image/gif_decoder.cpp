// GIF through giflib, read record by record: only the first frame is
// decompressed, however many follow, and no frame is kept in memory beyond
// one row of indexes.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "image/format_decoders.h"

namespace pixtable {
namespace {

struct MemoryReader {
  std::span<const uint8_t> file;
  size_t at = 0;
};

/// giflib's input callback: copies what is left, and a short count tells
/// giflib that the file ended.
int ReadFromMemory(GifFileType* gif, GifByteType* out, int wanted) {
  auto* reader = static_cast<MemoryReader*>(gif->UserData);
  const size_t n = std::min(static_cast<size_t>(std::max(wanted, 0)), reader->file.size() - reader->at);
  if (n > 0) std::memcpy(out, reader->file.data() + reader->at, n);
  reader->at += n;
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int ignored = 0;
    DGifCloseFile(gif, &ignored);
  }
};
using GifFile = std::unique_ptr<GifFileType, GifCloser>;

LoadError FromGiflib(int error) {
  switch (error) {
    case D_GIF_ERR_READ_FAILED: return LoadError::kTruncatedPixels;
    case D_GIF_ERR_NOT_GIF_FILE: return LoadError::kBadSignature;
    case D_GIF_ERR_NOT_ENOUGH_MEM: return LoadError::kOutOfMemory;
    default: return LoadError::kDamaged;
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
bool DrawFrame(GifFileType* gif, const ColorMapObject& map, int transparent, DibSection& dib) {
  const GifImageDesc& frame = gif->Image;
  std::vector<GifPixelType> row(static_cast<size_t>(frame.Width));
  static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
  const int passes = frame.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int step = frame.Interlace ? kStep[pass] : 1;
    for (int y = frame.Interlace ? kStart[pass] : 0; y < frame.Height; y += step) {
      if (DGifGetLine(gif, row.data(), frame.Width) == GIF_ERROR) return false;
      const int64_t screen_y = int64_t{frame.Top} + y;
      const int64_t visible = std::min<int64_t>(frame.Width, int64_t{dib.Width} - frame.Left);
      if (screen_y >= dib.Height || visible <= 0) continue;
      uint8_t* out = dib.pBits.get() + dib.OffsetOf(frame.Left, static_cast<int32_t>(screen_y));
      for (int32_t x = 0; x < visible; ++x, out += 4) {
        const int index = row[static_cast<size_t>(x)];
        if (index == transparent) continue;  // Stays 0: transparent.
        // An index past the colour map shows black, as in a bitmap.
        const GifColorType c = index < map.ColorCount ? map.Colors[index] : GifColorType{0, 0, 0};
        out[0] = c.Blue;
        out[1] = c.Green;
        out[2] = c.Red;
        out[3] = dib.HasAlpha ? 255 : 0;
      }
    }
  }
  return true;
}

}  // namespace

DecodeResult DecodeGif(std::span<const uint8_t> file, int64_t max_pixels) {
  MemoryReader reader{file};
  int error = 0;
  GifFile gif(DGifOpen(&reader, ReadFromMemory, &error));
  if (!gif) return LoadFailure(FromGiflib(error));
  int transparent = NO_TRANSPARENT_COLOR;
  if (!SkipToImage(gif.get(), transparent)) {
    return LoadFailure(gif->Error ? FromGiflib(gif->Error) : LoadError::kDamaged);
  }
  const GifImageDesc& frame = gif->Image;
  // A screen of size 0 is taken to be the first frame's extent, as browsers do.
  const int64_t width = gif->SWidth > 0 ? gif->SWidth : int64_t{frame.Left} + frame.Width;
  const int64_t height = gif->SHeight > 0 ? gif->SHeight : int64_t{frame.Top} + frame.Height;
  // The frame is decompressed whole even where it leaves the screen, so it
  // must fit the cap too.
  for (LoadError e : {CheckPictureSize(width, height, max_pixels), CheckPictureSize(frame.Width, frame.Height, max_pixels)}) {
    if (e != LoadError::kNone) return LoadFailure(e);
  }
  const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  if (!map) return LoadFailure(LoadError::kBadPalette);

  DecodeResult result;
  result.dib = AllocateDib(static_cast<int32_t>(width), static_cast<int32_t>(height));
  DibSection& dib = result.dib;
  if (!dib.Loaded()) return LoadFailure(LoadError::kOutOfMemory);
  // Outside the first frame the screen is transparent, which is what
  // browsers show there.
  const bool covers = frame.Left == 0 && frame.Top == 0 && frame.Width >= width && frame.Height >= height;
  dib.HasAlpha = transparent != NO_TRANSPARENT_COLOR || !covers;
  if (!DrawFrame(gif.get(), *map, transparent, dib)) return LoadFailure(FromGiflib(gif->Error));

  // Another image after the first makes an animation. Damage past the first
  // frame does not matter: that frame is complete.
  int ignored = NO_TRANSPARENT_COLOR;
  result.animated = SkipToImage(gif.get(), ignored);
  return result;
}

}  // namespace pixtable
