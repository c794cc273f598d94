// The scanner's own settings dialog, shown for MSG_ENABLEDS with ShowUI: a small window with
// "Scan" and "Cancel". Closing it counts as "Cancel". A scenario can answer it automatically.
#pragma once

#include "tools/virtual-scanner/Scenario.h"
#include "win/Owners.h"

#include <functional>
#include <string>

namespace vscan {

enum class DialogChoice { Scan, Cancel };

class SettingsDialog {
public:
  // Title: "<product name> settings".
  bool Show(const std::string &productName, const std::string &text, DialogAnswer automatic, int delayMs,
            std::function<void(DialogChoice)> onChoice);
  void Close() { window_.reset(); }
  HWND Window() const { return window_.get(); }

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Choose(DialogChoice choice);

  win::UniqueWindow window_;
  std::function<void(DialogChoice)> onChoice_;
  DialogAnswer automatic_ = DialogAnswer::Interactive;
  bool answered_ = false;
};

} // namespace vscan
