// What the public types hold inside, and the bridges between the public
// values and the core's own.
#pragma once

#include "image/raster.h"
#include "image/load_error.h"
#include "pixtable/pixtable.h"

namespace pixtable {

struct Picture::Data {
  Raster raster;
  bool animated = false;
};

/// A public picture holding `raster`; empty when `raster` is (or memory ran out).
Picture WrapRaster(Raster raster, bool animated = false);

/// The public code of a decoder's refusal.
ErrorCode ToErrorCode(LoadError error);

}  // namespace pixtable
