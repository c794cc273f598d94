#include "tests/sane-source/TwainClient.h"

#include <cstring>

namespace sanetest {
namespace {

constexpr DWORD kBatchWaitMs = 20000;

#pragma pack(push, 2)
struct CallbackRecord {
  TW_MEMREF CallBackProc;
  TW_UINT32 RefCon;
  TW_INT16 Message;
};
#pragma pack(pop)

constexpr TW_UINT32 kRefCon = 0x5EC0;

TW_UINT16 WINAPI Callback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                          TW_MEMREF data) {
  // The reference constant comes back as pData.
  if (dg == DG_CONTROL && dat == DAT_NULL && reinterpret_cast<uintptr_t>(data) == kRefCon)
    TwainClient::CallbackMessages().push_back(msg);
  return TWRC_SUCCESS;
}

} // namespace

std::vector<TW_UINT16> &TwainClient::CallbackMessages() {
  static std::vector<TW_UINT16> messages;
  return messages;
}

TW_UINT16 TwainClient::RegisterCallback(TW_UINT16 dat) {
  CallbackMessages().clear();
  CallbackRecord record{reinterpret_cast<TW_MEMREF>(&Callback), kRefCon, 0};
  return Call(DG_CONTROL, dat, 0x0902 /* MSG_REGISTER_CALLBACK */, &record);
}

namespace {
std::string ManagerName() {
  char name[MAX_PATH] = {};
  const DWORD n = ::GetEnvironmentVariableA("TOVIK_TWAIN_MANAGER", name, MAX_PATH);
  return n > 0 && n < MAX_PATH ? name : "";
}
} // namespace

bool TwainClient::Version2Manager() { return !ManagerName().empty(); }

TW_UINT16 TwainClient::Enable(bool showUI, TW_UINT16 msg) {
  TW_USERINTERFACE ui{showUI ? TWAIN_TRUE : TWAIN_FALSE, TWAIN_FALSE, parent_};
  return Call(DG_CONTROL, DAT_USERINTERFACE, msg, &ui);
}

TW_UINT16 TwainClient::WaitForMessage(DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < timeoutMs) {
    if (!CallbackMessages().empty()) {
      const TW_UINT16 msg = CallbackMessages().front();
      CallbackMessages().erase(CallbackMessages().begin());
      return msg;
    }
    MSG message;
    if (!::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      continue;
    }
    TW_EVENT event{&message, MSG_NULL};
    if (Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT) {
      if (event.TWMessage != MSG_NULL)
        return event.TWMessage;
      continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  return MSG_NULL;
}

TwainClient::TwainClient() {
  library_.reset(::LoadLibraryA(Version2Manager() ? ManagerName().c_str() : "twain_32.dll"));
  if (!library_)
    return;
  entry_ = reinterpret_cast<DSMENTRYPROC>(
      reinterpret_cast<void *>(::GetProcAddress(library_.get(), MAKEINTRESOURCEA(1))));
  window_.reset(
      ::CreateWindowExA(0, "STATIC", "bridge test", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
  parent_ = window_.get();
  app_.Version.MajorNum = 1;
  app_.Version.Language = TWLG_USA;
  app_.Version.Country = TWCY_USA;
  std::strcpy(app_.Version.Info, "1.0");
  app_.ProtocolMajor = TWON_PROTOCOLMAJOR;
  app_.ProtocolMinor = TWON_PROTOCOLMINOR;
  app_.SupportedGroups = DG_CONTROL | DG_IMAGE | (Version2Manager() ? 0x20000000 /* DF_APP2 */ : 0);
  std::strcpy(app_.Manufacturer, "Tovik");
  std::strcpy(app_.ProductFamily, "Tests");
  std::strcpy(app_.ProductName, "Bridge test");
  if (entry_)
    opened_ = entry_(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent_) == TWRC_SUCCESS;
}

TwainClient::~TwainClient() {
  CloseSource();
  if (opened_)
    entry_(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent_);
}

std::vector<std::string> TwainClient::SourceNames() {
  std::vector<std::string> names;
  TW_IDENTITY id{};
  for (TW_UINT16 msg = MSG_GETFIRST;
       Ready() && entry_(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, msg, &id) == TWRC_SUCCESS;
       msg = MSG_GETNEXT)
    names.emplace_back(id.ProductName, strnlen(id.ProductName, sizeof id.ProductName));
  return names;
}

TW_UINT16 TwainClient::OpenSource(const std::string &name) {
  TW_IDENTITY id{};
  for (TW_UINT16 msg = MSG_GETFIRST;
       Ready() && entry_(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, msg, &id) == TWRC_SUCCESS;
       msg = MSG_GETNEXT)
    if (name == id.ProductName) {
      source_ = id;
      const TW_UINT16 rc = entry_(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_);
      sourceOpen_ = rc == TWRC_SUCCESS;
      return rc;
    }
  return TWRC_FAILURE;
}

TW_UINT16 TwainClient::CloseSource() {
  if (!sourceOpen_)
    return TWRC_SUCCESS;
  sourceOpen_ = false;
  return entry_(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_);
}

TW_UINT16 TwainClient::Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  return entry_(&app_, &source_, dg, dat, msg, data);
}

TW_UINT16 TwainClient::ConditionCode() {
  TW_STATUS status{};
  Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
  return status.ConditionCode;
}

TW_UINT16 TwainClient::ManagerConditionCode() {
  TW_STATUS status{};
  entry_(&app_, nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
  return status.ConditionCode;
}

TW_UINT16 TwainClient::SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value) {
  win::UniqueGlobal block(::GlobalAlloc(GHND, sizeof(TW_ONEVALUE)));
  {
    win::GlobalLockGuard lock(block.get());
    auto *one = static_cast<TW_ONEVALUE *>(lock.data());
    one->ItemType = itemType;
    one->Item = value;
  }
  TW_CAPABILITY c{cap, TWON_ONEVALUE, block.get()};
  return Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c);
}

TW_UINT16 TwainClient::GetCap(TW_UINT16 cap, TW_UINT16 msg, TW_UINT16 &conType,
                              std::vector<uint8_t> &container) {
  TW_CAPABILITY c{cap, TWON_DONTCARE16, nullptr};
  const TW_UINT16 rc = Call(DG_CONTROL, DAT_CAPABILITY, msg, &c);
  win::UniqueGlobal block(c.hContainer);
  conType = c.ConType;
  container.clear();
  if (rc == TWRC_SUCCESS && block) {
    win::GlobalLockGuard lock(block.get());
    const auto *p = static_cast<const uint8_t *>(lock.data());
    container.assign(p, p + lock.size());
  }
  return rc;
}

Batch TwainClient::Scan(bool native) {
  Batch batch;
  TW_USERINTERFACE ui{TWAIN_FALSE, TWAIN_FALSE, parent_};
  if (Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui) != TWRC_SUCCESS)
    return batch;
  // Every message is offered to the source first, as a TWAIN application's loop does.
  const DWORD start = ::GetTickCount();
  while (!batch.xferReady && !batch.closeRequested && ::GetTickCount() - start < kBatchWaitMs) {
    MSG message;
    if (!::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      continue;
    }
    TW_EVENT event{&message, MSG_NULL};
    if (Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT) {
      batch.xferReady = event.TWMessage == MSG_XFERREADY;
      batch.closeRequested = event.TWMessage == MSG_CLOSEDSREQ;
      continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  if (batch.xferReady)
    TransferAll(batch, native);
  Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  return batch;
}

void TwainClient::TransferAll(Batch &batch, bool native) {
  TW_PENDINGXFERS pending{};
  do {
    ClientPage page;
    TW_UINT16 rc = TWRC_SUCCESS;
    if (TransferOne(page, native, rc))
      batch.pages.push_back(std::move(page));
    else if (rc == TWRC_CANCEL)
      ++batch.cancels;
    else
      batch.failures.push_back(ConditionCode());
    pending = TW_PENDINGXFERS{};
    if (Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) != TWRC_SUCCESS)
      break;
  } while (pending.Count != 0 && batch.pages.size() + batch.failures.size() < 100);
}

bool TwainClient::TransferOne(ClientPage &page, bool native, TW_UINT16 &rc) {
  rc = Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &page.info);
  if (rc != TWRC_SUCCESS)
    return false;
  if (native) {
    HGLOBAL dib = nullptr;
    if (Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib) != TWRC_XFERDONE)
      return false;
    win::UniqueGlobal owned(dib);
    win::GlobalLockGuard lock(owned.get());
    const auto *p = static_cast<const uint8_t *>(lock.data());
    page.rows.assign(p, p + lock.size());
    return true;
  }
  TW_SETUPMEMXFER setup{};
  if (Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS)
    return false;
  // A small buffer, so that a page takes several transfers.
  std::vector<uint8_t> buffer(setup.MinBufSize * 7);
  for (;;) {
    TW_IMAGEMEMXFER xfer{};
    xfer.Memory =
        TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
    const TW_UINT16 rc = Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
    if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE)
      return false;
    if (xfer.BytesWritten > buffer.size() ||
        xfer.YOffset * static_cast<size_t>(xfer.BytesPerRow) != page.rows.size())
      return false; // rows out of order or beyond the buffer
    page.bytesPerRow = xfer.BytesPerRow;
    page.rows.insert(page.rows.end(), buffer.begin(), buffer.begin() + xfer.BytesWritten);
    if (rc == TWRC_XFERDONE)
      return true;
  }
}

} // namespace sanetest
