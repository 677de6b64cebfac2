// Signals that cancel a run, shared by both front ends.
#pragma once

namespace pixtable {

/// Makes SIGINT and SIGTERM ask the run to cancel. A second signal ends the
/// process at once, after removing a half-written temporary file.
void InstallCancelSignals();

/// True once a cancel signal has arrived.
bool CancelSignalled();

}  // namespace pixtable
