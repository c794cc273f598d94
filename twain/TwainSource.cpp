// TTwainSource lifecycle. The transfer is in TwainTransfer.cpp,
// capability reads in TwainCapabilities.cpp.
#include "twain/TwainSource.h"

#include "twain/KestraTwain.h"
#include "twain/PageSide.h"
#include "twain/TwainBatch.h"

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
  blankPagesAsked_ = false;
  return true;
}

TTwainBatch *TTwainSource::RunningBatch() const {
  TTwainBatch *batch = Owner()->Batch();
  return batch && &batch->Source() == this ? batch : nullptr;
}

bool TTwainSource::Close() {
  if (!loaded_)
    return true;
  if (TTwainBatch *batch = RunningBatch()) {
    closeDeferred_ = true;
    batch->RequestEnd();
    return false;
  }
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

TW_UINT16 TTwainSource::SetOneValue(TW_UINT16 capability, TW_UINT16 itemType, TW_UINT32 item) {
  win::UniqueGlobal container(::GlobalAlloc(GHND, sizeof(TW_ONEVALUE)));
  {
    win::GlobalLockGuard lock(container.get());
    if (!lock || lock.size() < sizeof(TW_ONEVALUE))
      return TWRC_FAILURE;
    TW_ONEVALUE value;
    std::memset(&value, 0, sizeof value);
    value.ItemType = itemType;
    value.Item = item;
    std::memcpy(lock.data(), &value, sizeof value);
  }
  TW_CAPABILITY cap;
  cap.Cap = capability;
  cap.ConType = TWON_ONEVALUE;
  cap.hContainer = container.get();
  return Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
}

// A source that follows the standard transfers natively until told otherwise and refuses the
// other mechanisms, so the one TransferMode names is asked for before every enable. A refusal is
// left to the transfer, which reports it.
void TTwainSource::SetTransferMechanism() {
  static constexpr TW_UINT16 kMechanism[] = {TWSX_FILE, TWSX_NATIVE, TWSX_MEMORY}; // by TTwainTransferMode
  if (TransferMode > ttmMemory)
    return;
  SetOneValue(ICAP_XFERMECH, TWTY_UINT16, kMechanism[TransferMode]);
}

// A source that follows the standard answers TWEI_PAGESIDE only once ICAP_EXTIMAGEINFO is TRUE.
// One that does not offer the capability may answer all the same, so it is still asked.
void TTwainSource::AskForPageSides() {
  pageSideRefused_ = false;
  if (!AskPageSide)
    return;
  bool on = false;
  if (ReadCurrentBool(ICAP_EXTIMAGEINFO, on) != tcrOk || on)
    return;
  pageSideRefused_ = SetOneValue(ICAP_EXTIMAGEINFO, TWTY_BOOL, 1) != TWRC_SUCCESS;
}

void TTwainSource::KeepBlankPagesOnce() {
  if (!KeepBlankPages || blankPagesAsked_)
    return;
  blankPagesAsked_ = true;
  constexpr TW_INT32 kDisable = -2; // TWBP_DISABLE
  TW_UINT16 itemType = 0;
  std::string current;
  if (ReadCurrentText(ICAP_AUTODISCARDBLANKPAGES, itemType, current, tcqGetCurrent) != tcrOk &&
      ReadCurrentText(ICAP_AUTODISCARDBLANKPAGES, itemType, current, tcqGet) != tcrOk)
    return; // not offered: the source keeps what it scans, or cannot be asked not to drop it
  if (current != std::to_string(kDisable))
    SetOneValue(ICAP_AUTODISCARDBLANKPAGES, TWTY_INT32, static_cast<TW_UINT32>(kDisable));
}

bool TTwainSource::Enable(bool showUI, bool modalUI) {
  if (!loaded_)
    return enabled_;
  if (enabled_) {
    // A batch, or the driver's own dialog, is left alone; a stranded source is brought back first.
    if (!stranded_ || RunningBatch())
      return !stranded_;
    if (!StepBack())
      return false;
  }
  SetTransferMechanism();
  AskForPageSides();
  KeepBlankPagesOnce();
  TW_USERINTERFACE ui;
  ui.ShowUI = showUI ? TWAIN_TRUE : TWAIN_FALSE;
  ui.ModalUI = modalUI ? TWAIN_TRUE : TWAIN_FALSE;
  ui.hParent = Owner()->VirtualWindow();
  // Enabled before the request: notifications sent while it runs are offered to this source.
  enabled_ = true;
  xferState_ = 5;
  const unsigned disablesBefore = disables_;
  TW_UINT16 rc;
  {
    // The manager is busy meanwhile: a driver's own loop may deliver a close to the application.
    struct TEnabling {
      TKestraTwain &manager;
      explicit TEnabling(TKestraTwain &m) : manager(m) { manager.EnableStarted(); }
      ~TEnabling() { manager.EnableEnded(); }
    } enabling(*Owner());
    rc = Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  }
  // A whole batch may have run and ended inside the request: the flags already say where it is.
  if (disables_ != disablesBefore || stranded_)
    return enabled_;
  enabled_ = rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS;
  xferState_ = enabled_ ? 5 : 4;
  if (!enabled_)
    ReportError({rc}); // a refused start is shown like a failed page
  return enabled_;
}

template <typename T> TW_UINT16 TTwainSource::Retry(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, T &record) {
  TW_UINT16 rc = TWRC_FAILURE;
  for (int attempt = 0; attempt < kStepTries && rc != TWRC_SUCCESS; ++attempt) {
    std::memset(&record, 0, sizeof record);
    rc = Call(dg, dat, msg, &record);
  }
  return rc;
}

bool TTwainSource::EndPage() {
  TW_PENDINGXFERS pending;
  const TW_UINT16 rc = Retry(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, pending);
  if (rc != TWRC_SUCCESS) {
    ReportError({rc}); // the batch ends here; StepBack tries again from where the source is
    return false;
  }
  xferState_ = pending.Count != 0 ? 6 : 5;
  return true;
}

bool TTwainSource::StepBack() {
  // Ending the pages one by one after a refused reset is bounded too.
  constexpr int kMaxSteps = 4096;
  for (int step = 0; step < kMaxSteps && enabled_; ++step) {
    TW_PENDINGXFERS pending;
    TW_UINT16 rc;
    if (xferState_ >= 6) {
      rc = xferState_ == 6 ? Retry(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, pending) : TWRC_FAILURE;
      if (rc == TWRC_SUCCESS) {
        xferState_ = 5;
        continue;
      }
      const TW_UINT16 resetRc = rc;
      rc = Retry(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, pending);
      if (rc == TWRC_SUCCESS) {
        xferState_ = pending.Count != 0 ? 6 : 5;
        continue;
      }
      if (xferState_ == 6)
        rc = resetRc;
    } else {
      TW_USERINTERFACE ui;
      rc = Retry(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, ui);
      if (rc == TWRC_SUCCESS) {
        xferState_ = 4;
        stranded_ = false;
        ++disables_;
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
    }
    // The source refuses what leads out of its state: shown, and tried again next time.
    stranded_ = true;
    ReportError({rc});
    return false;
  }
  stranded_ = enabled_;
  return !enabled_;
}

bool TTwainSource::Disable() {
  if (!loaded_ || !enabled_) {
    enabled_ = false;
    return true;
  }
  if (TTwainBatch *batch = RunningBatch()) {
    batch->RequestEnd();
    return false;
  }
  return StepBack();
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
    // A driver that pumps messages during a transfer may say it again: never a nested batch.
    if (!manager->Batch() && !stranded_) {
      xferState_ = 6;
      TransferPending();
    }
    break;
  case MSG_CLOSEDSREQ:
    try {
      if (manager->OnAcquireCancel)
        manager->OnAcquireCancel(manager, Index);
    } catch (...) {
      Disable(); // the source asked to be closed: do not leave it enabled
      throw;
    }
    Disable(); // during a batch: the batch ends in order and disables it
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
