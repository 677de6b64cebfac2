// Large arrays on huge pages where the system offers them.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <type_traits>

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

/// `n` values of a trivial type on huge pages, left uninitialised: the
/// layout writes every pixel's record before it reads one, and clearing
/// hundreds of megabytes first would cost a pass of its own.
template <typename T>
class BigArray {
  static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>);

 public:
  explicit BigArray(size_t n) : data_(HugePageAllocator<T>().allocate(n > 0 ? n : 1)), size_(n) {}
  BigArray(const BigArray&) = delete;
  BigArray& operator=(const BigArray&) = delete;
  ~BigArray() { HugePageAllocator<T>().deallocate(data_, size_); }

  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  T* data_;
  size_t size_;
};

}  // namespace pixtable
