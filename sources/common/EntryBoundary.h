// DS_Entry is a boundary between the source manager and our C++: no exception may leave it. A
// failure that escapes the source's own handling is answered TWRC_FAILURE, and its condition code
// kept for the application's DAT_STATUS.
#pragma once

#include "twain/TwainRecords.h"

#include <new>

namespace dscommon {

// The module's one source, made at its first call (inside the boundary, so that a source whose
// construction failed is tried again at the next call).
template <class Source> Source &TheSource() {
  static Source source;
  return source;
}

template <class Source>
TW_UINT16 GuardedEntry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  try {
    return TheSource<Source>().Entry(origin, dg, dat, msg, data);
  } catch (const std::bad_alloc &) {
    TheSource<Source>().RecordFailure(TWCC_LOWMEMORY);
  } catch (...) {
    TheSource<Source>().RecordFailure(TWCC_BUMMER);
  }
  return TWRC_FAILURE;
}

} // namespace dscommon
