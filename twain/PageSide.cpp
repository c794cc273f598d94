#include "twain/PageSide.h"

#include <cstring>

namespace {

uint16_t Read16(const uint8_t *at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }
void Write16(uint8_t *at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

} // namespace

void BuildPageSideRequest(uint8_t *record) {
  std::memset(record, 0, kPageSideRecordSize);
  record[0] = 1; // NumInfos
  Write16(record + 4, TWEI_PAGESIDE);
}

TPageSide DecodePageSide(const uint8_t *record, size_t length) {
  if (!record || length < kPageSideRecordSize)
    return TPageSide::unknown;
  uint32_t infos;
  std::memcpy(&infos, record, sizeof infos);
  const uint8_t *info = record + 4;
  const uint16_t itemType = Read16(info + 2);
  const bool smallInteger = itemType == TWTY_INT8 || itemType == TWTY_INT16 || itemType == TWTY_INT32 ||
                            itemType == TWTY_UINT8 || itemType == TWTY_UINT16 || itemType == TWTY_UINT32;
  if (infos < 1 || Read16(info) != TWEI_PAGESIDE || !smallInteger || Read16(info + 4) != 1 ||
      Read16(info + 6) != TWRC_SUCCESS)
    return TPageSide::unknown;
  switch (Read16(info + 8)) {
  case TWCS_TOP:
    return TPageSide::front;
  case TWCS_BOTTOM:
    return TPageSide::back;
  default:
    return TPageSide::unknown;
  }
}
