// The scanner's own window, shown for MSG_ENABLEDS with ShowUI ("Scan" and "Close") and for
// MSG_ENABLEDSUIONLY ("OK" and "Cancel"). Closing it counts as "Close" / "Cancel". After a batch
// it is shown again until the person closes it. A scenario can answer it automatically: the
// first time as the scenario says, and a window shown again after a batch is closed.
#pragma once

#include "tools/virtual-scanner/Scenario.h"
#include "win/Owners.h"

#include <functional>
#include <string>

namespace vscan {

enum class DialogChoice { Scan, Close, Ok };

class SettingsDialog {
public:
  // Title: "<product name> settings". `settingsOnly`: the window of MSG_ENABLEDSUIONLY.
  bool Show(const std::string &productName, const std::string &text, DialogAnswer automatic, int delayMs,
            bool settingsOnly, std::function<void(DialogChoice)> onChoice);
  // The window again after a batch, with a new text; false when it was never shown.
  bool ShowAgain(const std::string &text);
  void Close() { window_.reset(); }
  HWND Window() const { return window_.get(); }

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Choose(DialogChoice choice);

  win::UniqueWindow window_;
  HWND text_ = nullptr;
  std::function<void(DialogChoice)> onChoice_;
  DialogAnswer automatic_ = DialogAnswer::Interactive;
  bool settingsOnly_ = false;
  bool answered_ = false;
  int delayMs_ = 0;
};

} // namespace vscan
