// Capability containers in global memory: built for the application's DAT_CAPABILITY from a
// CapValue, and the container an application sends with MSG_SET read back within the block's real
// size.
#pragma once

#include "sources/common/CapValue.h"
#include "twain/TwainRecords.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace dscommon {

// Each a new block the application then owns; null when memory ran out. Items are given widened to
// 32 bits and stored at the width of their type.
HGLOBAL BuildOneValue(TW_UINT16 itemType, TW_UINT32 item);
HGLOBAL BuildFrameOneValue(const TW_FRAME &frame);
// `current` and `defaultIndex` are indexes into `items`.
HGLOBAL BuildEnumeration(TW_UINT16 itemType, const std::vector<TW_UINT32> &items, TW_UINT32 current,
                         TW_UINT32 defaultIndex);
HGLOBAL BuildRange(TW_UINT16 itemType, TW_UINT32 min, TW_UINT32 max, TW_UINT32 step, TW_UINT32 defaultValue,
                   TW_UINT32 currentValue);
HGLOBAL BuildArray(TW_UINT16 itemType, const std::vector<TW_UINT32> &items);

// The container MSG_GET answers (its type in `conType`), and the one-values of the current and
// default item (an array stays an array: it has no single item).
HGLOBAL BuildContainer(const CapValue &value, TW_UINT16 &conType);
HGLOBAL BuildCurrent(const CapValue &value, TW_UINT16 &conType);
HGLOBAL BuildDefault(const CapValue &value, TW_UINT16 &conType);

// What a container sent with MSG_SET asks for: the item to make current (an enumeration's current
// item, a range's current value), and the list of an enumeration or array.
struct CapRequest {
  TW_UINT16 conType = TWON_ONEVALUE;
  TW_UINT16 itemType = TWTY_UINT16;
  TW_UINT32 value = 0; // signed items keep their sign in 32 bits
  TW_FRAME frame{};    // the item, when itemType is TWTY_FRAME
  std::vector<TW_UINT32> list;
  TW_UINT32 min = 0, max = 0, step = 0; // a range's bounds
};

// The request in a container of `size` bytes at `data` whose shape is `conType`; nothing when the
// block does not hold what its header claims, or the item type has no value.
std::optional<CapRequest> DecodeRequest(TW_UINT16 conType, const void *data, size_t size);

} // namespace dscommon
