// How a data source tells the application it has something to say (DG_CONTROL / DAT_NULL /
// MSG_XFERREADY, MSG_CLOSEDSREQ, MSG_CLOSEDSOK, MSG_DEVICEEVENT): through the callback the
// application registered (DAT_CALLBACK or DAT_CALLBACK2, MSG_REGISTER_CALLBACK), else through the
// source manager's DSM_Entry, which turns it into an event for the application's message loop.
#pragma once

#include "sources/common/TwainProtocol.h"
#include "twain/TwainRecords.h"

namespace dscommon {

class ApplicationLink {
public:
  // A session starts: the source's own identity (with the Id the source manager gave it) and the
  // application's. A callback of an earlier session is forgotten.
  void Open(const TW_IDENTITY &self, const TW_IDENTITY *app);
  TW_IDENTITY &Self() { return self_; }
  const TW_IDENTITY &App() const { return app_; }

  // The source manager's entry handed over with DAT_ENTRYPOINT; without one, the entry of the
  // TWAIN_32.DLL loaded in the process (ordinal 1).
  void SetEntry(DSMENTRYPROC entry) { entry_ = entry; }
  // A 2.x manager: DAT_EVENT is the manager's, and the source claims no message there.
  bool ManagerNotifies() const { return entry_ != nullptr; }
  void SetCallback(const TW_CALLBACK &callback);
  bool HasCallback() const { return callback_ != nullptr; }

  // The application's return code; TWRC_FAILURE when there is nobody to tell. `route` names the
  // way taken ("callback", "dsm" or "missing"), for a source's log.
  TW_UINT16 Send(TW_UINT16 msg, const char **route = nullptr);

private:
  DSMENTRYPROC ManagerEntry() const;

  TW_IDENTITY self_{};
  TW_IDENTITY app_{};
  DSMENTRYPROC entry_ = nullptr;
  DSMENTRYPROC callback_ = nullptr;
  TW_UINT32 refCon_ = 0;
};

} // namespace dscommon
