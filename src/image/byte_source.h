// Where a decoder reads a picture's bytes from: front to back, only as far
// as the picture goes, so that a large file is never held whole and a reader
// can stop when the run is cancelled.
#pragma once

#include <cstdint>
#include <span>

#include "pixtable/pixtable.h"  // ByteReader

namespace pixtable {

/// The bytes of one picture file, read in order: the public reader itself,
/// so that a caller's reader reaches the decoders as it is.
using ByteSource = ByteReader;

/// A file already in memory (the tests, the fuzzer, a web page's upload).
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t Read(uint8_t* out, size_t size) override;
  int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
  bool Skip(int64_t size) override;

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

/// A source that gives `head` (bytes already read from `rest`) again before
/// the rest of `rest`: how the first bytes are looked at before a decoder starts.
class ReplaySource : public ByteSource {
 public:
  ReplaySource(std::span<const uint8_t> head, ByteSource& rest) : head_(head), rest_(rest) {}
  size_t Read(uint8_t* out, size_t size) override;
  int64_t Size() const override { return rest_.Size(); }
  bool Skip(int64_t size) override;

 private:
  std::span<const uint8_t> head_;
  ByteSource& rest_;
};

}  // namespace pixtable
