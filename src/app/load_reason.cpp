#include "app/load_reason.h"

#include "app/catalogue.h"

namespace pixtable {
namespace {

const char* Reason(LoadError error) {
  switch (error) {
    case LoadError::kNone: return Tr("no error");
    case LoadError::kCannotRead: return Tr("the file cannot be read");
    case LoadError::kTooShort:
    case LoadError::kTruncatedPixels: return Tr("the file is truncated");
    case LoadError::kBadSignature: return Tr("not a picture pixtable can read");
    case LoadError::kBadHeaderSize:
    case LoadError::kBadPlanes:
    case LoadError::kBadDataOffset: return Tr("the picture's header is damaged");
    case LoadError::kBadDimensions: return Tr("the picture's width or height is invalid");
    case LoadError::kUnsupportedFormat: return Tr("unsupported kind of picture");
    case LoadError::kBadPalette: return Tr("the picture's colour table is damaged");
    case LoadError::kBadMasks: return Tr("the picture's colour masks are damaged");
    case LoadError::kTooLarge: return Tr("too large: more than 134,217,728 pixels or 16,777,216 on a side");
    case LoadError::kOutOfMemory: return Tr("not enough memory for the picture");
    case LoadError::kDamaged: return Tr("the file is damaged");
  }
  return Tr("the file cannot be read");
}

}  // namespace

std::string LoadReason(LoadError error, const std::string& detail) {
  // The decoders' details are names of kinds and variants, in English.
  // TRANSLATORS: a reason ({1}) and the kind of picture or variant it is about ({2}).
  return detail.empty() ? Reason(error) : Fill(Tr("{1}: {2}"), {Reason(error), detail});
}

}  // namespace pixtable
