// The end of a run with pages still on their way to disk: closing the window, or Windows ending
// the session. No page is left behind: the window stays with "Writing N pages…" until every page
// is written; one whose folder still cannot take it goes, with every page after it, into the
// unsaved folder, and the user is told where.
#pragma once

#include "writer/uSaveThread.h"

#include <windows.h>

#include <functional>
#include <string>

class TStationShutdown {
public:
  struct Parts {
    HWND Window = nullptr;
    TSaveThread *Writer = nullptr;
    std::string UnsavedFolder;
    std::function<void()> SaveSettings; // writes config.ini now
    std::function<void()> ShowStatus;   // the status line follows the writer's state
    // Tells the person of pages not in their folder; empty: a box owned by the window.
    std::function<void(const std::string &text)> ShowBox;
  };

  explicit TStationShutdown(Parts parts) : P(std::move(parts)) {}

  // WM_CLOSE: true when the window may go now; otherwise the writer is told to finish and the
  // window stays until WriterChanged says it may go.
  bool CloseRequested();
  // The writer's state changed (or a timer tick): true when a close has nothing left to wait for.
  bool WriterChanged();
  bool Closing() const { return Closing_; }

  // WM_QUERYENDSESSION (sessionEnds false) and WM_ENDSESSION (true): every page is written or
  // kept now, config.ini is written and the user is told, before Windows ends the session. True
  // when the window may go now; a call made while the box of an earlier one is up leaves that to
  // the earlier call.
  bool EndSession(bool sessionEnds);
  // The session goes on after all (another program refused to end).
  void EndSessionCancelled();

private:
  void TellAboutUnsavedPages(const TWriterState &state);

  Parts P;
  bool Closing_ = false;
  bool Leaving = false; // a close has nothing left to wait for
  bool InEndSession = false;
  bool SessionEnds = false;
  size_t Told = 0; // unsaved and lost pages the user has been told of
};
