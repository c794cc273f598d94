// The person's hold on the batches: while a batch runs, "Go.." becomes "Stop", and Stop or Esc
// ends the batch between sheets. A batch the person stopped keeps Auto from starting another,
// with paper still in the feeder, until they tick Auto again or press Go...
#pragma once

#include <windows.h>

class TBatchControl {
public:
  explicit TBatchControl(HWND goButton) : Button(goButton) {}

  // A batch runs (said before each of its pages): the button stops it.
  void Running();
  // The scanner is disabled: the button starts a batch again.
  void Ended();
  bool IsRunning() const { return Running_; }

  // Stop or Esc: true when a running batch is to end (the caller asks the scanner).
  bool Stop();
  bool StoppedByThePerson() const { return Held; }
  // Go.. pressed, or Auto ticked again: Auto may start batches again.
  void Resume() { Held = false; }
  bool AutoHeld() const { return Held; }

private:
  HWND Button;
  bool Running_ = false;
  bool Held = false;
};
