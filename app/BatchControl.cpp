#include "app/BatchControl.h"

#include <string>

bool TBatchControl::Running() {
  if (Running_)
    return false;
  Running_ = true;
  ShowCaption();
  ::EnableWindow(Button, TRUE);
  return true;
}

void TBatchControl::Ended() {
  Running_ = false;
  ShowCaption();
}

bool TBatchControl::Stop() {
  if (!Running_)
    return false;
  Held = THold::Stopped;
  return true;
}

void TBatchControl::PaperFault() {
  Held = THold::PaperFault;
  ShowCaption();
}

void TBatchControl::Resume() {
  Held = THold::None;
  ShowCaption();
}

void TBatchControl::ShowCaption() {
  const char *caption = Running_ ? "Stop" : Held == THold::PaperFault ? "Continue" : "Go..";
  char shown[16] = {};
  ::GetWindowTextA(Button, shown, sizeof shown);
  if (std::string(shown) != caption)
    ::SetWindowTextA(Button, caption);
}
