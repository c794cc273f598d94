// A copy of some bytes placed so that they end exactly where a no-access page begins: a decoder
// that reads even one byte past the block faults instead of passing unnoticed.
#pragma once

#include "win/Owners.h"

#include <cstdint>
#include <cstring>
#include <vector>

class GuardedBlock {
public:
  explicit GuardedBlock(const std::vector<uint8_t> &bytes) {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    const size_t dataPages = (bytes.size() + page - 1) / page + 1;
    pages_.reset(::VirtualAlloc(nullptr, (dataPages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!pages_)
      return;
    auto *base = static_cast<uint8_t *>(pages_.get());
    DWORD old = 0;
    guarded_ = ::VirtualProtect(base + dataPages * page, page, PAGE_NOACCESS, &old);
    data_ = base + dataPages * page - bytes.size();
    if (!bytes.empty())
      std::memcpy(data_, bytes.data(), bytes.size());
    size_ = bytes.size();
  }

  bool guarded() const { return guarded_; }
  const uint8_t *data() const { return data_; }
  size_t size() const { return size_; }

private:
  win::UniqueVirtualMemory pages_;
  bool guarded_ = false;
  uint8_t *data_ = nullptr;
  size_t size_ = 0;
};
