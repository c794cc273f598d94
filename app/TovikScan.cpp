// The station's entry: one main window and the message loop that runs it.
#include "app/MessageLoop.h"
#include "app/uMain.h"
#include "app/uUtils.h"

#include <windows.h>

#include <FreeImage.h>
#include <commctrl.h>

namespace {

// FreeImage for the whole run; TRUE: no plugin DLLs are looked for beside the program.
struct FreeImageLibrary {
  FreeImageLibrary() { FreeImage_Initialise(TRUE); }
  ~FreeImageLibrary() { FreeImage_DeInitialise(); }
};

int RunStation() {
  INITCOMMONCONTROLSEX controls = {sizeof controls,
                                   ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES};
  ::InitCommonControlsEx(&controls);
  win::OleApartment ole; // the folder picker needs OLE on this thread
  FreeImageLibrary freeImage;
  TfMain form;
  form.Show();
  return RunMessageLoop(form.Handle());
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Nothing above the loop is a Windows callback, but an exception here would still end the
  // process without a word: show it as the loop would.
  int exitCode = 1;
  if (GuardedCall([&] { exitCode = RunStation(); }))
    return exitCode;
  ShowDeferredErrors(nullptr);
  return 1;
}
