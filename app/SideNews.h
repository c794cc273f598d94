// What the writer thread tells the window of the sides it wrote: pages written (into their
// folder or only into the unsaved one), blank sides set aside and the newest sheet's small
// pictures. Kept under a lock and announced with one posted message until the window takes it,
// so the writer never waits for the window.
#pragma once

#include "win/Owners.h"
#include "writer/SideWriter.h"

#include <windows.h>

#include <string>
#include <vector>

class TSideNews {
public:
  struct TPicture {
    unsigned Sheet = 0;
    TSidePicture Picture; // empty when no new one came
  };
  struct TNews {
    std::vector<unsigned> BlankBatches; // one entry per blank side, its batch
    unsigned Written = 0;               // pages written into their folders (Blank\ included)
    unsigned Unsaved = 0;               // pages written only into the unsaved folder
    TPicture Front, Back;               // the newest of each side
  };

  TSideNews(HWND window, UINT message, std::string unsavedFolder)
      : Window(window), Message(message), UnsavedFolder(std::move(unsavedFolder)) {}
  // The writer thread.
  void Post(TSideWritten &&side);
  // The window's thread, on the message.
  TNews Take();

private:
  HWND Window;
  UINT Message;
  std::string UnsavedFolder;
  win::CriticalSection Guard;
  TNews News;
  bool Announced = false;
};

// The two pictures the window shows: always of one sheet, the newest. A side of an older sheet
// is not shown; a newer sheet's first side empties the other until it comes.
class TSheetPictures {
public:
  // True when what is shown changed.
  bool Take(TSideNews::TNews &news);
  const TSidePicture &Front() const { return Shown[0]; }
  const TSidePicture &Back() const { return Shown[1]; }

private:
  bool Show(unsigned sheet, int side, TSidePicture &&picture);

  bool AnySheet = false;
  unsigned Sheet = 0;
  TSidePicture Shown[2];
};
