#include "twain/CapabilityDecode.h"

#include <charconv>
#include <cstring>

namespace {

// Container fields are not aligned (2-byte packing): copy them out byte-wise.
template <typename T> T ReadAt(const uint8_t *at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

bool IsStringType(TW_UINT16 itemType) { return itemType >= TWTY_STR32 && itemType <= TWTY_STR255; }

// Item types outside the standard's list that some sources use for 32-bit unsigned and 16-bit
// signed values.
constexpr TW_UINT16 kItemTypeUint32Alias = 43;
constexpr TW_UINT16 kItemTypeInt16Alias = 44;

} // namespace

uint32_t TwainItemSize(TW_UINT16 itemType) {
  if (const uint32_t scalar = TwainScalarItemSize(itemType))
    return scalar;
  switch (itemType) {
  case TWTY_FRAME:
    return sizeof(TW_FRAME);
  case TWTY_STR32:
    return sizeof(TW_STR32);
  case TWTY_STR64:
    return sizeof(TW_STR64);
  case TWTY_STR128:
    return sizeof(TW_STR128);
  case TWTY_STR255:
    return sizeof(TW_STR255);
  case TWTY_STR1024:
    return sizeof(TW_STR1024);
  case TWTY_UNI512:
    return 1024;
  default:
    return 0;
  }
}

size_t CapItemTextWidth(TW_UINT16 itemType) {
  // Two codes outside the standard's list are read as INT16 and UINT32.
  if (itemType == kItemTypeInt16Alias)
    return TwainScalarItemSize(TWTY_INT16);
  if (itemType == kItemTypeUint32Alias)
    return TwainScalarItemSize(TWTY_UINT32);
  if (const uint32_t scalar = TwainScalarItemSize(itemType))
    return scalar;
  return IsStringType(itemType) ? TwainItemSize(itemType) : 0;
}

bool CapItemText(std::string &text, TW_UINT16 itemType, const void *item, size_t available,
                 char decimalSeparator) {
  const size_t width = CapItemTextWidth(itemType);
  if (width == 0)
    return true;
  const auto *at = static_cast<const uint8_t *>(item);
  if (IsStringType(itemType)) {
    const size_t limit = available < width ? available : width;
    const void *zero = std::memchr(at, 0, limit);
    const size_t length = zero ? static_cast<size_t>(static_cast<const uint8_t *>(zero) - at) : limit;
    text.assign(reinterpret_cast<const char *>(at), length);
    return true;
  }
  if (available < width)
    return false;
  switch (itemType) {
  case TWTY_INT8:
    text = std::to_string(ReadAt<int8_t>(at));
    break;
  case TWTY_UINT8:
    text = std::to_string(ReadAt<uint8_t>(at));
    break;
  case TWTY_INT16:
  case kItemTypeInt16Alias:
    text = std::to_string(ReadAt<int16_t>(at));
    break;
  case TWTY_UINT16:
  case TWTY_BOOL:
    text = std::to_string(ReadAt<uint16_t>(at));
    break;
  case TWTY_INT32:
    text = std::to_string(ReadAt<int32_t>(at));
    break;
  case TWTY_UINT32:
  case kItemTypeUint32Alias:
    text = std::to_string(ReadAt<uint32_t>(at));
    break;
  case TWTY_FIX32:
    // Frac is written as its raw count of 1/65536 units, as the station has always shown it.
    text = std::to_string(ReadAt<int16_t>(at)) + decimalSeparator + std::to_string(ReadAt<uint16_t>(at + 2));
    break;
  }
  return true;
}

bool DecodeOneValue(const void *block, size_t size, char decimalSeparator, TW_UINT16 &itemType,
                    std::string &value) {
  if (!block || size < TW_ONEVALUE_ITEM_OFFSET)
    return false;
  const auto *bytes = static_cast<const uint8_t *>(block);
  const TW_UINT16 type = ReadAt<TW_UINT16>(bytes + offsetof(TW_ONEVALUE, ItemType));
  std::string text = value;
  if (!CapItemText(text, type, bytes + TW_ONEVALUE_ITEM_OFFSET, size - TW_ONEVALUE_ITEM_OFFSET,
                   decimalSeparator))
    return false;
  itemType = type;
  value = std::move(text);
  return true;
}

bool DecodeEnumeration(const void *block, size_t size, char decimalSeparator, TCapEnumeration &result) {
  if (!block || size < TW_ENUMERATION_HEADER_SIZE)
    return false;
  const auto *bytes = static_cast<const uint8_t *>(block);
  const TW_UINT16 type = ReadAt<TW_UINT16>(bytes + offsetof(TW_ENUMERATION, ItemType));
  const uint32_t count = ReadAt<TW_UINT32>(bytes + offsetof(TW_ENUMERATION, NumItems));
  const size_t itemBytes = size - TW_ENUMERATION_HEADER_SIZE;
  const uint32_t step = TwainItemSize(type);
  const size_t fitting = step ? itemBytes / step : itemBytes;
  if (count > fitting)
    return false;

  TCapEnumeration decoded;
  decoded.ItemType = type;
  decoded.CurrentIndex = ReadAt<int32_t>(bytes + offsetof(TW_ENUMERATION, CurrentIndex));
  decoded.DefaultIndex = ReadAt<int32_t>(bytes + offsetof(TW_ENUMERATION, DefaultIndex));
  decoded.Texts.reserve(count);
  std::string working;
  size_t offset = TW_ENUMERATION_HEADER_SIZE;
  for (uint32_t i = 0; i < count; ++i, offset += step) {
    if (!CapItemText(working, type, bytes + offset, size - offset, decimalSeparator))
      return false;
    decoded.Texts.push_back(working);
  }
  result = std::move(decoded);
  return true;
}

TTwainCapResult CapResultFromConditionCode(TW_UINT16 conditionCode) {
  switch (conditionCode) {
  case TWCC_CAPUNSUPPORTED:
    return tcrCapUnsupported;
  case TWCC_CAPSEQERROR:
    return tcrCapSeqError;
  case TWCC_LOWMEMORY:
    return tcrLowMemory;
  case TWCC_SEQERROR:
    return tcrBadState;
  default:
    return tcrBadOperation;
  }
}

TTwainMeasureUnit MeasureUnitFromTwain(TW_UINT16 unit) {
  return unit <= TWUN_PIXELS ? static_cast<TTwainMeasureUnit>(unit) : tmuOther;
}

TTwainFlavor FlavorFromTwain(TW_UINT16 flavor) {
  switch (flavor) {
  case TWPF_CHOCOLATE:
    return tflChocolate;
  case TWPF_VANILLA:
    return tflVanilla;
  default:
    return tflOther;
  }
}

int32_t CapTextAsInteger(const std::string &text) {
  int32_t value = 0;
  const char *first = text.data();
  const char *last = first + text.size();
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last && first != last ? value : -1;
}
