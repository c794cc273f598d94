#include "tools/sane-source/Containers.h"

#include "win/Owners.h"

#include <cstring>

namespace sanesrc {
namespace {

void Put(TW_UINT8 *at, TW_UINT16 type, TW_UINT32 value) {
  std::memcpy(at, &value, TwainScalarItemSize(type)); // little-endian: the low bytes are the item
}

HGLOBAL Build(size_t size, void (*fill)(TW_UINT8 *, const CapValue &), const CapValue &value) {
  win::UniqueGlobal block(::GlobalAlloc(GHND, size));
  win::GlobalLockGuard lock(block.get());
  if (!lock)
    return nullptr;
  fill(static_cast<TW_UINT8 *>(lock.data()), value);
  return block.release();
}

void FillEnumeration(TW_UINT8 *p, const CapValue &v) {
  const TW_UINT32 count = static_cast<TW_UINT32>(v.items.size());
  std::memcpy(p, &v.itemType, 2);
  std::memcpy(p + 2, &count, 4);
  std::memcpy(p + 6, &v.current, 4);
  std::memcpy(p + 10, &v.defaultIndex, 4);
  const size_t n = TwainScalarItemSize(v.itemType);
  for (size_t i = 0; i < v.items.size(); ++i)
    Put(p + TW_ENUMERATION_HEADER_SIZE + i * n, v.itemType, v.items[i]);
}

void FillRange(TW_UINT8 *p, const CapValue &v) {
  std::memcpy(p, &v.itemType, 2);
  const TW_UINT32 fields[] = {v.min, v.max, v.step, v.defaultValue, v.currentValue};
  std::memcpy(p + 2, fields, sizeof fields);
}

} // namespace

HGLOBAL BuildOneValue(TW_UINT16 itemType, TW_UINT32 item) {
  CapValue v;
  v.itemType = itemType;
  v.items = {item};
  return Build(
      sizeof(TW_ONEVALUE),
      [](TW_UINT8 *p, const CapValue &c) {
        std::memcpy(p, &c.itemType, 2);
        Put(p + TW_ONEVALUE_ITEM_OFFSET, c.itemType, c.items[0]);
      },
      v);
}

HGLOBAL BuildContainer(const CapValue &value) {
  switch (value.conType) {
  case TWON_ENUMERATION:
    return Build(TW_ENUMERATION_HEADER_SIZE + TwainScalarItemSize(value.itemType) * value.items.size(),
                 FillEnumeration, value);
  case TWON_RANGE:
    return Build(sizeof(TW_RANGE), FillRange, value);
  default:
    return BuildOneValue(value.itemType, value.CurrentItem());
  }
}

std::optional<TW_UINT32> ReadOneValue(const void *data, size_t size, TW_UINT16 &itemType) {
  if (!data || size < TW_ONEVALUE_ITEM_OFFSET)
    return std::nullopt;
  const auto *p = static_cast<const TW_UINT8 *>(data);
  std::memcpy(&itemType, p, 2);
  const size_t n = TwainScalarItemSize(itemType);
  if (n == 0 || size < TW_ONEVALUE_ITEM_OFFSET + n)
    return std::nullopt;
  TW_UINT32 value = 0;
  std::memcpy(&value, p + TW_ONEVALUE_ITEM_OFFSET, n);
  // Signed items keep their sign in 32 bits.
  if (itemType == TWTY_INT8)
    value = static_cast<TW_UINT32>(static_cast<int32_t>(static_cast<int8_t>(value)));
  else if (itemType == TWTY_INT16)
    value = static_cast<TW_UINT32>(static_cast<int32_t>(static_cast<int16_t>(value)));
  return value;
}

} // namespace sanesrc
