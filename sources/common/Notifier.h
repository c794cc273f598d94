// When the data source tells the application that it has something to say (MSG_XFERREADY,
// MSG_CLOSEDSREQ ..., sent through dscommon::ApplicationLink): from the application's own message
// loop, after MSG_ENABLEDS has returned. The source posts a message to its hidden window and
// sends when the loop dispatches it.
// An application that offers every message to MSG_PROCESSEVENT may also claim the posted message
// there (see DataSource), in which case no call is made.
#pragma once

#include "twain/TwainRecords.h"
#include "win/Owners.h"

#include <functional>

namespace dscommon {

class Notifier {
public:
  static constexpr UINT kPostedMessage = WM_APP + 0x5653;

  // Creates the hidden window on the calling thread; `onPosted` runs when a posted token is
  // dispatched.
  bool Create(std::function<void(WPARAM)> onPosted);
  void Destroy() { window_.reset(); }
  bool Post(WPARAM token) const;
  // Posts `token` to the window as it is now, from any thread (a window gone meanwhile takes none).
  std::function<void()> Poster(WPARAM token) const {
    const HWND window = window_.get();
    return [window, token] { ::PostMessageA(window, kPostedMessage, token, 0); };
  }
  bool IsPostedMessage(const MSG &message) const {
    return window_ && message.hwnd == window_.get() && message.message == kPostedMessage;
  }

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  win::UniqueWindow window_;
  std::function<void(WPARAM)> onPosted_;
};

} // namespace dscommon
