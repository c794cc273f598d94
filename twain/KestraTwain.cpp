#include "twain/KestraTwain.h"

#include "twain/KestraTwainUtils.h"
#include "twain/TwainSource.h"
#include "twain/VirtualWindow.h"

#include <cstring>
#include <utility>

TKestraTwain::TKestraTwain() {
  virtualWindow_.reset(CreateVirtualWindow(this));
  info_ = std::make_unique<TTwainIdentity>(this);
  appIdentity_ = info_->Record();
  RegisterTwainManager(this, true);
}

TKestraTwain::~TKestraTwain() {
  RegisterTwainManager(this, false);
  deferred_ = TDeferred::None;
  SetLibraryLoaded(false);
  virtualWindow_.reset();
  info_.reset();
  ClearSources();
}

bool TKestraTwain::LoadTwainLibrary() {
  if (libraryLoaded_)
    return true;
  std::string directory = FindTwainDirectory();
  if (directory.empty())
    return false;
  library_.reset(::LoadLibraryA((directory + "TWAIN_32.DLL").c_str()));
  if (!library_)
    return false;
  dsmEntryProc_ = reinterpret_cast<DSMENTRYPROC>(
      reinterpret_cast<void *>(::GetProcAddress(library_.get(), MAKEINTRESOURCEA(1))));
  if (!dsmEntryProc_) {
    library_.reset();
    return false;
  }
  libraryLoaded_ = true;
  return true;
}

bool TKestraTwain::AttachEntry(DSMENTRYPROC entry) {
  if (!entry)
    return false;
  if (libraryLoaded_ && !UnloadTwainLibrary())
    return false;
  library_.reset();
  dsmEntryProc_ = entry;
  libraryLoaded_ = true;
  return true;
}

bool TKestraTwain::RequestBatchEnd() {
  if (!Busy())
    return false;
  endRequested_ = true;
  return true;
}

bool TKestraTwain::DropBatch() {
  if (!RequestBatchEnd())
    return false;
  dropRequested_ = true;
  return true;
}

bool TKestraTwain::Defer(TDeferred what) {
  if (!Busy())
    return false;
  if (deferred_ != TDeferred::Library)
    deferred_ = what;
  RequestBatchEnd();
  return true;
}

void TKestraTwain::PostIdle() {
  if (!Busy() && (endRequested_ || deferred_ != TDeferred::None || OnIdle))
    ::PostMessageA(virtualWindow_.get(), kTwainIdleMessage, 0, 0);
}

void TKestraTwain::BatchEnded(TTwainBatch *batch) {
  if (batch_ == batch)
    batch_ = nullptr;
  PostIdle();
}

void TKestraTwain::EnableEnded() {
  if (enabling_ > 0)
    --enabling_;
  PostIdle();
}

void TKestraTwain::RunIdle() {
  if (Busy())
    return;
  endRequested_ = dropRequested_ = false;
  const TDeferred deferred = std::exchange(deferred_, TDeferred::None);
  if (deferred == TDeferred::Library)
    UnloadTwainLibrary();
  else if (deferred == TDeferred::SourceManager)
    UnloadSourceManager();
  if (std::function<void()> idle = std::exchange(OnIdle, nullptr))
    idle();
}

bool TKestraTwain::UnloadTwainLibrary() {
  if (!libraryLoaded_) {
    libraryLoaded_ = false;
    return true;
  }
  if (Defer(TDeferred::Library))
    return false;
  SetSourceManagerLoaded(false);
  // An attached entry (AttachEntry) has no module to free.
  // Freed here rather than by the owner: a failed FreeLibrary keeps the library counted as loaded.
  if (library_ && !::FreeLibrary(library_.get()))
    return false;
  library_.release();
  libraryLoaded_ = false;
  return true;
}

bool TKestraTwain::LoadSourceManager() {
  if (!libraryLoaded_ || sourceManagerLoaded_)
    return sourceManagerLoaded_;
  HWND parent = virtualWindow_.get();
  if (dsmEntryProc_(appIdentity_, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent) != TWRC_SUCCESS)
    return false;
  sourceManagerLoaded_ = true;
  return true;
}

bool TKestraTwain::UnloadSourceManager() {
  if (libraryLoaded_ && sourceManagerLoaded_ && Defer(TDeferred::SourceManager))
    return false;
  bool result = true;
  if (libraryLoaded_ && sourceManagerLoaded_) {
    ClearSources();
    HWND parent = virtualWindow_.get();
    result =
        dsmEntryProc_(appIdentity_, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent) == TWRC_SUCCESS;
  }
  if (result)
    sourceManagerLoaded_ = false;
  return result;
}

void TKestraTwain::SetLibraryLoaded(bool value) {
  if (value == libraryLoaded_)
    return;
  if (value)
    LoadTwainLibrary();
  else
    UnloadTwainLibrary();
}

void TKestraTwain::SetSourceManagerLoaded(bool value) {
  if (!libraryLoaded_ || value == sourceManagerLoaded_)
    return;
  if (value)
    LoadSourceManager();
  else
    UnloadSourceManager();
}

bool TKestraTwain::EnumerateSources() {
  // Listing again frees the sources, the running one included.
  if (!libraryLoaded_ || !sourceManagerLoaded_ || Busy())
    return false;
  ClearSources();
  // The first source keeps the TTwainSource defaults (ttmNative, index 0).
  std::unique_ptr<TTwainSource> source = std::make_unique<TTwainSource>(this);
  TW_UINT16 rc =
      dsmEntryProc_(appIdentity_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, source->Record());
  while (rc == TWRC_SUCCESS) {
    sourceList_.Add(source.get());
    source.release();
    source = std::make_unique<TTwainSource>(this);
    source->TransferMode = TransferMode;
    source->Index = sourceList_.Count;
    rc = dsmEntryProc_(appIdentity_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, source->Record());
  }
  sourcesEnumerated_ = true;
  // The last, unfilled source object is freed here (it was never opened, so it sends nothing).
  return true;
}

void TKestraTwain::ClearSources() {
  for (int i = 0; i < sourceList_.Count; ++i) {
    TTwainSource *source = static_cast<TTwainSource *>(sourceList_.GetItem(i));
    sourceList_.SetItem(i, nullptr);
    delete source;
  }
  sourceList_.Clear();
  sourcesEnumerated_ = false;
}

int TKestraTwain::SourceCount() {
  if (!libraryLoaded_ || !sourceManagerLoaded_)
    return 0;
  if (!sourcesEnumerated_)
    EnumerateSources();
  return sourceList_.Count;
}

TTwainSource *TKestraTwain::Source(int index) {
  if (!libraryLoaded_ || !sourceManagerLoaded_)
    return nullptr;
  int count = SourceCount();
  if (index >= 0 && index < count)
    return static_cast<TTwainSource *>(sourceList_.GetItem(index));
  if (index == -1 && count > 0) {
    int defaultIndex = DefaultSourceIndex();
    return defaultIndex == -1 ? nullptr : static_cast<TTwainSource *>(sourceList_.GetItem(defaultIndex));
  }
  return nullptr;
}

int TKestraTwain::DefaultSourceIndex() {
  if (!libraryLoaded_ || !sourceManagerLoaded_)
    return 0;
  TW_IDENTITY identity;
  std::memset(&identity, 0, sizeof identity);
  if (dsmEntryProc_(appIdentity_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &identity) !=
      TWRC_SUCCESS)
    return 0;
  return FindSource(identity);
}

int TKestraTwain::FindSource(const TW_IDENTITY &identity) {
  for (int i = 0; i < sourceList_.Count; ++i) {
    const TTwainSource *source = static_cast<const TTwainSource *>(sourceList_.GetItem(i));
    if (source && std::memcmp(source->Record(), &identity, sizeof identity) == 0)
      return i;
  }
  return -1;
}
