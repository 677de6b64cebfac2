// Why a picture could not be loaded, in words for the user.
#pragma once

#include <string>

#include "pixtable/pixtable.h"

namespace pixtable {

/// The reason in plain words in the language of the locale, with the
/// decoder's detail after a colon: "the file is truncated", "unsupported
/// kind of picture: TIFF".
std::string LoadReason(ErrorCode error, const std::string& detail = {});

}  // namespace pixtable
