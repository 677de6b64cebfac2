// pixtable: converts a picture into one HTML table.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "run/batch.h"
#include "text/catalogue.h"
#include "cli/desktop_loader.h"
#include "run/options.h"
#include "run/run.h"
#include "os/signals.h"
#include "run/standard_input.h"
#include "cli/terminal_ui.h"

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
  using namespace pixtable;
  if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return kExitWritten;
  const char* reason = std::strerror(errno);
  std::fprintf(stderr, "%s\n", Fill(Tr("pixtable: cannot write {1}: {2}"), {Tr("standard output"), reason}).c_str());
  return kExitFailed;
}

/// True when standard error is a terminal and the table does not go to that
/// terminal too: a progress line there would be drawn among the table's lines.
bool ShowsProgress(const pixtable::Options& options) {
  using pixtable::kStandardInput;
  struct stat err, out;
  if (!isatty(STDERR_FILENO) || fstat(STDERR_FILENO, &err) != 0) return false;
  const bool to_standard_output = options.output ? *options.output == "-" : options.pattern == kStandardInput;
  return !to_standard_output || fstat(STDOUT_FILENO, &out) != 0 || !S_ISCHR(out.st_mode) || out.st_rdev != err.st_rdev;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pixtable;
  OpenStandardDescriptors();
  UseLocaleLanguage();
  const ParsedOptions parsed = ParseOptions(argc, argv);
  if (!parsed.error.empty()) {
    std::fputs(UsageErrorText(parsed.error).c_str(), stderr);
    return kExitUsage;
  }
  const Options& options = parsed.options;
  if (options.help) return PrintAndExit(UsageText());
  if (options.version) return PrintAndExit("pixtable " PIXTABLE_VERSION "\n");

  InstallSignalHandlers();
  const auto run = options.each ? RunBatch : RunConversion;
  if (std::unique_ptr<Ui> desktop = options.terminal ? nullptr : OpenDesktop()) return run(options, *desktop);
  TerminalUi ui(stderr, ShowsProgress(options));
  return run(options, ui);
}
