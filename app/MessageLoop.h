// The application's message loop and the way exceptions reach it. An exception may not unwind
// through a window procedure or timer (USER32 frames), so each such boundary catches it with
// GuardedCall, and the loop shows it in an error box after the message has been handled.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

// Raised to end an action quietly: dropped at the boundary without a box.
class EAbort : public std::exception {
public:
  const char *what() const noexcept override { return "Operation aborted"; }
};

// The error box text: the message, with a full stop appended when its last character sorts
// after the full stop (letters and digits do).
std::string ErrorBoxText(const std::string &message);

// Keeps the message of an exception caught on the user-interface thread for the loop to show.
void DeferError(const std::string &message);
bool TakeDeferredError(std::string &message);

// Runs action; an exception leaving it is deferred to the loop (EAbort is dropped). Returns
// whether the action completed.
template <typename Action> bool GuardedCall(Action &&action) noexcept {
  try {
    action();
    return true;
  } catch (const EAbort &) {
  } catch (const std::exception &e) {
    DeferError(e.what());
  } catch (...) {
    DeferError("Unknown error");
  }
  return false;
}

// Shows every deferred error in a modal box captioned with the application's title.
void ShowDeferredErrors(HWND owner);

// Between a batch's pages: the main window's own messages (its paints, the person's keys and
// clicks, Stop, a close) are handled now, whatever the scanner's driver dispatches; the scanner's
// and other threads' messages wait for the loop. Bounded, so that a stream of messages cannot
// hold the batch.
void HandleWindowMessagesNow(HWND mainWindow);

// Runs until WM_QUIT; keyboard navigation between the main window's controls included.
int RunMessageLoop(HWND mainWindow);
