// What a run asks of the library for one table, and its words for the
// size search's outcome.
#pragma once

#include <cstdint>
#include <string>

#include "core/table_style.h"
#include "pixtable/pixtable.h"
#include "run/options.h"

namespace pixtable {

/// The public options for the table `options` ask for, in `style` (the
/// start-up magnification and background), on up to `threads` threads;
/// `page_title` titles the --page document.
TableOptions TableOptionsFor(const Options& options, const TableStyle& style, int32_t threads,
                             const std::string& page_title);

/// The usage mistake of --width or --height below one pixel of the table at
/// `magnification`, or "".
std::string BoundMistake(const Options& options, int32_t magnification);

/// "100 KB budget: scale 2, 48 colours, 99,812 bytes, PSNR 31.4 dB" for the
/// table the size search chose within `max_size` ("exact" in place of the
/// PSNR when nothing was lost).
std::string ChoiceNote(int64_t max_size, const TableSummary& chosen);

/// "pixtable: no table of NAME fits in SIZE: the smallest has N bytes".
std::string TooSmallMessage(const std::string& picture_name, int64_t max_size, int64_t smallest);

}  // namespace pixtable
