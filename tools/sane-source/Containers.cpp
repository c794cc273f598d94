#include "tools/sane-source/Containers.h"

namespace sanesrc {

HGLOBAL BuildContainer(const CapValue &value) {
  switch (value.conType) {
  case TWON_ENUMERATION:
    return dscommon::BuildEnumeration(value.itemType, value.items, value.current, value.defaultIndex);
  case TWON_RANGE:
    return dscommon::BuildRange(value.itemType, value.min, value.max, value.step, value.defaultValue,
                                value.currentValue);
  default:
    return BuildOneValue(value.itemType, value.CurrentItem());
  }
}

std::optional<TW_UINT32> ReadOneValue(const void *data, size_t size, TW_UINT16 &itemType) {
  std::optional<TW_UINT32> value = dscommon::DecodeOneValue(data, size, itemType);
  // Signed items keep their sign in 32 bits.
  if (value && itemType == TWTY_INT8)
    value = static_cast<TW_UINT32>(static_cast<int32_t>(static_cast<int8_t>(*value)));
  else if (value && itemType == TWTY_INT16)
    value = static_cast<TW_UINT32>(static_cast<int32_t>(static_cast<int16_t>(*value)));
  return value;
}

} // namespace sanesrc
