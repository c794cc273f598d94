// A bare TWAIN application for the bridge's tests: Wine's source manager, one source by name, and
// a batch by memory or native transfer, keeping each page's bytes exactly as the source gave them.
#pragma once

#include "twain/TwainRecords.h"
#include "win/Owners.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sanetest {

struct ClientPage {
  TW_IMAGEINFO info{};
  uint32_t bytesPerRow = 0;
  std::vector<uint8_t> rows; // memory transfer: the rows as sent; native: the packed DIB
};

// What one batch gave: pages, the condition code of each failed transfer, and how it ended.
struct Batch {
  std::vector<ClientPage> pages;
  std::vector<TW_UINT16> failures; // DAT_STATUS after a failed transfer
  int cancels = 0;                 // transfers the source cancelled (a feeder that ran empty)
  bool closeRequested = false;
  bool xferReady = false;
};

class TwainClient {
public:
  TwainClient();
  ~TwainClient();
  TwainClient(const TwainClient &) = delete;
  TwainClient &operator=(const TwainClient &) = delete;

  bool Ready() const { return entry_ != nullptr && opened_; }
  std::vector<std::string> SourceNames();
  // Opens the source of that name (state 4).
  TW_UINT16 OpenSource(const std::string &name);
  TW_UINT16 CloseSource();

  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 ConditionCode();
  // DAT_STATUS of the source manager itself (after a triplet it answered, e.g. MSG_OPENDS).
  TW_UINT16 ManagerConditionCode();
  // MSG_SET of a one-value; MSG_GET / MSG_GETCURRENT into a copy of the container's bytes.
  TW_UINT16 SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value);
  TW_UINT16 GetCap(TW_UINT16 cap, TW_UINT16 msg, TW_UINT16 &conType, std::vector<uint8_t> &container);

  // Enables the source without its interface, waits for MSG_XFERREADY or MSG_CLOSEDSREQ, and
  // transfers every page; then disables it (state 4 again).
  Batch Scan(bool native = false);

  // MSG_ENABLEDS (or MSG_ENABLEDSUIONLY) with the interface shown or not.
  TW_UINT16 Enable(bool showUI, TW_UINT16 msg = MSG_ENABLEDS);
  // Runs the application's loop, offering every message to the source, until the source says
  // something (its TWMessage, from MSG_PROCESSEVENT or the callback registered with
  // RegisterCallback) or the time runs out (MSG_NULL).
  TW_UINT16 WaitForMessage(DWORD timeoutMs = 20000);
  // MSG_REGISTER_CALLBACK of this client's callback (DAT_CALLBACK2, or `dat`).
  TW_UINT16 RegisterCallback(TW_UINT16 dat = 0x0012);
  // The manager is a 2.x one named by TOVIK_TWAIN_MANAGER (e.g. TWAINDSM.dll), not Wine's
  // twain_32.dll: the client then says it is a TWAIN 2 application.
  static bool Version2Manager();
  // What the callback received, in order.
  static std::vector<TW_UINT16> &CallbackMessages();
  const TW_IDENTITY &Source() const { return source_; }

private:
  void TransferAll(Batch &batch, bool native);
  // False when the page did not come; `rc` is the return code that said so.
  bool TransferOne(ClientPage &page, bool native, TW_UINT16 &rc);

  win::UniqueLibrary library_;
  DSMENTRYPROC entry_ = nullptr;
  win::UniqueWindow window_;
  HWND parent_ = nullptr;
  TW_IDENTITY app_{};
  TW_IDENTITY source_{};
  bool opened_ = false;
  bool sourceOpen_ = false;
};

} // namespace sanetest
