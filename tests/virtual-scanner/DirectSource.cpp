#include "DirectSource.h"

#include <cstring>

namespace vstest {
namespace {

constexpr TW_UINT16 DAT_ENTRYPOINT = 0x0403;

#pragma pack(push, 2)
struct EntryPointRecord {
  TW_UINT32 Size;
  DSMENTRYPROC DSM_Entry;
  void *Allocate, *Free, *Lock, *Unlock;
};
#pragma pack(pop)

TW_UINT16 WINAPI RecordingDsm(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                              TW_MEMREF) {
  if (dg == DG_CONTROL && dat == DAT_NULL)
    DirectSource::Notifications().push_back(msg);
  return TWRC_SUCCESS;
}

} // namespace

std::string DataSourcePath() {
  std::string path = VSCANNER_DS_PATH;
  if (!path.empty() && path[0] == '/')
    path = "Z:" + path;
  for (char &c : path)
    if (c == '/')
      c = '\\';
  return path;
}

std::vector<TW_UINT16> &DirectSource::Notifications() {
  static std::vector<TW_UINT16> list;
  return list;
}

DirectSource::DirectSource() : library_(::LoadLibraryA(DataSourcePath().c_str())) {
  if (library_)
    entry_ =
        reinterpret_cast<DSENTRYPROC>(reinterpret_cast<void *>(::GetProcAddress(library_.get(), "DS_Entry")));
  app_.Id = 1;
  app_.ProtocolMajor = 1;
  app_.ProtocolMinor = 9;
  app_.SupportedGroups = DG_CONTROL | DG_IMAGE;
  std::strcpy(app_.ProductName, "Scanner tests");
}

TW_UINT16 DirectSource::Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void *data) {
  return entry_ ? entry_(&app_, dg, dat, msg, data) : TWRC_FAILURE;
}

Reply DirectSource::Ask(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void *data) {
  Reply r;
  r.rc = Call(dg, dat, msg, data);
  if (r.rc == TWRC_FAILURE) {
    TW_STATUS status{};
    Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    r.cc = status.ConditionCode;
  }
  return r;
}

std::string DirectSource::NextIdentity() {
  TW_IDENTITY id{};
  if (Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &id) != TWRC_SUCCESS)
    return "<failed>";
  return std::string(id.ProductName, strnlen(id.ProductName, sizeof id.ProductName));
}

bool DirectSource::Open(const std::string &productName) {
  identity_ = TW_IDENTITY{};
  identity_.Id = 7;
  std::strncpy(identity_.ProductName, productName.c_str(), sizeof identity_.ProductName - 1);
  if (Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity_) != TWRC_SUCCESS)
    return false;
  EntryPointRecord entry{sizeof(EntryPointRecord), &RecordingDsm, nullptr, nullptr, nullptr, nullptr};
  Notifications().clear();
  return Call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &entry) == TWRC_SUCCESS;
}

bool DirectSource::Enable(bool showUI) {
  TW_USERINTERFACE ui{};
  ui.ShowUI = showUI ? TWAIN_TRUE : TWAIN_FALSE;
  return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui) == TWRC_SUCCESS;
}

TW_UINT16 DirectSource::SetMechanism(TW_UINT16 mechanism) {
  win::UniqueGlobal container(::GlobalAlloc(GHND, sizeof(TW_ONEVALUE)));
  {
    win::GlobalLockGuard lock(container.get());
    if (!lock)
      return TWRC_FAILURE;
    TW_ONEVALUE value{};
    value.ItemType = TWTY_UINT16;
    value.Item = mechanism;
    std::memcpy(lock.data(), &value, sizeof value);
  }
  TW_CAPABILITY cap{ICAP_XFERMECH, TWON_ONEVALUE, container.get()};
  return Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
}

void DirectSource::Shutdown() {
  TW_PENDINGXFERS pending{};
  Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
  Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
  TW_USERINTERFACE ui{};
  Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &identity_);
}

TW_UINT16 DirectSource::WaitForNotification(DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  while (Notifications().empty() && ::GetTickCount() - start < timeoutMs) {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }
    if (Notifications().empty())
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  if (Notifications().empty())
    return MSG_NULL;
  const TW_UINT16 msg = Notifications().front();
  Notifications().erase(Notifications().begin());
  return msg;
}

} // namespace vstest
