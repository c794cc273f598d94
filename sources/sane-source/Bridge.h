// The data source over SANE, on the shared protocol core: each SANE device listed as a TWAIN
// source, its window, and its handler of every triplet the core routes to it.
//
// A batch: MSG_ENABLEDS reads the first page on a worker thread; when it is in, MSG_XFERREADY goes
// to the application from its own message loop. Each page is one SANE image (every frame of it).
// With the feeder in use, MSG_ENDXFER starts reading the next sheet on the worker and returns as
// soon as its sane_start has answered (whether a sheet came; the application's messages are
// dispatched meanwhile), not waiting for the sheet's image: the next page's first triplet waits
// for that. SANE_STATUS_NO_DOCS ends the batch; any other failure is answered at that page with
// its condition code. MSG_RESET, MSG_DISABLEDS and closing cancel a sheet still being read, also
// while a triplet waits for it: the device's owner thread (DeviceOwner) makes the cancel as soon as
// the device lets it, and the application's call does not wait for that.
#pragma once

#include "sources/common/Notifier.h"
#include "sources/common/SourceCore.h"
#include "sources/common/SourceWindow.h"
#include "sources/common/TripletResult.h"
#include "sources/sane-source/Config.h"
#include "sources/sane-source/DeviceOwner.h"
#include "sources/sane-source/OptionCaps.h"
#include "sources/sane-source/SaneDevice.h"
#include "sources/sane-source/StatusMap.h"
#include "twain/TwainRecords.h"

#include <memory>
#include <string>
#include <vector>

namespace sanesrc {

// What the source's window shows of the device: its source, mode, resolution and scan area.
std::string SettingsText(const Options &options);

class Bridge : private dscommon::SourceCore<Bridge> {
public:
  TW_UINT16 Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  using SourceCore::RecordFailure;

private:
  friend class dscommon::SourceCore<Bridge>;
  static constexpr bool kAnswersExtImageInfo = false;
  using Result = dscommon::TripletResult;
  enum class Pending { None, XferReady, CloseRequest, CloseOk };

  Result Identity(pTW_IDENTITY origin, TW_UINT16 msg, TW_IDENTITY *identity);
  Result OpenSource(pTW_IDENTITY origin, TW_IDENTITY *identity);
  Result CloseSource();
  Result UserInterface(TW_UINT16 msg, TW_USERINTERFACE *ui);
  Result ProcessEvent(TW_EVENT *event);
  Result Capability(TW_UINT16 msg, TW_CAPABILITY *cap);
  void AddCapabilities();
  dscommon::SetOutcome SetOptions(TW_UINT16 cap, const dscommon::CapRequest &request);
  dscommon::SetOutcome WriteChanges(const std::vector<OptionChange> &changes);
  Result PendingXfers(TW_UINT16 msg, TW_PENDINGXFERS *pending);
  // What MSG_GET of DAT_PENDINGXFERS answers now.
  TW_UINT16 PendingCount() const;
  Result SetupMemXfer(TW_SETUPMEMXFER *setup);
  Result SetupFileXfer(TW_UINT16 msg, TW_SETUPFILEXFER *setup);
  Result ImageInfo(TW_IMAGEINFO *info);
  Result ImageLayout(TW_UINT16 msg, dscommon::TW_IMAGELAYOUT *layout);
  Result Palette(TW_PALETTE8 *palette);
  Result MemoryTransfer(TW_IMAGEMEMXFER *xfer);
  Result NativeTransfer(TW_MEMREF data);
  Result FileTransfer();

  void LoadDevices(bool fresh);
  void FillIdentity(TW_IDENTITY &identity, size_t device) const;
  void ReadOptions();
  void StartBatch();
  // Reads the next sheet on the worker; the first of a batch is announced with MSG_XFERREADY.
  void StartPage(bool first);
  // Waits for the sheet being read while the application's messages are dispatched.
  void WaitForSheet(bool untilStarted = false);
  // The page being transferred (waits for the worker); null with `failure` set when it failed.
  PageRows *Page(Result &failure);
  // The page for a native or file transfer and its bitmap's layout; null with the triplet's answer.
  PageRows *DibPage(DibLayout &layout, Result &answer);
  // How a triplet answers a page that could not be read: a transfer, or the page's description.
  Result TransferFailure(const Result &failure);
  Result DescriptionFailure(const Result &failure);
  void EndBatch();
  // A cancel, disable or close the application asked for while a triplet waited for the device:
  // recorded and answered at once; the waiting triplet then ends, and after it the rest is done.
  Result AskDuringWait(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  void FinishAskedEnd();
  void Disable();
  // The batch is over (state 5): with the window shown the source waits for the person.
  void AfterBatch();
  void Notify(Pending what);
  void OnPosted(WPARAM token);
  TW_UINT16 TakePendingMessage();

  BridgeConfig config_;
  std::vector<DeviceEntry> devices_;
  std::vector<std::string> names_;
  size_t enumeration_ = 0;

  std::unique_ptr<DeviceOwner> device_;
  Options options_;
  Options defaults_;
  SessionCaps session_;
  bool indicators_ = true;
  bool undefinedImageSize_ = false;
  std::string fileName_;
  std::string defaultFileName_;
  dscommon::SourceWindow window_;
  bool showingUi_ = false;
  dscommon::Notifier notifier_;
  bool hasWindow_ = false;
  WPARAM token_ = 0;
  Pending pending_ = Pending::None;

  // The batch: the page being read or transferred, and how the batch goes on.
  std::shared_ptr<PageJob> scan_;
  bool feederBatch_ = false;
  bool duplexBatch_ = false; // pages alternate front and back
  bool stopFeeder_ = false;
  int pagesDone_ = 0;
  size_t offset_ = 0;       // bytes of the page handed over by memory transfers
  bool pageFailed_ = false; // the page's transfer failed: the batch ends with it
  bool closeAfterBatch_ = false;
  bool waiting_ = false;       // in WaitForSheet: calls from the dispatched messages may only look or end
  bool awaitingStart_ = false; // the wait is for the next sheet's start, not its image
  bool cancelAsked_ = false;   // the batch ends at once
  bool disableAsked_ = false;  // then the source is disabled (state 4)
  bool closeAsked_ = false;    // or closed (state 3)
};

} // namespace sanesrc
