// Early answers shared by the data source's triplet handlers: a triplet sent in the wrong
// TWAIN state, or without the record it needs.
#pragma once

namespace vscan {
inline bool InStates(int state, int low, int high) { return state >= low && state <= high; }
} // namespace vscan

#define VSCAN_REQUIRE_STATE(low, high)                                                                       \
  do {                                                                                                       \
    if (!InStates(state_, low, high))                                                                        \
      return Result{TWRC_FAILURE, TWCC_SEQERROR};                                                            \
  } while (0)
#define VSCAN_REQUIRE_DATA(p)                                                                                \
  do {                                                                                                       \
    if (!(p))                                                                                                \
      return Result{TWRC_FAILURE, TWCC_BADVALUE};                                                            \
  } while (0)
