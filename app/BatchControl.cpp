#include "app/BatchControl.h"

namespace {

constexpr const char *kGoCaption = "Go..";
constexpr const char *kStopCaption = "Stop";

} // namespace

void TBatchControl::Running() {
  if (Running_)
    return;
  Running_ = true;
  ::SetWindowTextA(Button, kStopCaption);
  ::EnableWindow(Button, TRUE);
}

void TBatchControl::Ended() {
  if (!Running_)
    return;
  Running_ = false;
  ::SetWindowTextA(Button, kGoCaption);
}

bool TBatchControl::Stop() {
  if (!Running_)
    return false;
  Held = true;
  return true;
}
