#include "text/load_reason.h"

#include "text/catalogue.h"

namespace pixtable {

std::string LoadReason(ErrorCode error, const std::string& detail) {
  // The words are the public API's; the decoders' details are names of kinds and variants, in English.
  const char* reason = Tr(Describe(error));
  // TRANSLATORS: a reason ({1}) and the kind of picture or variant it is about ({2}).
  return detail.empty() ? reason : Fill(Tr("{1}: {2}"), {reason, detail});
}

}  // namespace pixtable
