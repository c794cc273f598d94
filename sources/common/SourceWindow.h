// A data source's own window, shown for MSG_ENABLEDS with ShowUI ("Scan" and "Close") and for
// MSG_ENABLEDSUIONLY ("OK" and "Cancel"). Closing it counts as "Close" / "Cancel". After a batch
// it is shown again until the person closes it. It can be answered automatically (the virtual
// scanner's scenarios): the first time as asked, and a window shown again after a batch is closed.
#pragma once

#include "win/Owners.h"

#include <functional>
#include <string>

namespace dscommon {

enum class WindowChoice { Scan, Close, Ok };
enum class WindowAnswer { Interactive, Scan, Cancel };

class SourceWindow {
public:
  // Title: "<product name> settings". `settingsOnly`: the window of MSG_ENABLEDSUIONLY.
  bool Show(const std::string &productName, const std::string &text, WindowAnswer automatic, int delayMs,
            bool settingsOnly, std::function<void(WindowChoice)> onChoice);
  // The window again after a batch, with a new text; false when it was never shown.
  bool ShowAgain(const std::string &text);
  void Close() { window_.reset(); }
  HWND Window() const { return window_.get(); }

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Choose(WindowChoice choice);

  win::UniqueWindow window_;
  HWND text_ = nullptr;
  std::function<void(WindowChoice)> onChoice_;
  WindowAnswer automatic_ = WindowAnswer::Interactive;
  bool settingsOnly_ = false;
  bool answered_ = false;
  int delayMs_ = 0;
};

} // namespace dscommon
