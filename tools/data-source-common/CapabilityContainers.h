// Capability containers in global memory: built for the application's DAT_CAPABILITY, and the
// one-value an application sends with MSG_SET read back within the block's real size.
#pragma once

#include "twain/TwainRecords.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace dscommon {

// The operations MSG_QUERYSUPPORT reports (as TWQC_ bits): every capability can be read; setting
// and resetting as the source allows.
TW_UINT32 QuerySupport(bool settable, bool resettable);

// Each a new block the application then owns; null when memory ran out. Items are given widened to
// 32 bits and stored at the width of their type.
HGLOBAL BuildOneValue(TW_UINT16 itemType, TW_UINT32 item);
// `current` and `defaultIndex` are indexes into `items`.
HGLOBAL BuildEnumeration(TW_UINT16 itemType, const std::vector<TW_UINT32> &items, TW_UINT32 current,
                         TW_UINT32 defaultIndex);
HGLOBAL BuildRange(TW_UINT16 itemType, TW_UINT32 min, TW_UINT32 max, TW_UINT32 step, TW_UINT32 defaultValue,
                   TW_UINT32 currentValue);

// The item of a one-value of `size` bytes at `data`, zero-extended to 32 bits, and its type; nothing
// when the block is too small for its item type or the type has no scalar value.
std::optional<TW_UINT32> DecodeOneValue(const void *data, size_t size, TW_UINT16 &itemType);

} // namespace dscommon
