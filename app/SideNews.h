// What the writer thread tells the window of the sides it wrote: blank sides set aside and the
// last front's and back's small pictures. Kept under a lock and announced with one posted
// message until the window takes it, so the writer never waits for the window.
#pragma once

#include "win/Owners.h"
#include "writer/SideWriter.h"

#include <windows.h>

#include <vector>

class TSideNews {
public:
  struct TNews {
    std::vector<unsigned> BlankBatches; // one entry per blank side, its batch
    TSidePicture Front, Back;           // empty when no new one came
  };

  TSideNews(HWND window, UINT message) : Window(window), Message(message) {}
  // The writer thread.
  void Post(TSideWritten &&side);
  // The window's thread, on the message.
  TNews Take();

private:
  HWND Window;
  UINT Message;
  win::CriticalSection Guard;
  TNews News;
  bool Announced = false;
};
