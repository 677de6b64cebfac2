// JPEG through libjpeg-turbo. libjpeg reports errors by calling error_exit,
// which must not return: ours jumps back to `RunLibjpeg`, the one function
// that calls into the library, and which holds nothing that needs
// destroying. Warnings are not printed; the one that means a cut file ends
// the decoding the same way.
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "image/format_decoders.h"
#include "image/orientation.h"
#include "image/rgba_rows.h"

namespace pixtable {
namespace {

/// A progressive file may hold any number of scans, each a pass over the
/// whole picture; real encoders write about ten. Past this many the file is
/// taken as hostile rather than decoded for minutes.
constexpr int kMaxScans = 500;
constexpr int kApp1 = JPEG_APP0 + 1;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1); }

/// Warnings about damaged data are passed over, as viewers do; running out
/// of data is not: the rest of the picture would be made up.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) ErrorExit(cinfo);
}

void OutputMessage(j_common_ptr) {}

void LimitScans(j_common_ptr cinfo) {
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    cinfo->err->msg_code = JERR_NOT_COMPILED;  // Any code that maps to "damaged".
    ErrorExit(cinfo);
  }
}

LoadError FromLibjpeg(int code, std::string& detail) {
  switch (code) {
    case JWRN_JPEG_EOF:
    case JERR_INPUT_EOF:
    case JERR_INPUT_EMPTY: return LoadError::kTruncatedPixels;
    case JERR_NO_SOI: return LoadError::kBadSignature;
    case JERR_OUT_OF_MEMORY: return LoadError::kOutOfMemory;
    case JERR_BAD_PRECISION:
      detail = "JPEG of more than 8 bits a channel";
      return LoadError::kUnsupportedFormat;
    case JERR_CONVERSION_NOTIMPL:
      detail = "JPEG in an unknown colour space";
      return LoadError::kUnsupportedFormat;
    default: return LoadError::kDamaged;
  }
}

/// Everything that outlives a jump back from the library.
struct JpegJob {
  jpeg_decompress_struct cinfo{};
  ErrorManager err{};
  jpeg_progress_mgr progress{};
  int64_t max_pixels = 0;
  LoadError size_error = LoadError::kNone;
  int orientation = 1;
  DecodeResult result;
  std::vector<JSAMPLE> cmyk_row;
};

/// Converts one row of CMYK (ink amounts inverted when an Adobe marker says
/// so, as Adobe's encoders store them) into blue, green, red.
void CmykRowToDib(const JSAMPLE* cmyk, int32_t width, bool inverted, uint8_t* out) {
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
/// `err.pub.msg_code`) or the header's size is refused (`size_error`).
bool RunLibjpeg(JpegJob& job, std::span<const uint8_t> file) {
  jpeg_decompress_struct& cinfo = job.cinfo;
  if (setjmp(job.err.jump)) return false;
  jpeg_create_decompress(&cinfo);
  cinfo.progress = &job.progress;
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_save_markers(&cinfo, kApp1, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  job.size_error = CheckPictureSize(cinfo.image_width, cinfo.image_height, job.max_pixels);
  if (job.size_error != LoadError::kNone) return false;
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
    if (m->marker == kApp1 && job.orientation == 1) job.orientation = ExifOrientation({m->data, m->data_length});
  }
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
  jpeg_start_decompress(&cinfo);

  DibSection& dib = job.result.dib;
  dib = AllocateDib(static_cast<int32_t>(cinfo.output_width), static_cast<int32_t>(cinfo.output_height));
  if (!dib.Loaded()) ERREXIT1(&cinfo, JERR_OUT_OF_MEMORY, 0);
  if (cmyk) job.cmyk_row.resize(static_cast<size_t>(dib.BytesPerLine));
  while (cinfo.output_scanline < cinfo.output_height) {
    uint8_t* row = dib.pBits.get() + dib.OffsetOf(0, static_cast<int32_t>(cinfo.output_scanline));
    JSAMPROW target = cmyk ? job.cmyk_row.data() : row;
    if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) ERREXIT(&cinfo, JERR_INPUT_EOF);
    if (cmyk) CmykRowToDib(target, dib.Width, cinfo.saw_Adobe_marker, row);
  }
  // jpeg_finish_decompress is left out: it would only look for the end
  // marker, which some cameras leave off a complete picture.
  return true;
}

}  // namespace

DecodeResult DecodeJpeg(std::span<const uint8_t> file, int64_t max_pixels) {
  auto job = std::make_unique<JpegJob>();
  job->max_pixels = max_pixels;
  job->cinfo.err = jpeg_std_error(&job->err.pub);
  job->err.pub.error_exit = ErrorExit;
  job->err.pub.emit_message = EmitMessage;
  job->err.pub.output_message = OutputMessage;
  job->progress.progress_monitor = LimitScans;
  const bool ok = RunLibjpeg(*job, file);
  const int code = job->err.pub.msg_code;
  jpeg_destroy_decompress(&job->cinfo);
  if (!ok) {
    std::string detail;
    const LoadError error = job->size_error != LoadError::kNone ? job->size_error : FromLibjpeg(code, detail);
    return LoadFailure(error, std::move(detail));
  }
  DecodeResult& result = job->result;
  if (job->cinfo.out_color_space != JCS_CMYK) ClearFourthByte(result.dib);
  if (job->orientation != 1) {
    result.dib = Orient(std::move(result.dib), job->orientation);
    if (!result.dib.Loaded()) return LoadFailure(LoadError::kOutOfMemory);
  }
  return std::move(result);
}

}  // namespace pixtable
