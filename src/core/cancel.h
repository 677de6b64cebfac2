// How long work learns that it should stop.
#pragma once

#include <atomic>

namespace pixtable {

/// Asked by long work (reading, decoding, layout, writing) whether to stop.
/// `Cancelled` must be cheap and safe to call from any thread; once it has
/// returned true it keeps returning true.
class CancelToken {
 public:
  virtual ~CancelToken() = default;
  virtual bool Cancelled() const = 0;
};

/// A token that a caller sets by hand (a cancel button, a test).
class CancelFlagToken : public CancelToken {
 public:
  bool Cancelled() const override { return flag_.load(std::memory_order_relaxed); }
  void Cancel() { flag_.store(true, std::memory_order_relaxed); }

 private:
  std::atomic<bool> flag_{false};
};

/// A token that never cancels.
inline const CancelToken& NeverCancelled() {
  static const struct : CancelToken {
    bool Cancelled() const override { return false; }
  } never;
  return never;
}

}  // namespace pixtable
