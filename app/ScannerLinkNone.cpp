// A build without the TWAIN layer: the station runs as on a machine without a source manager.
#include "app/ScannerLink.h"

namespace {

class TNoScanner : public TScannerLink {
public:
  bool HasScanner() const override { return false; }
  bool Enabled() const override { return false; }
  void Enable(bool, bool) override {}
  std::string FeederLoadedText() override { return std::string(); }
  bool DeferClose(std::function<void()>) override { return false; }
  void EndBatch() override {}
  void DropBatch() override {}
  bool EndingBatch() const override { return false; }
};

} // namespace

std::unique_ptr<TScannerLink> CreateScannerLink(TScannerLink::Events) {
  return std::make_unique<TNoScanner>();
}

void RethrowScannerException() {}

bool OfferScannerMessage(MSG &) { return false; }
