#include "sources/common/CapabilityContainers.h"

#include "win/Owners.h"

#include <cstring>

namespace dscommon {
namespace {

constexpr size_t kFrameSize = sizeof(TW_FRAME);
constexpr size_t kMaxItems = 1u << 16; // more than any capability of ours offers or accepts

size_t ItemSize(TW_UINT16 type) { return type == TWTY_FRAME ? kFrameSize : TwainScalarItemSize(type); }

void PutItem(TW_UINT8 *at, TW_UINT16 type, TW_UINT32 value) {
  std::memcpy(at, &value, TwainScalarItemSize(type)); // little-endian: the low bytes are the item
}

TW_UINT32 GetItem(const TW_UINT8 *at, TW_UINT16 type) {
  TW_UINT32 value = 0;
  std::memcpy(&value, at, TwainScalarItemSize(type));
  if (type == TWTY_INT8)
    value = static_cast<TW_UINT32>(static_cast<int32_t>(static_cast<int8_t>(value)));
  else if (type == TWTY_INT16)
    value = static_cast<TW_UINT32>(static_cast<int32_t>(static_cast<int16_t>(value)));
  return value;
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

HGLOBAL BuildFrameEnumeration(const CapValue &v) {
  return Build(TW_ENUMERATION_HEADER_SIZE + kFrameSize * v.frames.size(), [&](TW_UINT8 *p) {
    const TW_UINT16 type = TWTY_FRAME;
    const TW_UINT32 header[3] = {static_cast<TW_UINT32>(v.frames.size()), v.current, v.defaultIndex};
    std::memcpy(p, &type, 2);
    std::memcpy(p + 2, header, sizeof header);
    if (!v.frames.empty())
      std::memcpy(p + TW_ENUMERATION_HEADER_SIZE, v.frames.data(), kFrameSize * v.frames.size());
  });
}

} // namespace

HGLOBAL BuildOneValue(TW_UINT16 itemType, TW_UINT32 item) {
  return Build(sizeof(TW_ONEVALUE), [&](TW_UINT8 *p) {
    std::memcpy(p, &itemType, 2);
    PutItem(p + TW_ONEVALUE_ITEM_OFFSET, itemType, item);
  });
}

HGLOBAL BuildFrameOneValue(const TW_FRAME &frame) {
  return Build(TW_ONEVALUE_ITEM_OFFSET + kFrameSize, [&](TW_UINT8 *p) {
    const TW_UINT16 type = TWTY_FRAME;
    std::memcpy(p, &type, 2);
    std::memcpy(p + TW_ONEVALUE_ITEM_OFFSET, &frame, kFrameSize);
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

HGLOBAL BuildArray(TW_UINT16 itemType, const std::vector<TW_UINT32> &items) {
  const size_t itemSize = TwainScalarItemSize(itemType);
  return Build(TW_ARRAY_HEADER_SIZE + itemSize * items.size(), [&](TW_UINT8 *p) {
    const TW_UINT32 count = static_cast<TW_UINT32>(items.size());
    std::memcpy(p, &itemType, 2);
    std::memcpy(p + 2, &count, 4);
    for (size_t i = 0; i < items.size(); ++i)
      PutItem(p + TW_ARRAY_HEADER_SIZE + i * itemSize, itemType, items[i]);
  });
}

HGLOBAL BuildContainer(const CapValue &v, TW_UINT16 &conType) {
  if (v.getAsOneValue)
    return BuildCurrent(v, conType);
  conType = v.conType;
  switch (v.conType) {
  case TWON_ENUMERATION:
    if (v.itemType == TWTY_FRAME)
      return BuildFrameEnumeration(v);
    return BuildEnumeration(v.itemType, v.items, v.current, v.defaultIndex);
  case TWON_RANGE:
    return BuildRange(v.itemType, v.min, v.max, v.step, v.defaultValue, v.currentValue);
  case TWON_ARRAY:
    return BuildArray(v.itemType, v.items);
  default:
    return BuildCurrent(v, conType);
  }
}

HGLOBAL BuildCurrent(const CapValue &v, TW_UINT16 &conType) {
  if (v.conType == TWON_ARRAY) {
    conType = TWON_ARRAY;
    return BuildArray(v.itemType, v.items);
  }
  conType = TWON_ONEVALUE;
  if (v.itemType == TWTY_FRAME)
    return BuildFrameOneValue(v.frames.at(v.current));
  return BuildOneValue(v.itemType, v.CurrentItem());
}

HGLOBAL BuildDefault(const CapValue &v, TW_UINT16 &conType) {
  if (v.conType == TWON_ARRAY) {
    conType = TWON_ARRAY;
    return BuildArray(v.itemType, v.items);
  }
  conType = TWON_ONEVALUE;
  if (v.itemType == TWTY_FRAME)
    return BuildFrameOneValue(v.frames.at(v.defaultIndex));
  return BuildOneValue(v.itemType, v.DefaultItem());
}

std::optional<CapRequest> DecodeRequest(TW_UINT16 conType, const void *data, size_t size) {
  if (!data || size < 2)
    return std::nullopt;
  const auto *p = static_cast<const TW_UINT8 *>(data);
  CapRequest r;
  r.conType = conType;
  std::memcpy(&r.itemType, p, 2);
  const size_t n = ItemSize(r.itemType);
  if (n == 0)
    return std::nullopt;
  // The item at `at`, read into the request's value (or frame).
  auto take = [&](const TW_UINT8 *at) {
    if (r.itemType == TWTY_FRAME)
      std::memcpy(&r.frame, at, kFrameSize);
    else
      r.value = GetItem(at, r.itemType);
  };
  switch (conType) {
  case TWON_ONEVALUE:
    if (size < TW_ONEVALUE_ITEM_OFFSET + n)
      return std::nullopt;
    take(p + TW_ONEVALUE_ITEM_OFFSET);
    return r;
  case TWON_ENUMERATION:
  case TWON_ARRAY: {
    const size_t header = conType == TWON_ARRAY ? TW_ARRAY_HEADER_SIZE : TW_ENUMERATION_HEADER_SIZE;
    if (size < header)
      return std::nullopt;
    TW_UINT32 count = 0, current = 0;
    std::memcpy(&count, p + 2, 4);
    if (conType == TWON_ENUMERATION)
      std::memcpy(&current, p + 6, 4);
    if (count == 0 || count > kMaxItems || current >= count || size < header + n * count)
      return std::nullopt;
    if (r.itemType != TWTY_FRAME)
      for (TW_UINT32 i = 0; i < count; ++i)
        r.list.push_back(GetItem(p + header + i * n, r.itemType));
    take(p + header + n * current);
    return r;
  }
  case TWON_RANGE: {
    if (size < sizeof(TW_RANGE) || r.itemType == TWTY_FRAME)
      return std::nullopt;
    TW_UINT32 fields[5] = {};
    std::memcpy(fields, p + 2, sizeof fields);
    r.min = fields[0];
    r.max = fields[1];
    r.step = fields[2];
    r.value = fields[4];
    return r;
  }
  default:
    return std::nullopt;
  }
}

} // namespace dscommon
