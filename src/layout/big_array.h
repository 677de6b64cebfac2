// Large arrays on huge pages where the system offers them: the layout reads
// its per-pixel arrays in random order, and huge pages cut the address
// translation misses; fresh pages come zeroed, so nothing is cleared twice.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace pixtable {

#if defined(__SANITIZE_ADDRESS__)
#define PIXTABLE_HEAP_ONLY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PIXTABLE_HEAP_ONLY 1
#endif
#endif

/// An allocator for arrays of many megabytes that the layout reads in random
/// order: 2 MiB alignment and a hint for transparent huge pages cut the
/// address-translation misses that dominate such reads. Its memory comes
/// zero-filled: fresh pages from the system are zero already, so large
/// arrays are not cleared a second time.
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
      void* p = std::calloc(bytes, 1);
      if (!p) throw std::bad_alloc();
      return static_cast<T*>(p);
    }
    const size_t rounded = Rounded(bytes);
#ifdef PIXTABLE_HEAP_ONLY
    // The address sanitizer checks heap blocks only.
    void* p = std::aligned_alloc(kHugePage, rounded);
    if (!p) throw std::bad_alloc();
    std::memset(p, 0, rounded);
#else
    // Map a huge page more than needed and give back the unaligned ends.
    void* raw = mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const uintptr_t begin = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (begin + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
    if (aligned > begin) munmap(raw, aligned - begin);
    if (aligned + rounded < begin + rounded + kHugePage)
      munmap(reinterpret_cast<void*>(aligned + rounded), begin + kHugePage - aligned);
    void* p = reinterpret_cast<void*>(aligned);
#endif
    madvise(p, rounded, MADV_HUGEPAGE);
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) {
#ifndef PIXTABLE_HEAP_ONLY
    if (n * sizeof(T) >= kHugePage) {
      munmap(p, Rounded(n * sizeof(T)));
      return;
    }
#endif
    (void)n;
    std::free(p);
  }
  template <typename U>
  bool operator==(const HugePageAllocator<U>&) const { return true; }

 private:
  static size_t Rounded(size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }
};

/// HugePageAllocator for containers that are only ever grown from empty:
/// value-initialised elements are left as the zero-filled memory has them.
template <typename T>
struct ZeroedPageAllocator : HugePageAllocator<T> {
  using value_type = T;
  template <typename U>
  struct rebind {
    using other = ZeroedPageAllocator<U>;
  };
  ZeroedPageAllocator() = default;
  template <typename U>
  ZeroedPageAllocator(const ZeroedPageAllocator<U>&) {}
  static_assert(std::is_trivial_v<T>);
  template <typename U>
  void construct(U*) {}
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <typename U>
  bool operator==(const ZeroedPageAllocator<U>&) const { return true; }
};

/// `n` values of a plain type on huge pages, not constructed: the layout
/// writes every value before it reads it, and clearing hundreds of megabytes
/// first would cost a pass of its own.
template <typename T>
class BigArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

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
