// Capability containers as a source might answer them: one-values and enumerations of any item
// type and count, each in a block of exactly its length.
#include "tests/fuzz/FuzzInput.h"
#include "twain/CapabilityDecode.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in(data, size);
  const char separator = in.Take<uint8_t>() & 1 ? ',' : '.';
  size_t got = 0;
  const uint8_t *rest = in.Rest(got);
  const std::vector<uint8_t> block(rest, rest + got);

  TW_UINT16 itemType = 0;
  std::string value;
  DecodeOneValue(block.data(), block.size(), separator, itemType, value);

  TCapEnumeration enumeration;
  if (DecodeEnumeration(block.data(), block.size(), separator, enumeration)) {
    for (const std::string &text : enumeration.Texts)
      CapTextAsInteger(text);
    TTwainByteSet<TTwainMeasureUnit> units;
    TTwainMeasureUnit unit = tmuInches;
    TypedValueFromTexts(enumeration.Texts, enumeration.CurrentIndex, MeasureUnitFromTwain, unit, units);
  }

  // One item read at every offset, with the bytes left as the bound.
  for (size_t at = 0; at < block.size() && at < 64; ++at) {
    std::string text;
    CapItemText(text, static_cast<TW_UINT16>(block[at]), block.data() + at, block.size() - at, separator);
  }
  return 0;
}
