// The owners of global memory that the data sources' capability table uses, over the shim's global
// memory: the fuzz targets build that table natively without the rest of the Windows owners.
#pragma once

#include <windows.h>

namespace win {

class UniqueGlobal {
public:
  explicit UniqueGlobal(HGLOBAL block = nullptr) : block_(block) {}
  ~UniqueGlobal() { reset(); }
  UniqueGlobal(const UniqueGlobal &) = delete;
  UniqueGlobal &operator=(const UniqueGlobal &) = delete;
  HGLOBAL get() const { return block_; }
  HGLOBAL release() {
    HGLOBAL block = block_;
    block_ = nullptr;
    return block;
  }
  void reset(HGLOBAL block = nullptr) {
    if (block_)
      ::GlobalFree(block_);
    block_ = block;
  }
  explicit operator bool() const { return block_ != nullptr; }

private:
  HGLOBAL block_;
};

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
  SIZE_T size() const { return data_ ? ::GlobalSize(block_) : 0; }
  explicit operator bool() const { return data_ != nullptr; }

private:
  HGLOBAL block_;
  void *data_;
};

} // namespace win
