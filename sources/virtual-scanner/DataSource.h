// The virtual scanner as a TWAIN data source on the shared protocol core: its device (the
// scenario's feeder and pages), its settings window and its handler of every triplet the core
// routes to it.
#pragma once

#include "sources/common/Notifier.h"
#include "sources/common/SourceCore.h"
#include "sources/common/SourceWindow.h"
#include "sources/common/TripletResult.h"
#include "sources/virtual-scanner/Capabilities.h"
#include "sources/virtual-scanner/Feeder.h"
#include "sources/virtual-scanner/PageImage.h"
#include "sources/virtual-scanner/Scenario.h"
#include "sources/virtual-scanner/TripletLog.h"
#include "twain/TwainRecords.h"

#include <string>
#include <vector>

namespace vscan {

class DataSource : private dscommon::SourceCore<DataSource> {
public:
  TW_UINT16 Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  using SourceCore::RecordFailure;

private:
  friend class dscommon::SourceCore<DataSource>;
  static constexpr bool kAnswersExtImageInfo = true;
  using Result = dscommon::TripletResult;
  enum class Pending { None, Scan, CloseRequest, CloseOk };

  void LoadScenario();
  bool ApplyFault(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, Result &result);

  Result Identity(pTW_IDENTITY origin, TW_UINT16 msg, TW_IDENTITY *identity);
  Result OpenSource(pTW_IDENTITY origin, TW_IDENTITY *identity);
  Result CloseSource();
  Result UserInterface(TW_UINT16 msg, TW_USERINTERFACE *ui);
  Result ProcessEvent(TW_EVENT *event);
  Result Capability(TW_UINT16 msg, TW_CAPABILITY *cap);
  Result PendingXfers(TW_UINT16 msg, TW_PENDINGXFERS *pending);
  Result SetupMemXfer(TW_SETUPMEMXFER *setup);
  Result SetupFileXfer(TW_UINT16 msg, TW_SETUPFILEXFER *setup);
  Result ImageInfo(TW_IMAGEINFO *info);
  Result ImageLayout(TW_UINT16 msg, dscommon::TW_IMAGELAYOUT *layout);
  Result Palette(TW_PALETTE8 *palette);
  Result MemoryTransfer(TW_IMAGEMEMXFER *xfer);
  Result NativeTransfer(TW_MEMREF data);
  Result FileTransfer();
  Result ExtImageInfo(TW_MEMREF data);
  Result StartPage(TW_UINT16 mechanism);

  // Driver behaviours that give the application's messages a turn inside a triplet; what the
  // nested triplets note is kept apart from the outer triplet's notes.
  void RunModalLoop();
  void PumpMessages();
  // MSG_ENDXFER with the feeder empty, as a feeder in continuous mode waits for paper.
  void WaitForPaper();
  // The scenario's double feed or jam, as the page now starting meets it: its condition, or 0.
  TW_UINT16 PaperFaultNow();

  void FillIdentity(TW_IDENTITY &identity, size_t device) const;
  void RequestNotification(Pending what);
  void AfterBatch();
  void OnPosted(WPARAM token);
  TW_UINT16 TakePendingMessage();
  void SendToApplication(TW_UINT16 msg);
  void EndPageData();
  // The bytes a memory transfer sends for the current page: drawn now, or a drawn side again.
  const std::vector<uint8_t> &PageBytes();
  std::string FileNameForPage() const;
  std::string DialogText();

  Scenario scenario_;
  bool scenarioLoaded_ = false;
  TripletLog log_;
  std::string notes_;
  std::vector<bool> faultFired_;
  std::string scenarioText_; // the text faultFired_ belongs to

  size_t enumeration_ = 0;
  size_t device_ = 0;

  Feeder feeder_;
  CapabilityState capState_;
  dscommon::Notifier notifier_;
  dscommon::SourceWindow dialog_;
  bool showingUi_ = false;
  Pending pending_ = Pending::None;
  WPARAM token_ = 0;
  int pagesDone_ = 0; // pages of the batch ended, for CAP_XFERCOUNT

  PageFormat format_;
  bool pageStarted_ = false;
  bool pageDone_ = false;
  bool paperFaultDone_ = false; // the scenario's paper fault happens once an opening
  bool paperFaultNext_ = false; // its side's image went out: the next page reports it
  std::vector<uint8_t> pageRows_;
  std::vector<std::vector<uint8_t>> drawnSides_;  // the batch's first sides (drawn_sides)
  const std::vector<uint8_t> *sending_ = nullptr; // the bytes of the page in transfer
  size_t pageOffset_ = 0;
  std::string fileName_;
  std::string defaultFileName_;
};

} // namespace vscan
