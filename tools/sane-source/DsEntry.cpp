// The data source's exported entry point and DLL entry. DS_Entry is a boundary between the
// source manager and our C++: no exception may leave it.
#include "tools/sane-source/Bridge.h"
#include "tools/virtual-scanner/Module.h"

#include <new>

namespace {

sanesrc::Bridge &TheSource() {
  static sanesrc::Bridge source;
  return source;
}

} // namespace

extern "C" TW_UINT16 WINAPI DS_Entry(pTW_IDENTITY pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                     TW_MEMREF pData) {
  try {
    return TheSource().Entry(pOrigin, DG, DAT, MSG, pData);
  } catch (const std::bad_alloc &) {
    TheSource().RecordFailure(TWCC_LOWMEMORY);
  } catch (...) {
    TheSource().RecordFailure(TWCC_BUMMER);
  }
  return TWRC_FAILURE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    vscan::SetThisModule(module);
    ::DisableThreadLibraryCalls(module);
  } else if (reason == DLL_PROCESS_DETACH) {
    vscan::UnregisterWindowClasses();
  }
  return TRUE;
}
