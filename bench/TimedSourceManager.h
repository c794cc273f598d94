// A pass-through in front of the real source manager's entry that adds up the time spent inside
// it (Wine's source manager and the data source: making the page and copying strips into our
// buffer), so the user-interface thread's own share can be told from the scanner's.
#pragma once

#include "twain/KestraTwain.h"

#include <cstdint>

struct TSourceTime {
  double Ms = 0;       // inside every triplet
  uint64_t Strips = 0; // DAT_IMAGEMEMXFER requests
  double StripMs = 0;  // inside DAT_IMAGEMEMXFER
};

// Puts the pass-through in front of the entry that LoadTwainLibrary found; the library stays
// loaded until the manager is destroyed. False when the manager has no library loaded.
bool TimeSourceManager(TKestraTwain &twain);

// Time so far, on the calling thread (the user-interface thread); Reset starts again from zero.
TSourceTime SourceTime();
void ResetSourceTime();
