// The side of the sheet a page shows, as the source reports it after the transfer through its
// extended image information (DG_IMAGE / DAT_EXTIMAGEINFO, TWEI_PAGESIDE). The record is built and
// read as bytes: what comes back is the source's, and only what lies within it is read.
#pragma once

#include "twain/TwainRecords.h"

#include <cstddef>
#include <cstdint>

enum class TPageSide { unknown, front, back };

constexpr TW_UINT16 DAT_EXTIMAGEINFO = 0x010B;
constexpr TW_UINT16 ICAP_EXTIMAGEINFO = 0x112F;
constexpr TW_UINT16 TWEI_PAGESIDE = 0x1245;
constexpr TW_UINT16 TWCS_TOP = 1;    // the front of the sheet
constexpr TW_UINT16 TWCS_BOTTOM = 2; // its back

// A TW_EXTIMAGEINFO with one TW_INFO: NumInfos (4 bytes), then InfoID, ItemType, NumItems,
// ReturnCode (2 bytes each) and Item (4 bytes).
constexpr size_t kPageSideRecordSize = 4 + 12;

// Fills `record` (kPageSideRecordSize bytes) with the question for TWEI_PAGESIDE.
void BuildPageSideRequest(uint8_t *record);

// The side in the source's answer (`length` bytes at `record`): known only when the record holds
// one TW_INFO for TWEI_PAGESIDE that the source filled (ReturnCode TWRC_SUCCESS, one integer item
// of at most 4 bytes held in Item) with TWCS_TOP or TWCS_BOTTOM.
TPageSide DecodePageSide(const uint8_t *record, size_t length);
