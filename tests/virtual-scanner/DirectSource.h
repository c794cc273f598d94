// Drives sane.ds the way a source manager would: loads the DLL, calls its DS_Entry directly and
// hands it a recording DSM entry (DAT_ENTRYPOINT) so its notifications can be observed.
#pragma once

#include "twain/TwainRecords.h"
#include "win/Owners.h"

#include <string>
#include <vector>

namespace vstest {

struct Reply {
  TW_UINT16 rc = 0;
  TW_UINT16 cc = 0; // condition code read with DAT_STATUS after a failure, else 0
};

class DirectSource {
public:
  DirectSource();
  bool Loaded() const { return entry_ != nullptr; }

  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void *data);
  // Call, then read the condition code when the answer is TWRC_FAILURE.
  Reply Ask(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void *data);

  // The next product name of the enumeration.
  std::string NextIdentity();
  bool Open(const std::string &productName = "");
  bool Enable(bool showUI);
  // ICAP_XFERMECH := mechanism (a one-value), in state 4.
  TW_UINT16 SetMechanism(TW_UINT16 mechanism);
  // Brings the source back to closed (state 3), whatever state it is in.
  void Shutdown();

  // Pumps this thread's messages until a notification arrives; MSG_NULL after the time-out.
  TW_UINT16 WaitForNotification(DWORD timeoutMs = 10000);
  static std::vector<TW_UINT16> &Notifications();

  TW_IDENTITY &Identity() { return identity_; }

private:
  win::UniqueLibrary library_;
  DSENTRYPROC entry_ = nullptr;
  TW_IDENTITY app_{};
  TW_IDENTITY identity_{};
};

// Path of the built sane.ds as Windows sees it under Wine.
std::string DataSourcePath();

} // namespace vstest
