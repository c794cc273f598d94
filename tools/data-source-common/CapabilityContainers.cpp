#include "tools/data-source-common/CapabilityContainers.h"

#include "win/Owners.h"

#include <cstring>

namespace dscommon {
namespace {

constexpr TW_INT32 TWQC_GET = 0x0001;
constexpr TW_INT32 TWQC_SET = 0x0002;
constexpr TW_INT32 TWQC_GETDEFAULT = 0x0004;
constexpr TW_INT32 TWQC_GETCURRENT = 0x0008;
constexpr TW_INT32 TWQC_RESET = 0x0010;

void PutItem(TW_UINT8 *at, TW_UINT16 type, TW_UINT32 value) {
  std::memcpy(at, &value, TwainScalarItemSize(type)); // little-endian: the low bytes are the item
}

// A zeroed block of `size` bytes, filled by `fill` while locked.
template <class Fill> HGLOBAL Build(size_t size, Fill fill) {
  win::UniqueGlobal block(::GlobalAlloc(GHND, size));
  win::GlobalLockGuard lock(block.get());
  if (!lock)
    return nullptr;
  fill(static_cast<TW_UINT8 *>(lock.data()));
  return block.release();
}

} // namespace

TW_UINT32 QuerySupport(bool settable, bool resettable) {
  return static_cast<TW_UINT32>(TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT | (settable ? TWQC_SET : 0) |
                                (resettable ? TWQC_RESET : 0));
}

HGLOBAL BuildOneValue(TW_UINT16 itemType, TW_UINT32 item) {
  return Build(sizeof(TW_ONEVALUE), [&](TW_UINT8 *p) {
    std::memcpy(p, &itemType, 2);
    PutItem(p + TW_ONEVALUE_ITEM_OFFSET, itemType, item);
  });
}

HGLOBAL BuildEnumeration(TW_UINT16 itemType, const std::vector<TW_UINT32> &items, TW_UINT32 current,
                         TW_UINT32 defaultIndex) {
  const size_t itemSize = TwainScalarItemSize(itemType);
  return Build(TW_ENUMERATION_HEADER_SIZE + itemSize * items.size(), [&](TW_UINT8 *p) {
    const TW_UINT32 count = static_cast<TW_UINT32>(items.size());
    std::memcpy(p, &itemType, 2);
    std::memcpy(p + 2, &count, 4);
    std::memcpy(p + 6, &current, 4);
    std::memcpy(p + 10, &defaultIndex, 4);
    for (size_t i = 0; i < items.size(); ++i)
      PutItem(p + TW_ENUMERATION_HEADER_SIZE + i * itemSize, itemType, items[i]);
  });
}

HGLOBAL BuildRange(TW_UINT16 itemType, TW_UINT32 min, TW_UINT32 max, TW_UINT32 step, TW_UINT32 defaultValue,
                   TW_UINT32 currentValue) {
  return Build(sizeof(TW_RANGE), [&](TW_UINT8 *p) {
    std::memcpy(p, &itemType, 2);
    const TW_UINT32 fields[] = {min, max, step, defaultValue, currentValue};
    std::memcpy(p + 2, fields, sizeof fields);
  });
}

std::optional<TW_UINT32> DecodeOneValue(const void *data, size_t size, TW_UINT16 &itemType) {
  if (!data || size < TW_ONEVALUE_ITEM_OFFSET)
    return std::nullopt;
  const auto *p = static_cast<const TW_UINT8 *>(data);
  std::memcpy(&itemType, p, 2);
  const size_t n = TwainScalarItemSize(itemType);
  if (n == 0 || size < TW_ONEVALUE_ITEM_OFFSET + n)
    return std::nullopt;
  TW_UINT32 value = 0;
  std::memcpy(&value, p + TW_ONEVALUE_ITEM_OFFSET, n);
  return value;
}

} // namespace dscommon
