#include "image/byte_source.h"

#include <algorithm>
#include <cstring>

namespace pixtable {

bool ByteReader::Skip(int64_t size) {
  uint8_t block[4096];
  while (size > 0) {
    const size_t wanted = static_cast<size_t>(std::min<int64_t>(size, sizeof block));
    if (Read(block, wanted) != wanted) return false;
    size -= static_cast<int64_t>(wanted);
  }
  return true;
}

size_t MemorySource::Read(uint8_t* out, size_t size) {
  const size_t n = std::min(size, bytes_.size() - at_);
  if (n > 0) std::memcpy(out, bytes_.data() + at_, n);
  at_ += n;
  return n;
}

bool MemorySource::Skip(int64_t size) {
  if (size < 0 || static_cast<uint64_t>(size) > bytes_.size() - at_) return false;
  at_ += static_cast<size_t>(size);
  return true;
}

size_t ReplaySource::Read(uint8_t* out, size_t size) {
  const size_t from_head = std::min(size, head_.size());
  if (from_head > 0) std::memcpy(out, head_.data(), from_head);
  head_ = head_.subspan(from_head);
  return from_head == size ? size : from_head + rest_.Read(out + from_head, size - from_head);
}

bool ReplaySource::Skip(int64_t size) {
  const size_t from_head = static_cast<size_t>(std::min<int64_t>(size, static_cast<int64_t>(head_.size())));
  head_ = head_.subspan(from_head);
  return rest_.Skip(size - static_cast<int64_t>(from_head));
}

}  // namespace pixtable
