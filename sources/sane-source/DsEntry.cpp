// The data source's exported entry point: its one source behind the shared exception boundary.
#include "sources/common/EntryBoundary.h"
#include "sources/sane-source/Bridge.h"

extern "C" TW_UINT16 WINAPI DS_Entry(pTW_IDENTITY pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                     TW_MEMREF pData) {
  return dscommon::GuardedEntry<sanesrc::Bridge>(pOrigin, DG, DAT, MSG, pData);
}
