// How the data source tells the application that it has something to say: it calls the source
// manager's DSM_Entry with DG_CONTROL / DAT_NULL / MSG_XFERREADY (or MSG_CLOSEDSREQ ...).
//
// The call is made from the application's own message loop, after MSG_ENABLEDS has returned: the
// source posts a message to its hidden window and makes the call when the loop dispatches it.
// An application that offers every message to MSG_PROCESSEVENT may also claim the posted message
// there (see DataSource), in which case no call is made.
#pragma once

#include "twain/TwainRecords.h"
#include "win/Owners.h"

#include <functional>

namespace vscan {

class Notifier {
public:
  static constexpr UINT kPostedMessage = WM_APP + 0x5653;

  // Creates the hidden window on the calling thread; `onPosted` runs when a posted token is
  // dispatched.
  bool Create(std::function<void(WPARAM)> onPosted);
  void Destroy() { window_.reset(); }
  bool Post(WPARAM token) const;
  bool IsPostedMessage(const MSG &message) const {
    return window_ && message.hwnd == window_.get() && message.message == kPostedMessage;
  }

  // A source manager entry handed over with DAT_ENTRYPOINT; without one, the entry of the
  // TWAIN_32.DLL loaded in the process (ordinal 1). Null when there is no source manager.
  void SetEntry(DSMENTRYPROC entry) { entry_ = entry; }
  DSMENTRYPROC Entry() const;

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  win::UniqueWindow window_;
  std::function<void(WPARAM)> onPosted_;
  DSMENTRYPROC entry_ = nullptr;
};

} // namespace vscan
