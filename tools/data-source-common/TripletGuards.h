// Early answers shared by a data source's triplet handlers: a triplet sent in the wrong TWAIN
// state, or without the record it needs. Used inside a handler with `state_` and a `Result`.
#pragma once

namespace dscommon {
inline bool InStates(int state, int low, int high) { return state >= low && state <= high; }
} // namespace dscommon

#define DS_REQUIRE_STATE(low, high)                                                                          \
  do {                                                                                                       \
    if (!::dscommon::InStates(state_, low, high))                                                            \
      return Result{TWRC_FAILURE, TWCC_SEQERROR};                                                            \
  } while (0)
#define DS_REQUIRE_DATA(p)                                                                                   \
  do {                                                                                                       \
    if (!(p))                                                                                                \
      return Result{TWRC_FAILURE, TWCC_BADVALUE};                                                            \
  } while (0)
