// JPEG through libjpeg-turbo. libjpeg reports errors by calling error_exit,
// which must not return: ours jumps back to `RunLibjpeg`, the one function
// that calls into the library, and which holds nothing that needs
// destroying. Warnings are not printed. The file comes through a source of
// our own, a block at a time; its progress hook sees every row of every scan
// go by, which is where a cancel and the limit on work are checked.
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "image/format_decoders.h"
#include "image/orientation.h"
#include "image/rgba_rows.h"

namespace pixtable {
namespace {

/// A progressive file may hold any number of scans, each a pass over the
/// whole picture (or one of its colours). Real encoders write about 10
/// (libjpeg's script for colour; 6 for grey). The work of decoding grows with
/// scans x pixels, which is limited to this many scans of a picture at the
/// cap: a few seconds of work at most (one scan of a picture at the cap takes
/// about 60 ms), where a file of 118 KB with 500 scans took 40 s. A smaller
/// picture may have more scans, up to `kMaxScans`, whatever its size.
constexpr int64_t kScansAtTheCap = 40;
constexpr int kMaxScans = 500;
constexpr int kApp1 = JPEG_APP0 + 1;
/// How much of the file is read at a time.
constexpr size_t kReadBlock = size_t{64} << 10;

/// Everything that outlives a jump back from the library; `cinfo.client_data` points here.
struct JpegJob {
  JpegJob(ByteSource& file, const DecodeLimits& limits, const CancelToken& cancel)
      : file(file), limits(limits), cancel(cancel), buffer(kReadBlock) {}
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  jpeg_progress_mgr progress{};
  jpeg_source_mgr source{};
  std::jmp_buf jump;
  ByteSource& file;
  const DecodeLimits& limits;
  const CancelToken& cancel;
  std::vector<JOCTET> buffer;
  bool file_ended = false;
  /// Why we stopped the library ourselves, when we did.
  LoadError stop = LoadError::kNone;
  const char* detail = "";
  int orientation = 1;
  DecodeResult result;
  std::vector<JSAMPLE> cmyk_row;
};

JpegJob& JobOf(j_common_ptr cinfo) { return *static_cast<JpegJob*>(cinfo->client_data); }
JpegJob& JobOf(j_decompress_ptr cinfo) { return *static_cast<JpegJob*>(cinfo->client_data); }

[[noreturn]] void ErrorExit(j_common_ptr cinfo) { std::longjmp(JobOf(cinfo).jump, 1); }

/// Jumps back with our own reason; nothing on the way needs destroying.
[[noreturn]] void Stop(j_common_ptr cinfo, LoadError why, const char* detail = "") {
  JobOf(cinfo).stop = why;
  JobOf(cinfo).detail = detail;
  ErrorExit(cinfo);
}

/// Warnings about damaged data are passed over, as viewers do. Reading past
/// the end of the file is not yet a fault: a complete picture without its
/// end marker does it too. Needing data that is not there is: the rest of
/// the picture would be made up. (Arithmetic coding tells no such need, so
/// there the end of the file itself counts.)
void EmitMessage(j_common_ptr common, int level) {
  if (level >= 0) return;
  JpegJob& job = JobOf(common);
  const int code = common->err->msg_code;
  job.file_ended |= code == JWRN_JPEG_EOF;
  if (job.file_ended && (code == JWRN_HIT_MARKER || job.cinfo.arith_code)) Stop(common, LoadError::kTruncatedPixels);
}

void OutputMessage(j_common_ptr) {}

/// Called for every row of every scan read and every row written out.
void Monitor(j_common_ptr common) {
  JpegJob& job = JobOf(common);
  if (job.cancel.Cancelled()) Stop(common, LoadError::kCancelled);
  const jpeg_decompress_struct& cinfo = job.cinfo;
  const int64_t work = int64_t{cinfo.input_scan_number} * cinfo.image_width * cinfo.image_height;
  if (cinfo.input_scan_number > kMaxScans || work > kScansAtTheCap * job.limits.max_pixels) {
    Stop(common, LoadError::kUnsupportedFormat, "progressive JPEG of more scans than its size allows");
  }
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

/// Reads the next block; at the end of the file gives an end marker after
/// a warning, as libjpeg's own sources do.
boolean FillInput(j_decompress_ptr cinfo) {
  JpegJob& job = JobOf(cinfo);
  size_t n = job.file.Read(job.buffer.data(), job.buffer.size());
  if (n == 0) {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    job.buffer[0] = 0xFF;
    job.buffer[1] = JPEG_EOI;
    n = 2;
  }
  job.source.next_input_byte = job.buffer.data();
  job.source.bytes_in_buffer = n;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  jpeg_source_mgr& source = JobOf(cinfo).source;
  if (count <= 0) return;
  const auto skip = static_cast<size_t>(count);
  if (skip > source.bytes_in_buffer) {
    // A file too short for it shows at the next read.
    JobOf(cinfo).file.Skip(static_cast<int64_t>(skip - source.bytes_in_buffer));
    source.bytes_in_buffer = 0;
    return;
  }
  source.next_input_byte += skip;
  source.bytes_in_buffer -= skip;
}

LoadError FromLibjpeg(const jpeg_error_mgr& err, std::string& detail) {
  switch (err.msg_code) {
    case JERR_INPUT_EOF:
    case JERR_INPUT_EMPTY: return LoadError::kTruncatedPixels;
    case JERR_NO_SOI: return LoadError::kBadSignature;
    case JERR_OUT_OF_MEMORY: return LoadError::kOutOfMemory;
    case JERR_IMAGE_TOO_BIG:
    case JERR_WIDTH_OVERFLOW: return LoadError::kTooLarge;
    case JERR_BAD_PRECISION:
      detail = "JPEG of more than 8 bits a channel";
      return LoadError::kUnsupportedFormat;
    case JERR_CONVERSION_NOTIMPL:
      detail = "JPEG in an unknown colour space";
      return LoadError::kUnsupportedFormat;
    case JERR_SOF_UNSUPPORTED:  // The frame marker tells the process: SOF3, 7, 11 and 15 are lossless.
      detail = (err.msg_parm.i[0] & 3) == 3 ? "lossless JPEG" : "hierarchical JPEG";
      return LoadError::kUnsupportedFormat;
    default: return LoadError::kDamaged;
  }
}

/// True when a progressive file brought every coefficient to its full
/// precision: a file that ends between two scans lacks what the later scans
/// would have added.
bool EveryCoefficientArrived(const jpeg_decompress_struct& cinfo) {
  if (!cinfo.progressive_mode) return true;
  for (int c = 0; c < cinfo.num_components; ++c)
    for (int k = 0; k < DCTSIZE2; ++k)
      if (cinfo.coef_bits[c][k] != 0) return false;
  return true;
}

/// The orientation in the first EXIF block; later ones (a copy left by an
/// editor) do not count.
int FirstExifOrientation(const jpeg_decompress_struct& cinfo) {
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
    if (m->marker == kApp1 && m->data_length >= 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0)
      return ExifOrientation({m->data, m->data_length});
  }
  return 1;
}

/// Converts one row of CMYK (ink amounts inverted when an Adobe marker says
/// so, as Adobe's encoders store them) into blue, green, red.
void CmykRowToRaster(const JSAMPLE* cmyk, int32_t width, bool inverted, uint8_t* out) {
  for (int32_t x = 0; x < width; ++x, cmyk += 4, out += 4) {
    const auto ink = [&](int i) { return inverted ? cmyk[i] : 255 - cmyk[i]; };  // As 255 - ink.
    const int k = ink(3);
    out[0] = static_cast<uint8_t>((ink(2) * k + 127) / 255);
    out[1] = static_cast<uint8_t>((ink(1) * k + 127) / 255);
    out[2] = static_cast<uint8_t>((ink(0) * k + 127) / 255);
    out[3] = 0;
  }
}

/// All calls into libjpeg. False when the library gave up (the reason is in
/// `err.msg_code`) or we stopped it (`stop`).
bool RunLibjpeg(JpegJob& job) {
  jpeg_decompress_struct& cinfo = job.cinfo;
  if (setjmp(job.jump)) return false;
  jpeg_create_decompress(&cinfo);
  cinfo.client_data = &job;
  cinfo.progress = &job.progress;
  cinfo.src = &job.source;
  jpeg_save_markers(&cinfo, kApp1, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  job.stop = AdmitPicture(cinfo.image_width, cinfo.image_height, job.limits);
  if (job.stop != LoadError::kNone) return false;
  job.orientation = FirstExifOrientation(cinfo);
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
  jpeg_start_decompress(&cinfo);

  Raster& raster = job.result.raster;
  raster = AllocateRaster(static_cast<int32_t>(cinfo.output_width), static_cast<int32_t>(cinfo.output_height));
  if (!raster.Loaded()) ERREXIT1(&cinfo, JERR_OUT_OF_MEMORY, 0);
  if (cmyk) job.cmyk_row.resize(static_cast<size_t>(raster.bytes_per_line));
  while (cinfo.output_scanline < cinfo.output_height) {
    uint8_t* row = raster.pixels.get() + raster.OffsetOf(0, static_cast<int32_t>(cinfo.output_scanline));
    JSAMPROW target = cmyk ? job.cmyk_row.data() : row;
    if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) ERREXIT(&cinfo, JERR_INPUT_EOF);
    if (cmyk) CmykRowToRaster(target, raster.width, cinfo.saw_Adobe_marker, row);
  }
  if (job.file_ended && !EveryCoefficientArrived(cinfo)) {
    Stop(reinterpret_cast<j_common_ptr>(&cinfo), LoadError::kTruncatedPixels);
  }
  // jpeg_finish_decompress is left out: it would only look for the end
  // marker, which some cameras leave off a complete picture.
  return true;
}

}  // namespace

DecodeResult DecodeJpeg(ByteSource& file, const DecodeLimits& limits, const CancelToken& cancel) {
  auto job = std::make_unique<JpegJob>(file, limits, cancel);
  job->cinfo.err = jpeg_std_error(&job->err);
  job->err.error_exit = ErrorExit;
  job->err.emit_message = EmitMessage;
  job->err.output_message = OutputMessage;
  job->progress.progress_monitor = Monitor;
  job->source = {nullptr, 0, InitSource, FillInput, SkipInput, jpeg_resync_to_restart, TermSource};
  const bool ok = RunLibjpeg(*job);
  jpeg_destroy_decompress(&job->cinfo);
  if (!ok) {
    std::string detail = job->detail;
    LoadError error = job->stop;
    // Whatever went wrong after the file ended came from its end.
    if (error == LoadError::kNone) {
      error = job->file_ended ? LoadError::kTruncatedPixels : FromLibjpeg(job->err, detail);
    }
    return LoadFailure(error, std::move(detail));
  }
  DecodeResult& result = job->result;
  if (job->cinfo.out_color_space != JCS_CMYK) ClearFourthByte(result.raster);
  if (job->orientation != 1) {
    result.raster = Orient(std::move(result.raster), job->orientation, cancel);
    if (!result.raster.Loaded()) return LoadFailure(LoadError::kOutOfMemory);
  }
  return std::move(result);
}

}  // namespace pixtable
