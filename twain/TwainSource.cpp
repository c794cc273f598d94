// TTwainSource lifecycle. The transfer is in TwainTransfer.cpp,
// capability reads in TwainCapabilities.cpp.
#include "twain/TwainSource.h"

#include "twain/KestraTwain.h"

#include <cstring>

TTwainSource::TTwainSource(TKestraTwain *owner) : TTwainIdentity(owner) {}

TTwainSource::~TTwainSource() {
  try {
    Close();
  } catch (...) {
    // An event handler (OnSourceDisable) failed while the manager tore its sources down.
  }
}

TW_UINT16 TTwainSource::Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  TKestraTwain *manager = Owner();
  return manager->DSMEntryProc()(manager->AppIdentity(), Record(), dg, dat, msg, data);
}

bool TTwainSource::Open() {
  if (loaded_)
    return true;
  TKestraTwain *manager = Owner();
  if (manager->DSMEntryProc()(manager->AppIdentity(), nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS,
                              Record()) != TWRC_SUCCESS)
    return false;
  ++manager->LoadedSourceCount;
  loaded_ = true;
  pageSideRefused_ = false;
  return true;
}

bool TTwainSource::Close() {
  if (!loaded_)
    return true;
  TKestraTwain *manager = Owner();
  bool result = false;
  try {
    Disable();
  } catch (...) {
    // The handler of OnSourceDisable failed: close all the same, then pass the failure on.
    loaded_ = false;
    if (manager->DSMEntryProc()(manager->AppIdentity(), nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS,
                                Record()) == TWRC_SUCCESS)
      --manager->LoadedSourceCount;
    throw;
  }
  if (manager->DSMEntryProc()(manager->AppIdentity(), nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS,
                              Record()) == TWRC_SUCCESS) {
    --manager->LoadedSourceCount;
    result = true;
  }
  loaded_ = false;
  return result;
}

bool TTwainSource::Enable(bool showUI, bool modalUI) {
  if (!loaded_ || enabled_)
    return enabled_;
  TW_USERINTERFACE ui;
  ui.ShowUI = showUI ? TWAIN_TRUE : TWAIN_FALSE;
  ui.ModalUI = modalUI ? TWAIN_TRUE : TWAIN_FALSE;
  ui.hParent = Owner()->VirtualWindow();
  // Enabled before the request: notifications sent while it runs are offered to this source.
  enabled_ = true;
  TW_UINT16 rc = Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  // A batch that ran and ended while the request was in progress may have cleared the flag.
  enabled_ = rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS;
  return enabled_;
}

bool TTwainSource::Disable() {
  if (!loaded_ || !enabled_) {
    enabled_ = false;
    return true;
  }
  TW_USERINTERFACE ui;
  std::memset(&ui, 0, sizeof ui);
  if (Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui) != TWRC_SUCCESS)
    return false;
  // The handler still sees Enabled true; the flag is cleared even if the handler fails.
  struct ClearOnExit {
    bool &flag;
    ~ClearOnExit() { flag = false; }
  } clear{enabled_};
  TKestraTwain *manager = Owner();
  if (manager->OnSourceDisable)
    manager->OnSourceDisable(manager, Index);
  return true;
}

void TTwainSource::SetEnabled(bool value) {
  if (!loaded_ || value == enabled_)
    return;
  if (value)
    Enable(ShowUI, ModalUI);
  else
    Disable();
}

bool TTwainSource::ProcessEvent(MSG &msg) {
  TW_EVENT event;
  event.pEvent = &msg;
  event.TWMessage = MSG_NULL;
  if (Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) != TWRC_DSEVENT)
    return false;
  TKestraTwain *manager = Owner();
  switch (event.TWMessage) {
  case MSG_XFERREADY:
    TransferPending();
    break;
  case MSG_CLOSEDSREQ:
    try {
      if (manager->OnAcquireCancel)
        manager->OnAcquireCancel(manager, Index);
    } catch (...) {
      Disable(); // the source asked to be closed: do not leave it enabled
      throw;
    }
    Disable();
    break;
  default: // MSG_CLOSEDSOK, MSG_DEVICEEVENT, MSG_NULL and anything else: nothing
    break;
  }
  return true;
}

uint16_t TTwainSource::ReadConditionCode() {
  if (!loaded_)
    return 0;
  TW_STATUS status;
  std::memset(&status, 0, sizeof status); // a failed DAT_STATUS then reads as TWCC_SUCCESS
  Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
  return status.ConditionCode;
}
