// The scanner through the TWAIN layer.
#include "app/ProgressBar.h"
#include "app/ScannerChoice.h"
#include "app/ScannerLink.h"

#include "twain/KestraTwain.h"
#include "twain/PageSectionKeeper.h"
#include "twain/TwainBitmap.h"
#include "twain/TwainSource.h"
#include "twain/VirtualWindow.h"

#include <cstring>
#include <utility>

namespace {

constexpr TW_UINT16 kCapFeederLoaded = 0x1003;

class TTwainScanner : public TScannerLink {
public:
  explicit TTwainScanner(Events events) : Handlers(std::move(events)) {
    Twain.LoadTwainLibrary();
    Twain.SetSourceManagerLoaded(true);
    int chosen = FirstCompatibleScanner(Twain.SourceCount(), [this](int i) {
      TTwainSource *source = Twain.Source(i);
      if (!source)
        return std::string();
      const char *name = source->IdentityRecord()->ProductName;
      return std::string(name, strnlen(name, sizeof source->IdentityRecord()->ProductName));
    });
    if (chosen >= 0) {
      Scanner = Twain.Source(chosen);
      // A failed open is shown; "Go.." tries again.
      if (!Scanner->Open() && Handlers.OnError)
        Handlers.OnError(TWRC_FAILURE, 0); // the source manager keeps no condition code for it
      Scanner->TransferMode = ttmMemory;
      Scanner->AskPageSide = true;
      Scanner->KeepBlankPages = true;
    }
    Twain.OnTwainAcquire = [this](TKestraTwain *, int, TTwainBitmap &image, bool &) {
      if (!Handlers.OnPage)
        return;
      TScannedPage page;
      if (image.Jpeg().empty()) {
        page.Bitmap = image.Handle();
        page.TakeBitmap = [&image] { return TakePageSection(image); };
      } else {
        page.Jpeg = &image.Jpeg(); // written as the scanner made it: no decode, no second encoding
      }
      page.Side = image.Side == TPageSide::front ? 'F' : image.Side == TPageSide::back ? 'B' : 0;
      if (image.Batch != DuplexBatch) {
        // Asked once a batch: the user may switch duplex off, or blank removal on, in the driver's dialog.
        DuplexBatch = image.Batch;
        bool duplex = true;
        Simplex = Scanner->ReadCurrentBool(CAP_DUPLEXENABLED, duplex) == tcrOk && !duplex;
        DropsBlankPages = page.Side == 0 && DriverDropsBlankPages();
      }
      page.Simplex = Simplex;
      page.BlankPagesDropped = DropsBlankPages;
      page.Batch = image.Batch;
      page.IndexInBatch = image.IndexInBatch;
      Handlers.OnPage(page);
    };
    Twain.OnStripsProgress = [this](TTwainSource *, int, HBITMAP, int current, int total) {
      if (Handlers.OnProgress && Progress.Pass(current, total))
        Handlers.OnProgress(current, total);
    };
    Twain.OnBetweenPages = [this](TKestraTwain *, int) {
      if (Handlers.OnBetweenPages)
        Handlers.OnBetweenPages();
    };
    Twain.OnSourceDisable = [this](TKestraTwain *, int) {
      if (Handlers.OnBatchEnd)
        Handlers.OnBatchEnd();
    };
    Twain.OnAcquireError = [this](TKestraTwain *, int, int errorCode, int additional) {
      if (Handlers.OnError)
        Handlers.OnError(errorCode, additional);
    };
  }

  bool HasScanner() const override { return Scanner != nullptr; }
  // A scanner stranded in a transfer state by a refused step back counts as free, so that the
  // automatic start tries to bring it back (Enable does) rather than wait for ever.
  bool Enabled() const override { return Scanner && Scanner->Enabled() && !Scanner->Stranded(); }
  void Enable(bool showUI, bool modalUI) override {
    if (!Scanner || Twain.Busy())
      return;
    // A scanner whose open failed at start-up is opened again.
    if (!Scanner->Loaded()) {
      if (!Scanner->Open()) {
        if (Handlers.OnError)
          Handlers.OnError(TWRC_FAILURE, 0); // the source manager keeps no condition code for it
        return;
      }
      Scanner->TransferMode = ttmMemory;
    }
    Scanner->Enable(showUI, modalUI);
  }
  bool DeferClose(std::function<void()> resume) override {
    if (!Twain.RequestBatchEnd())
      return false;
    Twain.OnIdle = std::move(resume);
    return true;
  }
  void EndBatch() override { Twain.RequestBatchEnd(); }
  void DropBatch() override { Twain.DropBatch(); }
  bool EndingBatch() const override { return Twain.Busy() && Twain.EndRequested(); }
  std::string FeederLoadedText() override {
    std::string text;
    TW_UINT16 itemType = 0;
    if (Scanner)
      Scanner->ReadCurrentText(kCapFeederLoaded, itemType, text, tcqGet);
    return text;
  }

private:
  // The driver's own blank-page removal is on (turned on in its dialog): any value but
  // TWBP_DISABLE (-2) drops pages.
  bool DriverDropsBlankPages() {
    TW_UINT16 itemType = 0;
    std::string current;
    return Scanner->ReadCurrentText(ICAP_AUTODISCARDBLANKPAGES, itemType, current, tcqGetCurrent) == tcrOk &&
           current != "-2";
  }

  Events Handlers;
  TKestraTwain Twain;
  TTwainSource *Scanner = nullptr;  // owned by Twain
  TProgressGate Progress;           // one report a strip arrives; the bar needs fewer
  TPageSectionKeeper SpareSections; // page memory made ready beside the scan
  unsigned DuplexBatch = 0;
  bool Simplex = false;
  bool DropsBlankPages = false;
};

} // namespace

std::unique_ptr<TScannerLink> CreateScannerLink(TScannerLink::Events events) {
  return std::make_unique<TTwainScanner>(std::move(events));
}

void RethrowScannerException() { RethrowParkedTwainException(); }

bool OfferScannerMessage(MSG &message) { return OfferTwainMessage(message); }
