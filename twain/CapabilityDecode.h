// Decoding of the capability containers that a data source answers with. Everything here works on
// a block of bytes and its size and makes no Windows call, so every rule can be tested directly.
//
// A container comes from the data source and is not trusted: no count, size or index in it is
// believed beyond the bytes the block really holds. A container that announces more than its block
// holds (items past the end, a number cut by the end) is rejected as a whole; a string item without
// a zero byte ends at its width.
#pragma once

#include "twain/TwainCapabilityTypes.h"
#include "twain/TwainRecords.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Size in bytes of one item of a TWTY_ item type, the step between enumeration items; 0 for
// TWTY_HANDLE and every unknown type.
uint32_t TwainItemSize(TW_UINT16 itemType);

// Bytes that the text rule of an item type reads at most: the number's width, a string's width,
// 0 for a type that has no text rule.
size_t CapItemTextWidth(TW_UINT16 itemType);

// Writes the text of one item, read at `item`, into `text`, by the rule of its item type:
// integers and TWTY_BOOL in decimal, TWTY_FIX32 as Whole, the separator and the raw Frac count,
// strings up to their first zero byte (and never past their width or `available`). Types without a
// rule leave `text` as it was. Returns false, leaving `text` as it was, when a number's bytes are not
// all within the `available` bytes at `item`.
bool CapItemText(std::string &text, TW_UINT16 itemType, const void *item, size_t available,
                 char decimalSeparator);

// A one-value container (TW_ONEVALUE) of `size` bytes: sets the item type and writes the item's text
// into `value` (kept when the type has no text rule). Returns false, writing nothing, when the block
// does not hold the item type or the item's number.
bool DecodeOneValue(const void *block, size_t size, char decimalSeparator, TW_UINT16 &itemType,
                    std::string &value);

// The contents of an enumeration container, the indexes as the source gave them.
struct TCapEnumeration {
  TW_UINT16 ItemType = 0;
  int32_t CurrentIndex = 0;
  int32_t DefaultIndex = 0;
  TGetCapabilityList Texts;
};

// An enumeration container (TW_ENUMERATION) of `size` bytes. The items are read back to back,
// `TwainItemSize` apart; one working text is carried from item to item, so a type without a text rule
// gives NumItems empty texts. Returns false, writing nothing, when the block is shorter than its
// header, when NumItems items do not fit in it, or, for a type whose items take no bytes, when
// NumItems exceeds the bytes after the header (which bounds the list a hostile count can build).
bool DecodeEnumeration(const void *block, size_t size, char decimalSeparator, TCapEnumeration &result);

// The capability result for a source's condition code (TWCC_).
TTwainCapResult CapResultFromConditionCode(TW_UINT16 conditionCode);

// TWUN_ number to unit: 0 to 5 give the unit of the same value, every other number tmuOther.
TTwainMeasureUnit MeasureUnitFromTwain(TW_UINT16 unit);

// TWPF_ number to flavor: 0 chocolate, 1 vanilla, every other number tflOther.
TTwainFlavor FlavorFromTwain(TW_UINT16 flavor);

// An item text as a whole decimal number; -1 for a text that is not one (or does not fit 32 bits).
int32_t CapTextAsInteger(const std::string &text);

// Fills a typed reader's answer from an enumeration's texts: every entry's member is added to
// `supported` (members already in it stay), and `value` becomes the member of the entry at `index`.
// An index outside the list leaves `value` as it was.
template <typename E>
void TypedValueFromTexts(const TGetCapabilityList &texts, int32_t index, E (*convert)(TW_UINT16), E &value,
                         TTwainByteSet<E> &supported) {
  auto member = [convert](const std::string &text) {
    return convert(static_cast<TW_UINT16>(static_cast<uint32_t>(CapTextAsInteger(text)) & 0xFFFFu));
  };
  for (const std::string &text : texts)
    supported.Include(member(text));
  if (index >= 0 && static_cast<size_t>(index) < texts.size())
    value = member(texts[static_cast<size_t>(index)]);
}
