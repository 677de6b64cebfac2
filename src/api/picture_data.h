// What the public types hold inside, and the bridges between the public
// values and the core's own.
#pragma once

#include "image/dib.h"
#include "image/load_error.h"
#include "pixtable/pixtable.h"

namespace pixtable {

struct Picture::Data {
  DibSection dib;
  bool animated = false;
};

/// A public picture holding `dib`; empty when `dib` is (or memory ran out).
Picture WrapDib(DibSection dib, bool animated = false);

/// The public code of a decoder's refusal.
ErrorCode ToErrorCode(LoadError error);

}  // namespace pixtable
