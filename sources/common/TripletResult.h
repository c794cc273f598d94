// What a data source's triplet handler answers: the return code, and the condition code the
// application reads next with DAT_STATUS.
#pragma once

#include "twain/TwainRecords.h"

namespace dscommon {

struct TripletResult {
  TW_UINT16 rc = TWRC_SUCCESS;
  TW_UINT16 cc = TWCC_SUCCESS;
};

} // namespace dscommon
