// The hidden message window of a TKestraTwain. Its handle is what the layer gives
// to TWAIN (MSG_OPENDSM and MSG_ENABLEDS); the notifications posted to it are offered to every open
// and enabled source by VirtualWindowProc.
//
// Exceptions never unwind through a window procedure (ARCHITECTURE.md §7). An exception that an
// event handler raises while a message is being handled here (a page handler during a transfer,
// for example) is caught at the window procedure and parked; the application's message loop takes
// it after DispatchMessage with RethrowParkedTwainException() and shows it like any other.
#pragma once

#include <windows.h>

#include <exception>

class TKestraTwain;

constexpr const char *kVirtualWindowClassName = "KESTRATWAIN_VIRTUALWINDOW";
// Posted by a manager to its own hidden window when it is idle again (TKestraTwain::RunIdle).
constexpr UINT kTwainIdleMessage = WM_APP + 0x4B54;

// Registers the window class once per program (on first use; unregistered at program end) and
// creates the hidden window for `manager`. Returns 0 when the window could not be created.
HWND CreateVirtualWindow(TKestraTwain *manager);

LRESULT CALLBACK VirtualWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The exception parked by VirtualWindowProc since the last call, or null; taking it clears it.
std::exception_ptr TakeParkedTwainException();

// Rethrows the parked exception, if any (for the message loop, right after DispatchMessage).
void RethrowParkedTwainException();

// Managers alive in the program, for OfferTwainMessage (the manager registers itself).
void RegisterTwainManager(TKestraTwain *manager, bool alive);

// For the application's message loop, before it translates and dispatches a message: offers it
// to every open and enabled source (MSG_PROCESSEVENT), as TWAIN 1.x asks while a source is
// enabled; a driver's own dialog needs it for its keyboard. True when a source claimed it: the
// message is then not dispatched. What the source answers is handled as the hidden window does,
// and an exception of a handler is parked the same way.
bool OfferTwainMessage(MSG &message);
