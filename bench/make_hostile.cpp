// Writes the large and hostile pictures that bench/hostile measures: pictures
// near the pixel cap, files whose header claims more than they hold, and
// JPEGs with hundreds of scans. Every file is made by a library's encoder or
// by hand from the format's rules, never taken from elsewhere.
//   make_hostile png W H bw|rgb|flat OUT   two-colour noise, colour noise or one colour
//   make_hostile png-claims W H OUT        a PNG header of W x H, then the file ends
//   make_hostile png-text BYTES OUT        a 1 x 1 PNG with BYTES of text (chunks of 8 MiB)
//   make_hostile jpeg W H flat|noise SCANS OUT
//                                          SCANS 0 baseline, 1 the usual progressive
//                                          script, more: that many scans (grey)
//   make_hostile jpeg-claims W H OUT       a JPEG header of W x H, the data cut after its first bytes
//   make_hostile gif W H SW SH OUT         a one-colour W x H frame on a SW x SH screen
//   make_hostile gif-claims W H OUT        a GIF header and frame of W x H, then the file ends
//   make_hostile webp W H OUT              a one-colour lossless WebP of a few dozen bytes
//   make_hostile webp-claims W H OUT       a lossless WebP header of W x H, then the file ends
//   make_hostile bmp W H OUT               a 24-bit bitmap whose pixels are a hole (a sparse file)
//   make_hostile bmp-claims W H OUT        an RLE8 bitmap header of W x H, then the file ends
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>

namespace {

using Bytes = std::string;

void Put32(Bytes& out, uint32_t v, bool big = true) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (big ? 24 - 8 * i : 8 * i));
}
void Put16(Bytes& out, uint32_t v) {
  out += static_cast<char>(v);
  out += static_cast<char>(v >> 8);
}

void PngChunk(Bytes& out, const char* type, const Bytes& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  const Bytes typed = type + data;
  out += typed;
  Put32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size())));
}

Bytes PngHeader(uint32_t w, uint32_t h, int bits, int color_type) {
  Bytes out = "\x89PNG\r\n\x1a\n", ihdr;
  Put32(ihdr, w);
  Put32(ihdr, h);
  ihdr += {static_cast<char>(bits), static_cast<char>(color_type), 0, 0, 0};
  PngChunk(out, "IHDR", ihdr);
  return out;
}

/// Rows deflated as they are made, so that a picture at the cap needs no memory of its size.
Bytes Png(uint32_t w, uint32_t h, const std::string& kind) {
  const bool bw = kind == "bw";
  const int bits = bw ? 1 : 8, color_type = kind == "rgb" ? 2 : 0;
  const size_t row_bytes = 1 + (size_t{w} * bits * (color_type == 2 ? 3 : 1) + 7) / 8;
  Bytes out = PngHeader(w, h, bits, color_type), idat, row(row_bytes, 0);
  std::mt19937 rng(1);
  z_stream z{};
  deflateInit(&z, kind == "flat" ? 9 : 1);
  std::vector<unsigned char> buffer(1 << 20);
  for (uint32_t y = 0; y <= h; ++y) {
    if (kind != "flat") {
      for (size_t i = 1; i < row_bytes; ++i) row[i] = static_cast<char>(rng());
    }
    z.next_in = reinterpret_cast<Bytef*>(row.data());
    z.avail_in = y < h ? static_cast<uInt>(row_bytes) : 0;
    do {
      z.next_out = buffer.data();
      z.avail_out = static_cast<uInt>(buffer.size());
      deflate(&z, y < h ? Z_NO_FLUSH : Z_FINISH);
      idat.append(reinterpret_cast<char*>(buffer.data()), buffer.size() - z.avail_out);
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  PngChunk(out, "IDAT", idat);
  PngChunk(out, "IEND", "");
  return out;
}

/// A JPEG of one colour (grey 128, whose coefficients are all 0) or noise.
/// `scans` above 1 gives a grey picture that many scans: the DC scan, then
/// successive approximation of each AC coefficient alone, 8 scans each.
Bytes Jpeg(uint32_t w, uint32_t h, bool noise, int scans) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = w;
  c.image_height = h;
  const bool grey = scans > 1;
  c.input_components = grey ? 1 : 3;
  c.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  std::vector<jpeg_scan_info> script;
  if (scans == 1) jpeg_simple_progression(&c);
  if (grey) {
    script.push_back({1, {0}, 0, 0, 0, 0});
    for (int k = 1; k <= 63 && static_cast<int>(script.size()) < scans; ++k)
      for (int al = 7; al >= 0 && static_cast<int>(script.size()) < scans; --al)
        script.push_back({1, {0}, k, k, al == 7 ? 0 : al + 1, al});
    c.scan_info = script.data();
    c.num_scans = static_cast<int>(script.size());
  }
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row(size_t{w} * c.input_components, 128);
  std::mt19937 rng(1);
  while (c.next_scanline < h) {
    if (noise) {
      for (JSAMPLE& v : row) v = static_cast<JSAMPLE>(rng());
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Bytes out(reinterpret_cast<char*>(mem), size);
  std::free(mem);
  return out;
}

/// A small JPEG whose frame header claims `w` x `h`, cut a few bytes into its data.
Bytes JpegClaims(uint32_t w, uint32_t h) {
  Bytes out = Jpeg(64, 64, true, 0);
  const size_t sof = out.find("\xFF\xC0");
  out[sof + 5] = static_cast<char>(h >> 8), out[sof + 6] = static_cast<char>(h);
  out[sof + 7] = static_cast<char>(w >> 8), out[sof + 8] = static_cast<char>(w);
  const size_t sos = out.find("\xFF\xDA");
  return out.substr(0, sos + 2 + 12 + 16);
}

int WriteToString(GifFileType* gif, const GifByteType* data, int n) {
  static_cast<Bytes*>(gif->UserData)->append(reinterpret_cast<const char*>(data), n);
  return n;
}

/// A frame of colour 0 drawn with giflib; `rows` of it written (all of them when negative).
Bytes Gif(int w, int h, int sw, int sh, int rows = -1) {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToString, &error);
  ColorMapObject* map = GifMakeMapObject(2, nullptr);
  map->Colors[1] = {255, 255, 255};
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, sw, sh, 1, 0, map);
  EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
  std::vector<GifPixelType> row(static_cast<size_t>(w), 0);
  for (int y = 0; y < (rows < 0 ? h : rows); ++y) EGifPutLine(gif, row.data(), w);
  const size_t cut = out.size();
  GifFreeMapObject(map);
  EGifCloseFile(gif, &error);
  return rows < 0 ? out : out.substr(0, cut);
}

/// Bits written least significant first, as VP8L reads them.
struct BitWriter {
  Bytes out;
  int used = 0;
  void Put(uint32_t value, int bits) {
    for (int i = 0; i < bits; ++i, ++used) {
      if (used % 8 == 0) out += '\0';
      out.back() = static_cast<char>(out.back() | ((value >> i & 1) << (used % 8)));
    }
  }
};

/// A lossless WebP of one colour: five prefix codes of one symbol each, so
/// that every pixel takes no bits at all. `whole` false ends after the header.
Bytes Webp(uint32_t w, uint32_t h, bool whole) {
  BitWriter bits;
  bits.Put(0x2F, 8);
  bits.Put(w - 1, 14);
  bits.Put(h - 1, 14);
  bits.Put(0, 1 + 3);  // No alpha, version 0.
  if (whole) {
    bits.Put(0, 3);  // No transform, no colour cache, no meta prefix codes.
    const uint32_t symbols[] = {0x80, 0x40, 0x20, 255, 0};  // Green, red, blue, alpha, distance.
    for (uint32_t s : symbols) {
      bits.Put(1, 1);  // A simple code...
      bits.Put(0, 1);  // ...of one symbol...
      bits.Put(1, 1);  // ...of 8 bits.
      bits.Put(s, 8);
    }
  }
  Bytes chunk = "VP8L";
  Put32(chunk, static_cast<uint32_t>(bits.out.size()), false);
  chunk += bits.out;
  if (chunk.size() % 2) chunk += '\0';
  Bytes out = "RIFF";
  Put32(out, static_cast<uint32_t>(4 + chunk.size()), false);
  return out + "WEBP" + chunk;
}

/// A bitmap header of `w` x `h`: 24-bit (the pixels left to the caller) or RLE8 with one colour.
Bytes BmpHeader(uint32_t w, uint32_t h, bool rle) {
  const uint32_t palette = rle ? 4 : 0, offset = 14 + 40 + palette;
  const uint64_t pixels = rle ? 2 : uint64_t{(w * 3 + 3) / 4 * 4} * h;
  Bytes out = "BM";
  Put32(out, static_cast<uint32_t>(offset + pixels), false);
  Put32(out, 0, false);
  Put32(out, offset, false);
  for (uint32_t v : {40u, w, h}) Put32(out, v, false);
  Put16(out, 1);
  Put16(out, rle ? 8 : 24);
  for (uint32_t v : {rle ? 1u : 0u, 0u, 0u, 0u, rle ? 1u : 0u, 0u}) Put32(out, v, false);
  if (rle) out += Bytes("\x20\x40\x80\x00\x00\x00", 6);  // One colour, then a run of length 0... cut.
  return out;
}

int Usage() {
  std::fputs("usage: make_hostile KIND ARGS... OUT (see the comment at the top)\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string kind = argv[1];
  const char* out = argv[argc - 1];
  auto n = [&](int i) { return static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10)); };
  Bytes bytes;
  if (kind == "png" && argc == 6) {
    bytes = Png(n(2), n(3), argv[4]);
  } else if (kind == "png-claims" && argc == 5) {
    bytes = PngHeader(n(2), n(3), 8, 2);
    PngChunk(bytes, "IDAT", Bytes("\x78\x01", 2));
  } else if (kind == "png-text" && argc == 4) {
    bytes = Png(1, 1, "flat");
    const size_t after_header = 8 + 25;  // Before the image data, where a decoder must read it.
    Bytes text;
    for (uint32_t left = n(2), part; left > 0; left -= part) {  // Chunks of at most 8 MiB.
      part = std::min<uint32_t>(left, 8 << 20);
      PngChunk(text, "tEXt", "Comment" + Bytes(1, '\0') + Bytes(part, 'x'));
    }
    bytes.insert(after_header, text);
  } else if (kind == "jpeg" && argc == 7) {
    bytes = Jpeg(n(2), n(3), std::string(argv[4]) == "noise", std::atoi(argv[5]));
  } else if (kind == "jpeg-claims" && argc == 5) {
    bytes = JpegClaims(n(2), n(3));
  } else if (kind == "gif" && argc == 7) {
    bytes = Gif(static_cast<int>(n(2)), static_cast<int>(n(3)), static_cast<int>(n(4)), static_cast<int>(n(5)));
  } else if (kind == "gif-claims" && argc == 5) {
    bytes = Gif(static_cast<int>(n(2)), static_cast<int>(n(3)), static_cast<int>(n(2)), static_cast<int>(n(3)), 1);
  } else if ((kind == "webp" || kind == "webp-claims") && argc == 5) {
    bytes = Webp(n(2), n(3), kind == "webp");
  } else if ((kind == "bmp" || kind == "bmp-claims") && argc == 5) {
    bytes = BmpHeader(n(2), n(3), kind == "bmp-claims");
  } else {
    return Usage();
  }
  std::ofstream(out, std::ios::binary) << bytes;
  if (kind == "bmp") {
    // The pixels: a hole the size of the rows, read as zeros.
    const uint64_t size = bytes.size() + uint64_t{(n(2) * 3 + 3) / 4 * 4} * n(3);
    if (truncate(out, static_cast<off_t>(size)) != 0) return 1;
  }
  return 0;
}
