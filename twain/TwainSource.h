// TTwainSource: one TWAIN data source listed by the manager. Carries
// the source's identity and its state (`Loaded`: opened with MSG_OPENDS; `Enabled`: enabled with
// MSG_ENABLEDS), takes part in the routing of the hidden window's messages, runs the transfer of
// the pending images, and reads capabilities.
//
// The manager owns its sources; users hold plain references, which become invalid when the
// manager closes the source manager or lists the sources again.
#pragma once

#include "twain/PageHeader.h"
#include "twain/PageSectionPool.h"
#include "twain/PageSide.h"
#include "twain/TwainCapabilityTypes.h"
#include "twain/TwainIdentity.h"
#include "twain/TwainRecords.h"
#include "twain/TwainTypes.h"
#include "win/Owners.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TKestraTwain;
class TTwainBatch;

class TTwainSource : public TTwainIdentity {
public:
  explicit TTwainSource(TKestraTwain *owner);
  // Close (which disables first). An exception of an event handler raised while the source
  // closes itself here is dropped: a destructor cannot pass it on.
  ~TTwainSource() override;

  // Position in the manager's list, passed as Index with every event this source raises.
  int Index = 0;
  // Transfer mechanism of the page transfer (ttmNative for a new source).
  TTwainTransferMode TransferMode = ttmNative;
  // ShowUI and ModalUI used when `Enabled` is written true.
  bool ShowUI = true;
  bool ModalUI = true;
  // Ask the source after every transfer which side of the sheet the page shows (DAT_EXTIMAGEINFO,
  // TWEI_PAGESIDE). Before every enable ICAP_EXTIMAGEINFO is set TRUE where the source offers it:
  // a source that refuses the set has no page side until its next enable; a refused answer costs
  // only that page its side.
  bool AskPageSide = false;
  // Keep the pages a source would drop as blank: at the first enable after opening,
  // ICAP_AUTODISCARDBLANKPAGES is set TWBP_DISABLE where the source offers it. Only the driver's
  // own dialog changes it afterwards, that is the person; a dropped page would cost every later
  // page of its batch its place, and so its side.
  bool KeepBlankPages = false;

  // ---- lifecycle ----
  // MSG_OPENDS; true when the source is open afterwards.
  bool Open();
  // Disable, then MSG_CLOSEDS; true exactly when MSG_CLOSEDS succeeded (or nothing was open).
  // During the source's own batch the close waits for the batch to end (false meanwhile).
  bool Close();
  // ICAP_XFERMECH set to TransferMode, then MSG_ENABLEDS with the hidden window as parent; true
  // when enabled afterwards (and false when a batch ran and ended inside the request, as a driver
  // with its own modal loop does). A source left stranded by a refused step back is brought back
  // to state 4 first; false when it still refuses.
  bool Enable(bool showUI, bool modalUI);
  // Brings the source back to state 4 (StepBack); true when not enabled afterwards. During the
  // source's own batch it asks the batch to end instead (false: the batch disables it).
  bool Disable();
  bool Enabled() const { return enabled_; }
  // Enabled, but left in state 5 to 7 by a step back the source refused (reported through
  // OnAcquireError); the next Enable or Disable tries again from where it is.
  bool Stranded() const { return stranded_; }
  // Enable with the stored ShowUI/ModalUI, or Disable; nothing when not open or unchanged.
  void SetEnabled(bool value);
  bool Loaded() const { return loaded_; }
  // Offers a window message to the source (MSG_PROCESSEVENT) and acts on its notification;
  // true when the message was the source's (TWRC_DSEVENT). MSG_XFERREADY runs TransferPending.
  bool ProcessEvent(MSG &msg);
  // The source's condition code (DAT_STATUS); 0 without a request when the source is not open.
  uint16_t ReadConditionCode();
  // The source's TW_IDENTITY record.
  TW_IDENTITY *IdentityRecord() { return Record(); }

  // ---- image transfer ----
  // Fetches every pending image by TransferMode inside one TTwainBatch, then steps the source back
  // to state 4; a batch asked to end early first finishes the sheet in transfer (BatchEnd.cpp).
  // Never nested: it does nothing while the manager runs a batch. An exception of an event handler
  // ends the page at once, but the protocol is finished before it is passed on (MSG_ENDXFER,
  // MSG_RESET when pages remain, the disable), so the source is not left in a transfer state.
  void TransferPending();
  // Number of colour-table entries of a packed DIB, from its header (`dib` holds at least 40
  // bytes, or 12 for a core header).
  static uint32_t DibColorCount(const void *dib);
  static TTwainFormat FormatFromTwain(uint16_t twainFormat);

  // ---- capability negotiation (twain/TwainCapabilities.cpp) ----
  TTwainCapResult ReadCapContainer(TW_UINT16 capability, HGLOBAL &container, TTwainCapRequest request,
                                   TW_UINT16 &containerType);
  TTwainCapResult ReadEnumerationTexts(TW_UINT16 capability, TW_UINT16 &itemType, TGetCapabilityList &list,
                                       int32_t &currentIndex, int32_t &defaultIndex, TTwainCapRequest request,
                                       HGLOBAL container = nullptr);
  TTwainCapResult ReadOneValueText(TW_UINT16 capability, TW_UINT16 &itemType, std::string &value,
                                   TTwainCapRequest request, HGLOBAL container = nullptr);
  // Whatever shape the source answers (an enumeration or a one-value, which it may choose either
  // way): the items as texts, with the current and default index (0 and 0 for a one-value).
  TTwainCapResult ReadCurrentTexts(TW_UINT16 capability, TW_UINT16 &itemType, TGetCapabilityList &list,
                                   int32_t &currentIndex, int32_t &defaultIndex, TTwainCapRequest request);
  // The text of the current item (the default one for tcqGetDefault), from either shape.
  TTwainCapResult ReadCurrentText(TW_UINT16 capability, TW_UINT16 &itemType, std::string &value,
                                  TTwainCapRequest request);
  // The current value of a TWTY_BOOL capability from whatever the source answers: MSG_GETCURRENT,
  // else MSG_GET; a one-value's item or an enumeration's current item.
  TTwainCapResult ReadCurrentBool(TW_UINT16 capability, bool &value);
  // The text of one item at `item`, which holds a whole item of its type (no state of the source).
  static void CapItemText(std::string &text, TW_UINT16 itemType, const void *item);
  TTwainCapResult CapResultFromCode(TW_UINT16 returnCode);
  TTwainCapResult ReadMeasureUnit(TTwainMeasureUnit &value, TTwainMeasureUnits &supported,
                                  TTwainCapRequest request);
  TTwainCapResult ReadPixelFlavor(TTwainFlavor &value, TTwainFlavors &supported, TTwainCapRequest request);
  // ---- end of capability negotiation ----

private:
  // Outcome of fetching one page: the TWAIN return code, and for failures the layer found itself
  // (not the source) the condition code to report instead of asking DAT_STATUS.
  struct TPageResult {
    TW_UINT16 rc = TWRC_SUCCESS;
    int layerCondition = -1;
  };

  // Reads the capability unless the caller handed a container, and owns the container from then
  // on (freed with `owned` whatever the outcome); tcrBadContainer when it is not `expectedType`.
  TTwainCapResult TakeCapContainer(TW_UINT16 capability, TTwainCapRequest request, HGLOBAL container,
                                   TW_UINT16 expectedType, win::UniqueGlobal &owned);

  // MSG_SET of a one-value (state 4); the source's return code.
  TW_UINT16 SetOneValue(TW_UINT16 capability, TW_UINT16 itemType, TW_UINT32 item);
  // ICAP_XFERMECH := the mechanism of TransferMode (state 4, before MSG_ENABLEDS).
  void SetTransferMechanism();
  // ICAP_EXTIMAGEINFO := TRUE where the source offers it (state 4, before MSG_ENABLEDS); a refused
  // set leaves the source without page sides until the next enable.
  void AskForPageSides();
  // ICAP_AUTODISCARDBLANKPAGES := TWBP_DISABLE once per opening, where offered (state 4).
  void KeepBlankPagesOnce();
  // The manager's batch when it is this source's, else null.
  TTwainBatch *RunningBatch() const;
  // Back to state 4 from xferState_ with what the standard allows there, each triplet tried up to
  // kStepTries times: in 7 only MSG_ENDXFER, in 6 MSG_RESET (or MSG_ENDXFER page by page when the
  // reset is refused), in 5 MSG_DISABLEDS. A refusal that outlasts the tries is reported and
  // leaves the source stranded where it is. True when the source is in state 4.
  bool StepBack();
  // A triplet tried up to kStepTries times while it fails; `record` is zeroed before each try.
  template <typename T> TW_UINT16 Retry(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, T &record);
  // MSG_ENDXFER after a page (tried up to kStepTries times); false when the source refused it.
  bool EndPage();
  // A request to this source through the manager's DSM_Entry.
  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

  // A page of a memory transfer while it arrives: rows into its bitmap, rows of an undetermined
  // length into storage that grows, or the bytes of a JPEG file.
  struct TMemoryPage {
    TPageLayout layout;
    std::unique_ptr<TPageBitmapInfo> info; // header and colours of the page bitmap
    win::UniqueBitmap bitmap;              // made up front when the length is known
    std::vector<uint8_t> grown;            // top-down rows while the length is undetermined
    std::vector<uint8_t> jpeg;             // the file of a page the source compresses
    bool lengthUnknown = false;
    bool compressed = false;
    uint8_t *pixels = nullptr;                  // of the bitmap
    bool reused = false;                        // the bitmap held an earlier page
    TPageSectionPool::TDescription description; // of the bitmap's section, as the pool keys it
  };
  // Where a page stands among the pages of its batch, and the side the source reported.
  struct TPagePlace {
    unsigned batch = 0;
    unsigned index = 0;
    TPageSide side = TPageSide::unknown;
  };

  // A batch asked to end early ends between sheets: the sheet in transfer is finished, its back
  // too, and only then is the rest dropped (twain/BatchEnd.cpp).
  struct TBatchEnd {
    bool stopTried = false;
    bool feederStopped = false; // MSG_STOPFEEDER accepted: the source's Count is what is in its path
    int duplex = -1;            // CAP_DUPLEXENABLED once read: 0, 1, or -1 when the source cannot say
    unsigned pagesTaken = 0;    // pages fetched since the end was asked
  };
  // Asked to end, in state 6 before the next page: whether that page must still be fetched. The
  // first time, the feeder is stopped where the source offers feeder control.
  // `next` is the place of the page that would come next.
  bool TakePageBeforeEnd(TBatchEnd &end, const TPagePlace &next, bool anyPage);
  // MSG_STOPFEEDER, sent only to a source that feeds from its feeder; its Count says whether pages
  // are still in its paper path (any number, or -1: unknown, both fetched until MSG_ENDXFER says 0).
  enum class TFeederStop { notStopped, pathEmpty, pagesInPath };
  TFeederStop StopFeeder();
  // The page just fetched is the front of a duplex sheet whose back is still to come.
  bool SheetOpen(TBatchEnd &end, const TPagePlace &last);
  static constexpr unsigned kMaxPagesAfterEnd = 16; // what a paper path holds, and then some

  // Fetches and delivers one page; xferState_ becomes 7 once the source began the transfer.
  void TransferPage(TPagePlace &place, bool &cancel);
  TPageResult PrepareMemoryBitmap(TMemoryPage &page);
  // The page's bitmap section from page.info: a kept one from the pool when one fits.
  TPageResult MakePageBitmap(TMemoryPage &page);
  TPageResult ReceiveMemoryStrips(TMemoryPage &page);
  // After TWRC_XFERDONE: checks a JPEG page, builds the bitmap of a page of undetermined length.
  TPageResult FinishMemoryPage(TMemoryPage &page);
  void DeliverMemoryImage(TMemoryPage &page, const TPagePlace &place, bool &cancel);
  // Returns -1 when the page was handed on, else the condition code to report (a DIB that cannot
  // be read within its block, a bitmap that could not be made); the handle is freed in any case.
  int DeliverNativeImage(win::UniqueGlobal &native, const TPagePlace &place, bool &cancel);
  // The side the source reports for the page just transferred, when AskPageSide.
  TPageSide ReadPageSide();
  void DeliverTransferredFile(const TW_STR255 &fileName, TTwainFormat format, bool &cancel);
  void ReportError(const TPageResult &result);
  static constexpr int kStepTries = 3;

  bool enabled_ = false;
  bool loaded_ = false;
  bool pageSideRefused_ = false; // ICAP_EXTIMAGEINFO set refused at the last enable
  bool blankPagesAsked_ = false; // KeepBlankPagesOnce ran since the source was opened
  unsigned batches_ = 0;
  int xferState_ = 4;          // the TWAIN state the source is in while enabled: 5, 6 or 7
  bool stranded_ = false;      // see Stranded()
  bool closeDeferred_ = false; // Close asked during the source's own batch
  unsigned disables_ = 0;      // successful MSG_DISABLEDS so far (a batch inside MSG_ENABLEDS)
};
