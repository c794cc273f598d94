// The DLL entry of a data source: the module handle is kept for its window classes, which go
// with the module when it is unloaded (the source manager unloads and loads sources again).
#include "sources/common/Module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    dscommon::SetThisModule(module);
    ::DisableThreadLibraryCalls(module);
  } else if (reason == DLL_PROCESS_DETACH) {
    dscommon::RunDetachHooks();
    dscommon::UnregisterWindowClasses();
  }
  return TRUE;
}
