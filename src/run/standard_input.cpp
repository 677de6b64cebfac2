#include "run/standard_input.h"

#include <unistd.h>

#include "text/catalogue.h"

namespace pixtable {

LoadResult LoadStandardInput(const ReadLimits& limits, const CancelToken& cancel) {
  // Read as a stream even when a file is redirected in: its start may not be the file's.
  LoadResult result = LoadFrom(STDIN_FILENO, kUnknownSize, limits, cancel);
  if (result.empty && !result.cancelled) result.reason = Tr("nothing came on standard input");
  return result;
}

}  // namespace pixtable
