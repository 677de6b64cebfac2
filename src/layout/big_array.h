// Large arrays on huge pages where the system offers them.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace pixtable {

/// An allocator for arrays of many megabytes that the layout reads in random
/// order: 2 MiB alignment and a hint for transparent huge pages cut the
/// address-translation misses that dominate such reads.
template <typename T>
struct HugePageAllocator {
  using value_type = T;
  static constexpr size_t kHugePage = size_t{2} << 20;

  HugePageAllocator() = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U>&) {}

  T* allocate(size_t n) {
    const size_t bytes = n * sizeof(T);
    if (bytes < kHugePage) {
      void* p = std::malloc(bytes);
      if (!p) throw std::bad_alloc();
      return static_cast<T*>(p);
    }
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = std::aligned_alloc(kHugePage, rounded);
    if (!p) throw std::bad_alloc();
    madvise(p, rounded, MADV_HUGEPAGE);
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t) { std::free(p); }
  template <typename U>
  bool operator==(const HugePageAllocator<U>&) const { return true; }
};

}  // namespace pixtable
