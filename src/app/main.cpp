// pixtable: converts a picture into one HTML table.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/batch.h"
#include "app/desktop_loader.h"
#include "app/options.h"
#include "app/run.h"
#include "app/signals.h"
#include "app/terminal_ui.h"

namespace {

/// Opens descriptors 0 to 2 when they are closed, before anything else is
/// opened: otherwise the picture, the table or the X connection would take
/// their place, and a table meant for standard output would go into it. A
/// closed one is opened in the direction that fails, so that writing to
/// standard output still fails with EBADF, as on the closed descriptor.
void OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY) | O_NOCTTY);  // Takes the lowest free number: fd.
  }
}

/// Writes `text` to standard output; exit code 0, or 1 with a message when
/// it could not be written (a full disk, a closed descriptor).
int PrintAndExit(const std::string& text) {
  if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return pixtable::kExitWritten;
  std::fprintf(stderr, "pixtable: cannot write standard output: %s\n", std::strerror(errno));
  return pixtable::kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pixtable;
  OpenStandardDescriptors();
  const ParsedOptions parsed = ParseOptions(argc, argv);
  if (!parsed.error.empty()) {
    std::fputs(UsageErrorText(parsed.error).c_str(), stderr);
    return kExitUsage;
  }
  const Options& options = parsed.options;
  if (options.help) return PrintAndExit(UsageText());
  if (options.version) return PrintAndExit("pixtable " PIXTABLE_VERSION "\n");

  InstallSignalHandlers();
  RunState state;
  const auto run = options.each ? RunBatch : RunConversion;
  if (std::unique_ptr<Ui> desktop = options.terminal ? nullptr : OpenDesktop(state)) {
    return run(options, *desktop, state);
  }
  TerminalUi ui(state, stderr, isatty(STDERR_FILENO) != 0);
  return run(options, ui, state);
}
