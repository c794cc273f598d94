// The application's buffer of one memory transfer: a pointer, or a global handle locked for the
// transfer whose real size bounds the length the application claims.
#pragma once

#include "twain/TwainRecords.h"
#include "win/Owners.h"

#include <algorithm>
#include <optional>

namespace dscommon {

class TransferBuffer {
public:
  explicit TransferBuffer(const TW_MEMORY &memory) : target_(memory.TheMem), length_(memory.Length) {
    if (memory.Flags & TWMF_HANDLE) {
      lock_.emplace(static_cast<HGLOBAL>(memory.TheMem));
      target_ = lock_->data();
      length_ = static_cast<TW_UINT32>(std::min<SIZE_T>(length_, lock_->size()));
    }
  }
  void *data() const { return target_; }
  TW_UINT32 length() const { return length_; }

private:
  std::optional<win::GlobalLockGuard> lock_;
  void *target_;
  TW_UINT32 length_;
};

} // namespace dscommon
