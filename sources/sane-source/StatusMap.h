// What a SANE status means to a TWAIN application: the return and condition code of the triplet
// that met it, and whether the session must be closed.
#pragma once

#include "sources/sane-source/SaneValues.h"
#include "twain/TwainRecords.h"

namespace sanesrc {

// Condition codes of later TWAIN versions that name SANE's device states exactly.
constexpr TW_UINT16 TWCC_INTERLOCK = 24; // a cover or door is open
constexpr TW_UINT16 TWCC_NOMEDIA = 29;   // no paper in the feeder

struct StatusMeaning {
  TW_UINT16 rc = TWRC_SUCCESS;
  TW_UINT16 cc = TWCC_SUCCESS;
  // The device needs a person before it can scan again: after the batch the source asks the
  // application to close it (MSG_CLOSEDSREQ) rather than staying enabled.
  bool closeRequest = false;
};

// Any status, including ones a newer SANE adds, has a meaning (unknown ones: an operation error).
StatusMeaning MeaningOf(int saneStatus);

} // namespace sanesrc
