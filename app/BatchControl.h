// The person's hold on the batches: while a batch runs, "Go.." becomes "Stop", and Stop or Esc
// ends the batch between sheets. A batch the person stopped, or one a paper fault (a double feed,
// a jam) ended, keeps Auto from starting another with paper still in the feeder until the person
// says go on: Auto ticked again or Go.. pressed ("Continue" after a paper fault, so that the
// sheets put back on the stack are scanned next).
#pragma once

#include <windows.h>

class TBatchControl {
public:
  enum class THold { None, Stopped, PaperFault };

  explicit TBatchControl(HWND goButton) : Button(goButton) {}

  // A batch runs (said before each of its pages): the button stops it. True when it just began.
  bool Running();
  // The scanner is disabled: the button starts a batch again.
  void Ended();
  bool IsRunning() const { return Running_; }

  // Stop or Esc: true when a running batch is to end (the caller asks the scanner).
  bool Stop();
  // A double feed or a jam ended the running batch: the person puts sheets back first.
  void PaperFault();
  THold Hold() const { return Held; }
  // Go.. (Continue) pressed, or Auto ticked again: Auto may start batches again.
  void Resume();
  bool AutoHeld() const { return Held != THold::None; }

private:
  void ShowCaption();

  HWND Button;
  bool Running_ = false;
  THold Held = THold::None;
};
