#include "bench/TimedSourceManager.h"

#include "bench/BenchClock.h"

namespace {

DSMENTRYPROC RealEntry = nullptr;
HMODULE KeptLibrary = nullptr;
TSourceTime Totals;

TW_UINT16 WINAPI TimedEntry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat,
                            TW_UINT16 msg, TW_MEMREF data) {
  const double start = NowMs();
  const TW_UINT16 rc = RealEntry(origin, dest, dg, dat, msg, data);
  const double ms = NowMs() - start;
  Totals.Ms += ms;
  if (dg == DG_IMAGE && dat == DAT_IMAGEMEMXFER) {
    ++Totals.Strips;
    Totals.StripMs += ms;
  }
  return rc;
}

} // namespace

bool TimeSourceManager(TKestraTwain &twain) {
  if (!twain.LibraryLoaded() || !twain.LibraryHandle() || !twain.DSMEntryProc())
    return false;
  if (!KeptLibrary) {
    // One more reference, so the module outlives the manager's FreeLibrary in AttachEntry.
    char path[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(twain.LibraryHandle(), path, MAX_PATH);
    KeptLibrary = ::LoadLibraryA(path);
  }
  RealEntry = twain.DSMEntryProc();
  return twain.AttachEntry(&TimedEntry);
}

TSourceTime SourceTime() { return Totals; }

void ResetSourceTime() { Totals = TSourceTime(); }
