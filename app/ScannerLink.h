// The station's hold on its scanner: the TWAIN manager with the chosen source, opened for memory
// transfer, or nothing when the build or the machine has no compatible scanner.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

class TScannerLink {
public:
  struct Events {
    std::function<void(HBITMAP page)> OnPage; // may throw: ends the transfer, shown by the loop
    std::function<void(int current, int total)> OnProgress;
    std::function<void(int errorCode, int additional)> OnError;
  };

  virtual ~TScannerLink() = default;
  virtual bool HasScanner() const = 0;
  // The scanner is enabled: a batch runs or the driver's own dialog is open.
  virtual bool Enabled() const = 0;
  virtual void Enable(bool showUI, bool modalUI) = 0;
  // "1" when paper is in the feeder; empty when the scanner cannot tell.
  virtual std::string FeederLoadedText() = 0;
};

// Loads TWAIN, opens the source manager, chooses the first "KV-S" source and opens it.
std::unique_ptr<TScannerLink> CreateScannerLink(TScannerLink::Events events);

// Gives the message loop an exception that a TWAIN notification raised, if any.
void RethrowScannerException();
