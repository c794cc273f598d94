// The TWAIN states in which a data source takes each triplet it answers (states 3 to 7, as the
// standard gives them for the source's side). A triplet sent in any other state is answered
// TWRC_FAILURE / TWCC_SEQERROR and changes nothing.
#pragma once

#include "twain/TwainRecords.h"

namespace dscommon {

struct StateSpan {
  int low = 0;
  int high = 0;
  bool Holds(int state) const { return state >= low && state <= high; }
};

// The states of a triplet; {0, 0} for a triplet no source of ours answers.
StateSpan StatesOf(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg);

} // namespace dscommon
