// A picture piped into pixtable ("-" as PATTERN).
#pragma once

#include "app/file_io.h"

namespace pixtable {

/// PATTERN "-" names standard input.
inline constexpr const char kStandardInput[] = "-";

/// Reads the picture on standard input to its end (any kind pixtable reads)
/// and decodes it. Stops early when its first bytes are no picture, and at
/// 4 GiB. A cancel signal ends a read that waits: the result is then empty
/// with no reason, and `CancelRequested()` is true.
LoadResult LoadStandardInput();

}  // namespace pixtable
