// The station's hold on its scanner: the TWAIN manager with the chosen source, opened for memory
// transfer, or nothing when the build or the machine has no compatible scanner.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// One page as the scanner delivered it, for the duration of the page handler's call.
struct TScannedPage {
  HBITMAP Bitmap = nullptr;                   // the page's pixels; null for a page sent as JPEG
  const std::vector<uint8_t> *Jpeg = nullptr; // the scanner's own JPEG file, when it sent one
  char Side = 0;                              // 'F' or 'B' when the scanner says which; else 0
  bool Simplex = false;                       // the scanner scans one side of each sheet
  unsigned Batch = 0;                         // the batch (one start of the scanner) it belongs to
  unsigned IndexInBatch = 0;                  // its position in the batch, lost pages counted
  // The scanner says no side and its own blank-page removal is on: a dropped page shifts the sides.
  bool BlankPagesDropped = false;
  // Takes Bitmap over for good, so that it need not be copied: it stays valid while the returned
  // owner lives. Null when it cannot be taken; unset where no page can be.
  std::function<std::shared_ptr<void>()> TakeBitmap;
};

class TScannerLink {
public:
  struct Events {
    std::function<void(const TScannedPage &page)> OnPage; // may throw: ends the transfer, shown by the loop
    std::function<void(int current, int total)> OnProgress;
    std::function<void()> OnBatchEnd; // the scanner was disabled: no more pages or progress
    // A batch runs and no page is in transfer (before each page, the first included): the
    // window's own input is looked at, whatever the driver dispatches.
    std::function<void()> OnBetweenPages;
    std::function<void(int errorCode, int additional)> OnError;
  };

  virtual ~TScannerLink() = default;
  virtual bool HasScanner() const = 0;
  // The scanner is enabled: a batch runs or the driver's own dialog is open.
  virtual bool Enabled() const = 0;
  virtual void Enable(bool showUI, bool modalUI) = 0;
  // "1" when paper is in the feeder; empty when the scanner cannot tell.
  virtual std::string FeederLoadedText() = 0;
  // While a batch (or the driver's enable) still uses the scanner: asks it to end in order and
  // returns true; `resume` runs once it has ended. False when nothing runs: close at once.
  virtual bool DeferClose(std::function<void()> resume) = 0;
  // Asks a running batch to end in order (the sheet in transfer is delivered, both its sides;
  // sheets not begun stay in the feeder); nothing when none runs.
  virtual void EndBatch() = 0;
  // Ends a running batch after the page in hand, dropping what the scanner still has pending
  // (a paper fault: those sheets are put back on the stack); nothing when none runs.
  virtual void DropBatch() = 0;
  // A running batch was asked to end (a close the driver's own message loop let in, or EndBatch).
  virtual bool EndingBatch() const = 0;
};

// Offers a message of the application's loop to the enabled scanner before it is dispatched;
// true when the scanner claimed it (it is then not dispatched).
bool OfferScannerMessage(MSG &message);

// Loads TWAIN, opens the source manager, chooses the first "KV-S" source and opens it.
std::unique_ptr<TScannerLink> CreateScannerLink(TScannerLink::Events events);

// Gives the message loop an exception that a TWAIN notification raised, if any.
void RethrowScannerException();
