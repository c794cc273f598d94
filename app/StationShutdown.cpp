#include "app/StationShutdown.h"

#include "app/PaintingWait.h"
#include "app/StatusTexts.h"
#include "app/uUtils.h"

bool TStationShutdown::CloseRequested() {
  if (Closing_ || InEndSession || Leaving)
    return false;
  const TWriterState state = P.Writer->State();
  if (state.Pages == 0) {
    // Nothing left to write, but pages the encoder refused are still named to the user.
    Leaving = true;
    TellAboutUnsavedPages(state);
    return true;
  }
  Closing_ = true;
  P.Writer->Finish();
  P.ShowStatus();
  // The last page may have gone before the finish was asked; the window's timer looks again too.
  return WriterChanged();
}

bool TStationShutdown::WriterChanged() {
  if (!Closing_ || Leaving)
    return false;
  const TWriterState state = P.Writer->State();
  if (!state.Finished())
    return false;
  // Before the box: a tick or a writer message handled while it is up must not end the window
  // (and the box with it) under the user's eyes.
  Leaving = true;
  TellAboutUnsavedPages(state);
  return true;
}

bool TStationShutdown::EndSession(bool sessionEnds) {
  SessionEnds = SessionEnds || sessionEnds;
  if (InEndSession)
    return false;
  struct Running {
    bool &Flag;
    explicit Running(bool &flag) : Flag(flag) { Flag = true; }
    ~Running() { Flag = false; }
  } running(InEndSession);
  P.Writer->Finish();
  TWriterState state = P.Writer->State();
  for (; !state.Finished(); state = P.Writer->State()) {
    P.ShowStatus();
    WaitPainting(nullptr, 50);
  }
  // The settings first: the session may end while the box is up.
  P.SaveSettings();
  TellAboutUnsavedPages(state);
  return SessionEnds;
}

void TStationShutdown::EndSessionCancelled() {
  SessionEnds = false;
  if (!Closing_)
    P.Writer->Resume();
}

void TStationShutdown::TellAboutUnsavedPages(const TWriterState &state) {
  const size_t count = state.Unsaved + state.Lost + state.Refused;
  if (count == Told)
    return;
  Told = count;
  const std::string text = UnsavedPagesText(state, P.UnsavedFolder);
  if (P.ShowBox) {
    P.ShowBox(text);
    return;
  }
  const std::string title = ApplicationTitle();
  ::MessageBoxA(P.Window, text.c_str(), title.c_str(), MB_OK | MB_ICONWARNING);
}
