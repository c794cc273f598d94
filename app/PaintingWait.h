// A wait on the user-interface thread that keeps the window painted and answers messages sent
// from other threads, but runs no input or timer handler (a batch may be running beneath it).
#pragma once

#include <windows.h>

// Waits for the event (none: just the time) for at most timeoutMs; true when it was set.
bool WaitPainting(HANDLE event, DWORD timeoutMs);
