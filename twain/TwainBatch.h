// One batch of transfers, from MSG_XFERREADY until the source is back in state 4 (or left where
// it refused to step back). The object exists exactly as long as the batch: the manager knows it
// while it lives, and whoever wants to free what the batch uses (the window, a handler closing
// the source or the source manager) asks it to end instead and waits for the manager to be idle.
#pragma once

class TKestraTwain;
class TTwainSource;

class TTwainBatch {
public:
  // Registers with the source's manager; there is at most one batch per manager.
  explicit TTwainBatch(TTwainSource &source);
  // Unregisters, and lets the manager run what was deferred until the batch ended.
  ~TTwainBatch();
  TTwainBatch(const TTwainBatch &) = delete;
  TTwainBatch &operator=(const TTwainBatch &) = delete;

  TTwainSource &Source() const { return source_; }

  // The sheet in transfer is finished and delivered, its back too (twain/BatchEnd.cpp), the rest
  // stay in the feeder (MSG_STOPFEEDER, or MSG_RESET) and the source is disabled. Asked by a
  // close, by a handler or by the source itself.
  void RequestEnd() { endRequested_ = true; }
  bool EndRequested() const;

  // A triplet of the batch failed and was reported; the batch still ends in order.
  void SetFailed() { failed_ = true; }
  bool Failed() const { return failed_; }

private:
  TTwainSource &source_;
  TKestraTwain &manager_;
  bool endRequested_ = false;
  bool failed_ = false;
};
