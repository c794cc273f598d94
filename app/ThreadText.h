// A text handed from another thread to a window: kept under a lock and announced with a posted
// message, so the other thread never waits for the user-interface thread.
#pragma once

#include "win/Owners.h"

#include <windows.h>

#include <string>

class TThreadText {
public:
  TThreadText(HWND window, UINT message) : Window(window), Message(message) {}

  // Any thread. A newer text replaces one not yet taken; the window then sees the newest.
  void Post(const std::string &text);
  // The window's thread, on the message: the text posted last, or empty when already taken.
  std::string Take();

private:
  HWND Window;
  UINT Message;
  win::CriticalSection Guard;
  std::string Text;
};
