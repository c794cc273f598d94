#include "sources/common/ApplicationLink.h"

namespace dscommon {

void ApplicationLink::Open(const TW_IDENTITY &self, const TW_IDENTITY *app) {
  self_ = self;
  app_ = app ? *app : TW_IDENTITY{};
  callback_ = nullptr;
  refCon_ = 0;
}

void ApplicationLink::SetCallback(const TW_CALLBACK &callback) {
  callback_ = reinterpret_cast<DSMENTRYPROC>(callback.CallBackProc);
  refCon_ = callback.RefCon;
}

DSMENTRYPROC ApplicationLink::ManagerEntry() const {
  if (entry_)
    return entry_;
  HMODULE dsm = ::GetModuleHandleA("twain_32.dll");
  if (!dsm)
    return nullptr;
  return reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void *>(::GetProcAddress(dsm, MAKEINTRESOURCEA(1))));
}

TW_UINT16 ApplicationLink::Send(TW_UINT16 msg, const char **route) {
  if (callback_ && !entry_) {
    if (route)
      *route = "callback";
    // The application's reference constant comes back to it as pData.
    return callback_(&self_, &app_, DG_CONTROL, DAT_NULL, msg,
                     reinterpret_cast<TW_MEMREF>(static_cast<uintptr_t>(refCon_)));
  }
  const DSMENTRYPROC entry = ManagerEntry();
  if (route)
    *route = entry ? "dsm" : "missing";
  return entry ? entry(&self_, &app_, DG_CONTROL, DAT_NULL, msg, nullptr) : TWRC_FAILURE;
}

} // namespace dscommon
