// A data source's own module (the .ds): its instance handle, folder and window classes.
#pragma once

#include <windows.h>

#include <string>

namespace dscommon {

void SetThisModule(HINSTANCE module);
HINSTANCE ThisModule();

// Folder of the .ds file, with a trailing backslash.
std::string ModuleFolder();

// Registers a window class of this DLL once; a class left behind by an earlier load of the DLL
// (whose window procedure is gone) is replaced.
bool EnsureWindowClass(const char *name, WNDPROC procedure);
// Unregisters the classes registered by EnsureWindowClass (when the DLL is unloaded).
void UnregisterWindowClasses();

// Runs `end` when the DLL is unloaded or the process ends (DLL_PROCESS_DETACH), once: what the
// source holds outside the process (an open device) is let go while the process still runs. Later,
// in its static destructors, the process may already be gone for those it was talking to.
void AtDetach(void (*end)());
void RunDetachHooks();

} // namespace dscommon
