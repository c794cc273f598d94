// The generic owner, and the owners of global memory: the one part of the Windows owners that the
// data sources' capability table needs, so that it also builds natively over the fuzz targets' shim.
#pragma once

#include <windows.h>

#include <utility>

namespace win {

// Generic move-only owner of a value with a "none" state and a free function.
template <typename T, T None, typename Free> class Unique {
public:
  Unique() = default;
  explicit Unique(T value) : value_(value) {}
  ~Unique() { reset(); }
  Unique(const Unique &) = delete;
  Unique &operator=(const Unique &) = delete;
  Unique(Unique &&other) noexcept : value_(other.release()) {}
  Unique &operator=(Unique &&other) noexcept {
    if (this != &other)
      reset(other.release());
    return *this;
  }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != None; }
  T release() { return std::exchange(value_, None); }
  void reset(T value = None) {
    T old = std::exchange(value_, value);
    if (old != None)
      Free()(old);
  }

private:
  T value_ = None;
};

struct GlobalFreeFree {
  void operator()(HGLOBAL h) const { ::GlobalFree(h); }
};
using UniqueGlobal = Unique<HGLOBAL, nullptr, GlobalFreeFree>;

// A global memory block locked for the lifetime of the guard.
class GlobalLockGuard {
public:
  explicit GlobalLockGuard(HGLOBAL block) : block_(block), data_(block ? ::GlobalLock(block) : nullptr) {}
  ~GlobalLockGuard() {
    if (data_)
      ::GlobalUnlock(block_);
  }
  GlobalLockGuard(const GlobalLockGuard &) = delete;
  GlobalLockGuard &operator=(const GlobalLockGuard &) = delete;
  void *data() const { return data_; }
  // Bytes the block really holds: the only size a reader of the block may trust.
  SIZE_T size() const { return data_ ? ::GlobalSize(block_) : 0; }
  explicit operator bool() const { return data_ != nullptr; }

private:
  HGLOBAL block_;
  void *data_;
};

} // namespace win
