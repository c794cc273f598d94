// Control IDs of the main window. Fixed so that the window can be driven from outside
// (GetDlgItem on the window found by its class name).
#pragma once

namespace station {

constexpr const char *kMainWindowClass = "TfMain";
constexpr const char *kMainWindowCaption = "Tovik Scan";

enum ControlId : int {
  idBtGo = 101,
  idCbShowConfig = 102,
  idPb = 103,
  idCbAuto = 104,
  idEDir = 105,
  idEDirBrowse = 106,
  idLbStatus = 107,
  idCbBlankAside = 108,
  idLbCounts = 109,
};

// The automatic start's timer (tmCheck): a test may run its tick at once with WM_TIMER.
constexpr unsigned idTmCheck = 1;

} // namespace station
