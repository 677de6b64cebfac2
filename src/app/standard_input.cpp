#include "app/standard_input.h"

#include <unistd.h>

#include <span>
#include <string>

#include "app/catalogue.h"
#include "app/load_reason.h"
#include "app/signals.h"

namespace pixtable {
namespace {

constexpr size_t kReadBlock = size_t{1} << 16;

/// Enough of a file's start to tell a picture's kind, and too little for any
/// decoder to go past its header: a stream that starts otherwise is not read on.
constexpr size_t kSignatureBytes = 16;

/// Reads standard input into `bytes` to its end. Returns why not, or "".
std::string ReadAll(std::string& bytes) {
  bool looked = false;
  for (;;) {
    const size_t done = bytes.size();
    bytes.resize(done + kReadBlock);
    const ssize_t n = read(STDIN_FILENO, bytes.data() + done, kReadBlock);
    bytes.resize(done + static_cast<size_t>(n > 0 ? n : 0));
    if (n < 0 && errno == EINTR && CancelRequested()) return "";
    if (n < 0 && errno != EINTR) return SystemReason(errno);
    if (n == 0) return "";
    if (bytes.size() > static_cast<uint64_t>(kMaxFileBytes)) {
      return Tr("the file is larger than 4 GiB, more than any picture pixtable accepts");
    }
    if (!looked && bytes.size() >= kSignatureBytes) {
      looked = true;
      const auto start = std::span(reinterpret_cast<const uint8_t*>(bytes.data()), kSignatureBytes);
      if (DecodePicture(start).error == LoadError::kBadSignature) return LoadReason(LoadError::kBadSignature);
    }
  }
}

}  // namespace

LoadResult LoadStandardInput() {
  LoadResult result;
  std::string bytes;
  result.reason = ReadAll(bytes);
  if (!result.reason.empty() || CancelRequested()) return result;
  if (bytes.empty()) {
    result.reason = Tr("nothing came on standard input");
    return result;
  }
  DecodeResult decoded = DecodePicture(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  result.dib = std::move(decoded.dib);
  result.animated = decoded.animated;
  if (!result.dib.Loaded()) result.reason = LoadReason(decoded.error, decoded.detail);
  return result;
}

}  // namespace pixtable
