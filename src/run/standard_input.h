// A picture piped into pixtable ("-" as PATTERN).
#pragma once

#include "run/file_io.h"

namespace pixtable {

/// PATTERN "-" names standard input.
inline constexpr const char kStandardInput[] = "-";

/// Reads the picture on standard input (any kind pixtable reads) and decodes
/// it within `limits`, reading only as far as the picture goes: a stream
/// that starts as no picture is not read on. A cancel signal ends a read that
/// waits, and `cancel` then ends the load (`cancelled`, no reason).
LoadResult LoadStandardInput(const ReadLimits& limits, const CancelToken& cancel);

}  // namespace pixtable
