// Many pictures in one run (--each), several at once.
#pragma once

#include "run/options.h"
#include "run/run.h"

namespace pixtable {

/// Converts every picture that the words of `options` name, each to its own
/// table, `options.jobs` at once (0: one a core this process may use). `ui`
/// is used from the calling thread only: it shows the count done, the
/// failures and the latest picture started, every message of the pictures,
/// and its cancel (or a cancel signal) stops the batch: no picture is
/// started after it, and those running end without a table. The start-up
/// keys' magnification and background hold for every picture. Returns 0
/// when every table was written, 3 after a cancel, 2 when no word matched
/// any file, else 1.
int RunBatch(const Options& options, Ui& ui);

/// The number of cores this process may run on (at least 1, at most kMaxJobs).
int32_t CoresAvailable();

}  // namespace pixtable
