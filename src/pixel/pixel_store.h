// pixel_store.h - the storage behind picture-sized buffers.
//
// A picture of tens of megapixels is touched page by page the first time it is written; with
// 4 KiB pages that is tens of thousands of page faults, a large part of a whole run. Stores of
// 1 MiB and more are therefore mapped from the kernel on 2 MiB boundaries and offered to it
// for transparent huge pages (madvise MADV_HUGEPAGE), which it uses where the system allows
// them; elsewhere they are ordinary pages. Smaller stores come from the heap.
//
// Contract: `size()` elements of T at `data()`, contiguous; a fresh store is zero-filled (a
// new mapping is zero already, so that costs no pass over it). `Resize` keeps the capacity:
// shrinking and growing again within it neither frees nor maps, which lets a batch reuse one
// store for picture after picture. The elements kept by `Resize` keep their values; those it
// adds are zero when it had to allocate, and unspecified otherwise.
//
// Errors: std::bad_alloc when the memory cannot be had.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace holescan {

namespace pixel_store {
// Zero-filled memory of at least `bytes` bytes; `mapped` tells how it must be released.
void* Allocate(std::size_t bytes, bool& mapped);
void Release(void* memory, std::size_t bytes, bool mapped);
}  // namespace pixel_store

template <typename T>
class PixelStore {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  using value_type = T;
  using iterator = T*;
  using const_iterator = const T*;

  PixelStore() = default;
  explicit PixelStore(std::size_t count) {
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    if (count != 0) data_ = static_cast<T*>(pixel_store::Allocate(count * sizeof(T), mapped_));
    size_ = capacity_ = count;
  }
  PixelStore(std::size_t count, T value) { Assign(count, value); }
  PixelStore(const PixelStore& other) : PixelStore() { *this = other; }
  PixelStore(PixelStore&& other) noexcept { Swap(other); }
  PixelStore& operator=(const PixelStore& other) {
    if (this != &other) {
      Resize(other.size_);
      std::copy_n(other.data_, other.size_, data_);
    }
    return *this;
  }
  PixelStore& operator=(PixelStore&& other) noexcept {
    PixelStore(std::move(other)).Swap(*this);
    return *this;
  }
  ~PixelStore() { Free(); }

  // `count` elements; see the contract above for their values.
  void Resize(std::size_t count) {
    if (count > capacity_) {
      if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
      PixelStore grown;
      grown.data_ = static_cast<T*>(pixel_store::Allocate(count * sizeof(T), grown.mapped_));
      grown.capacity_ = count;
      std::copy_n(data_, size_, grown.data_);
      Swap(grown);
    }
    size_ = count;
  }
  // `count` elements of `value`. Zeros in new memory are not written at all.
  void Assign(std::size_t count, T value) {
    if (count > capacity_ && IsZero(value)) {
      PixelStore(count).Swap(*this);
      return;
    }
    Resize(count);
    std::fill_n(data_, size_, value);
  }
  void assign(std::size_t count, T value) { Assign(count, value); }

  T* data() { return data_; }
  const T* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::size_t Capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }

  operator std::vector<T>() const { return std::vector<T>(begin(), end()); }
  friend bool operator==(const PixelStore& a, const PixelStore& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }
  friend bool operator==(const PixelStore& a, const std::vector<T>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

  void Swap(PixelStore& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    std::swap(mapped_, other.mapped_);
  }

 private:
  static bool IsZero(T value) {
    const T zero{};
    return std::equal(reinterpret_cast<const unsigned char*>(&value),
                      reinterpret_cast<const unsigned char*>(&value) + sizeof(T),
                      reinterpret_cast<const unsigned char*>(&zero));
  }
  void Free() {
    if (data_ != nullptr) pixel_store::Release(data_, capacity_ * sizeof(T), mapped_);
    data_ = nullptr;
    size_ = capacity_ = 0;
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  bool mapped_ = false;
};

}  // namespace holescan
