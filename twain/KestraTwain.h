// TKestraTwain: the application's single handle on TWAIN. Loads TWAIN_32.DLL,
// opens the source manager with the hidden window as parent, lists the data sources as
// TTwainSource objects, presents the application identity and holds the events through
// which sources report pages, progress, errors and state changes.
//
// Destroying the manager disables and closes every open source, closes the source manager, frees
// the library and destroys the hidden window, in that order.
#pragma once

#include "twain/PointerList.h"
#include "twain/TwainIdentity.h"
#include "twain/TwainRecords.h"
#include "twain/TwainTypes.h"
#include "win/Owners.h"

#include <windows.h>

#include <memory>

class TTwainSource;
class TTwainBatch;

class TKestraTwain {
public:
  TKestraTwain();
  ~TKestraTwain();
  TKestraTwain(const TKestraTwain &) = delete;
  TKestraTwain &operator=(const TKestraTwain &) = delete;

  // Events, each raised only when assigned.
  TOnSourceNotify OnSourceDisable;
  TOnSourceNotify OnAcquireCancel;
  // Raised in a batch before each page is fetched, the first included, outside any triplet: the
  // application may look at its own input here (a stop, a close) whatever the driver dispatches.
  TOnSourceNotify OnBetweenPages;
  TOnTwainAcquire OnTwainAcquire;
  TOnSourceNotify OnSourceSetupFileXfer;
  TOnSourceFileTransfer OnSourceFileTransfer;
  TOnTwainError OnAcquireError;
  TOnAcquireProgress OnAcquireProgress; // once a row of a page sent as rows
  TOnAcquireProgress OnStripsProgress;  // the same reports, once a strip: far fewer calls

  // Transfer mode given to the sources listed after the first (ttmMemory at creation).
  TTwainTransferMode TransferMode = ttmMemory;

  // Finds TWAIN_32.DLL, loads it and resolves DSM_Entry by ordinal 1; true if loaded afterwards.
  bool LoadTwainLibrary();
  // Closes the connection and frees the library; true if unloaded afterwards.
  bool UnloadTwainLibrary();
  // Opens the connection (MSG_OPENDSM); true if open afterwards.
  bool LoadSourceManager();
  // Frees the sources and closes the connection (MSG_CLOSEDSM); true if closed afterwards.
  bool UnloadSourceManager();

  // Test seam and the way to plug in another source manager: uses `entry` as DSM_Entry with no
  // library module behind it. The library then counts as loaded (an already loaded library is
  // unloaded first); unloading frees no module. Returns false, changing nothing, for a null entry.
  bool AttachEntry(DSMENTRYPROC entry);

  bool LibraryLoaded() const { return libraryLoaded_; }
  void SetLibraryLoaded(bool value);
  bool SourceManagerLoaded() const { return sourceManagerLoaded_; }
  void SetSourceManagerLoaded(bool value);

  // ---- the running batch, and what waits for it ----
  TTwainBatch *Batch() const { return batch_; }
  // A batch runs, or a source's MSG_ENABLEDS is in progress (a driver's own loop may run a whole
  // batch inside it): nothing the layer owns may be freed now. Closing the source manager,
  // unloading the library or listing the sources again is then deferred until the manager is idle.
  bool Busy() const { return batch_ != nullptr || enabling_ > 0; }
  // Asks the running batch, and one that starts before the manager is idle, to end in order.
  // False, asking nothing, when the manager is not busy.
  bool RequestBatchEnd();
  bool EndRequested() const { return endRequested_; }
  // Ends the running batch at once, after the page in hand, and drops what the source still has
  // pending (MSG_RESET) instead of finishing the sheet: for a paper fault, whose sheets the person
  // puts back on the stack to scan again. False, asking nothing, when the manager is not busy.
  bool DropBatch();
  bool DropRequested() const { return dropRequested_; }
  // Raised once, through the hidden window, when the manager is idle again after a deferral or a
  // RequestBatchEnd; the handler is dropped once raised. A window that deferred its own close
  // posts it again from here.
  std::function<void()> OnIdle;
  // Bookkeeping of TTwainBatch and TTwainSource::Enable.
  void BatchStarted(TTwainBatch *batch) { batch_ = batch; }
  void BatchEnded(TTwainBatch *batch);
  void EnableStarted() { ++enabling_; }
  void EnableEnded();
  // Runs what was deferred and raises OnIdle, unless busy again (the hidden window calls it).
  void RunIdle();

  // Refills the source list (false when library or connection is not open).
  bool EnumerateSources();
  // Frees every listed source (each closes itself) and empties the list.
  void ClearSources();
  // Number of listed sources, listing them on first use; 0 when not connected.
  int SourceCount();
  // Accepted and without effect.
  void SetSourceCount(int) {}
  // The listed source at `index`; -1 is the source manager's default source; else nullptr.
  TTwainSource *Source(int index);
  // List index of the source manager's default source (0 when it cannot be asked).
  int DefaultSourceIndex();
  // Index of the listed source whose record equals `identity` byte for byte, -1 if none.
  int FindSource(const TW_IDENTITY &identity);

  // The application identity; SetInfo copies the given identity into it (Assign).
  TTwainIdentity &Info() { return *info_; }
  void SetInfo(const TTwainIdentity &identity) { info_->Assign(identity); }

  // What sources, the hidden window and the capability readers use.
  HWND VirtualWindow() const { return virtualWindow_.get(); }
  TW_IDENTITY *AppIdentity() const { return appIdentity_; }
  DSMENTRYPROC DSMEntryProc() const { return dsmEntryProc_; }
  HMODULE LibraryHandle() const { return library_.get(); }
  bool SourcesEnumerated() const { return sourcesEnumerated_; }
  int LoadedSourceCount = 0; // sources opened and not yet closed (raised by Open, lowered by Close)
  const TPointerList &SourceList() const { return sourceList_; }

private:
  enum class TDeferred { None, SourceManager, Library };
  // True (after asking the batch to end) when the request must wait for the manager to be idle.
  bool Defer(TDeferred what);
  void PostIdle();

  TTwainBatch *batch_ = nullptr;
  int enabling_ = 0;
  bool endRequested_ = false;
  bool dropRequested_ = false;
  TDeferred deferred_ = TDeferred::None;

  TPointerList sourceList_;
  TW_IDENTITY *appIdentity_ = nullptr;
  std::unique_ptr<TTwainIdentity> info_;
  win::UniqueWindow virtualWindow_;
  win::UniqueLibrary library_;
  bool sourcesEnumerated_ = false;
  DSMENTRYPROC dsmEntryProc_ = nullptr;
  bool libraryLoaded_ = false;
  bool sourceManagerLoaded_ = false;
};
