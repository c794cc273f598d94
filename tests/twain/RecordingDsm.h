// A recording source manager for unit tests of the TWAIN layer: a DSM_Entry-compatible function
// inside the test program that records every triplet it is sent (origin, destination, DG, DAT,
// MSG and a copy of the data record at the time of the call) and answers from a script.
//
// Plug it into a manager with TKestraTwain::AttachEntry(RecordingDsmEntry); no DLL is involved.
//
// Script: answers are queued per triplet (DG, DAT, MSG) and used first in, first out; a triplet
// whose queue is empty gets its default answer (SetDefault), and without one the built-in default:
// TWRC_ENDOFLIST for MSG_GETFIRST / MSG_GETNEXT, TWRC_NOTDSEVENT for MSG_PROCESSEVENT, TWRC_FAILURE
// for MSG_GETDEFAULT, DAT_CAPABILITY, DAT_IMAGEINFO, DAT_IMAGEMEMXFER, DAT_IMAGENATIVEXFER,
// DAT_IMAGEFILEXFER and DAT_PALETTE8, and TWRC_SUCCESS writing nothing for everything else (so
// DAT_STATUS reads condition code 0 and MSG_ENDXFER a Count of 0 from a zeroed record).
//
// Answers are built with the helpers below: plain return codes, records written back into pData,
// condition codes for DAT_STATUS, capability containers allocated as the source would, strips of a
// memory transfer written into the application's buffer.
#pragma once

#include "twain/TwainRecords.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace rdsm {

struct TRecordedCall {
  TW_IDENTITY *origin = nullptr;
  TW_IDENTITY *dest = nullptr;
  TW_UINT32 dg = 0;
  TW_UINT16 dat = 0;
  TW_UINT16 msg = 0;
  TW_MEMREF pData = nullptr;
  std::vector<uint8_t> data; // the record at pData when the call arrived (by DAT size)
  TW_UINT16 rc = 0;          // what was answered

  // The record as it arrived, for fixed-size records.
  template <typename T> T As() const {
    T value{};
    if (data.size() >= sizeof(T))
      std::memcpy(&value, data.data(), sizeof(T));
    return value;
  }
  bool Is(TW_UINT32 g, TW_UINT16 d, TW_UINT16 m) const { return dg == g && dat == d && msg == m; }
};

struct TAnswer {
  TW_UINT16 rc = TWRC_SUCCESS;
  // Bytes copied into pData at `offset` before returning (nothing when empty or pData is null).
  std::vector<uint8_t> bytes;
  size_t offset = 0;
  // Anything else a source would do (allocate a container, write a strip); runs after `bytes`.
  std::function<void(TW_MEMREF pData)> action;
};

// Bytes of the record a DAT carries (what is recorded); 0 for none or unknown.
size_t DataSize(TW_UINT16 dat);

class TRecordingDsm {
public:
  static TRecordingDsm &Instance();

  // Forgets calls, queued answers, defaults and the sources' states.
  void Reset();
  // Forgets calls, queued answers and defaults; the sources stay in their states.
  void ClearScript();

  void Queue(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TAnswer answer);
  void SetDefault(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TAnswer answer);
  // Answers still queued (a test can check that its whole script was used).
  size_t Pending() const;

  // Lists `count` sources: MSG_GETFIRST and MSG_GETNEXT answers with identities whose Id is
  // 100 + i and whose ProductName is "Source <i>" (or names[i] when given).
  void QueueSources(int count, const std::vector<std::string> &names = {});
  static TW_IDENTITY MakeIdentity(uint32_t id, const std::string &productName);

  const std::vector<TRecordedCall> &Calls() const { return calls_; }
  // "DG/DAT/MSG" names of every call since `from`, e.g. "CONTROL/IDENTITY/OPENDS".
  std::vector<std::string> Trace(size_t from = 0) const;
  size_t CountOf(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg) const;
  void ClearCalls() { calls_.clear(); }

  // The TWAIN state (3 to 7) the model holds for the source with identity Id `id` (3 when never
  // opened). Triplets to a source move it as the standard says, by the answer they got.
  int StateOf(TW_UINT32 id) const;
  // For tests that start mid-session (a transfer without MSG_XFERREADY before it).
  void SetState(TW_UINT32 id, int state) { states_[id] = state; }
  // Triplets sent to a source in a state where the standard does not allow them, as
  // "CONTROL/PENDINGXFERS/RESET in state 7"; the fixture fails a test that leaves any.
  const std::vector<std::string> &Violations() const { return violations_; }

  // Called for every triplet before it is answered (inspect the layer's state during a call).
  std::function<void(const TRecordedCall &)> onCall;

  TW_UINT16 Entry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                  TW_MEMREF data);

private:
  using Key = std::tuple<TW_UINT32, TW_UINT16, TW_UINT16>;
  TAnswer DefaultAnswer(const Key &key) const;
  // Checks the triplet against the source's state, then moves the state by the answer.
  void CheckState(const TRecordedCall &call);
  void MoveState(const TRecordedCall &call, TW_MEMREF data);

  std::map<TW_UINT32, int> states_;
  std::vector<std::string> violations_;

  std::vector<TRecordedCall> calls_;
  std::map<Key, std::vector<TAnswer>> queued_;
  std::map<Key, TAnswer> defaults_;
};

inline TRecordingDsm &Dsm() { return TRecordingDsm::Instance(); }

// The entry point to attach (TKestraTwain::AttachEntry).
TW_UINT16 WINAPI RecordingDsmEntry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat,
                                   TW_UINT16 msg, TW_MEMREF data);

// Name of a triplet, "CONTROL/IDENTITY/OPENDS".
std::string TripletName(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg);

// ---- answer helpers ----
TAnswer Rc(TW_UINT16 rc);
template <typename T> TAnswer Record(const T &record, TW_UINT16 rc = TWRC_SUCCESS, size_t offset = 0) {
  TAnswer answer;
  answer.rc = rc;
  answer.offset = offset;
  const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&record);
  answer.bytes.assign(bytes, bytes + sizeof(T));
  return answer;
}
// DAT_STATUS answer carrying a condition code.
TAnswer Status(TW_UINT16 conditionCode);
// MSG_PROCESSEVENT answer: the return code and the TWMessage written into the TW_EVENT.
TAnswer Event(TW_UINT16 rc, TW_UINT16 twMessage);
// MSG_ENDXFER / MSG_RESET answer with the Count written into the TW_PENDINGXFERS.
TAnswer Pending(TW_UINT16 count, TW_UINT16 rc = TWRC_SUCCESS);
TAnswer SetupMem(TW_UINT32 minBuf, TW_UINT32 maxBuf, TW_UINT32 preferred, TW_UINT16 rc = TWRC_SUCCESS);
TAnswer ImageInfo(int32_t width, int32_t length, int16_t bitsPerPixel, int16_t pixelType,
                  TW_FIX32 xRes = {300, 0}, TW_FIX32 yRes = {300, 0});
// A capability container allocated as a source would (GlobalAlloc), ConType and hContainer set.
TAnswer CapEnumUint16(const std::vector<uint16_t> &items, uint32_t current, uint32_t defaultIndex,
                      TW_UINT16 itemType = TWTY_UINT16);
TAnswer CapOneValue(TW_UINT16 itemType, uint32_t value);
// One strip of a memory transfer: `bytes` written into the application's buffer (never more than
// Memory.Length), BytesWritten = the strip's size (or `bytesWritten` when not -1, to lie about
// it), BytesPerRow = `bytesPerRow`.
TAnswer Strip(const std::vector<uint8_t> &bytes, TW_UINT16 rc, uint32_t bytesPerRow,
              int64_t bytesWritten = -1);
TAnswer Palette(const TW_PALETTE8 &palette, TW_UINT16 rc = TWRC_SUCCESS);
// DAT_IMAGENATIVEXFER answer handing over `dib` (its handle written into the TW_UINT32).
TAnswer Native(HGLOBAL dib, TW_UINT16 rc = TWRC_XFERDONE);
TAnswer FileSetup(const std::string &name, TW_UINT16 format, TW_UINT16 rc = TWRC_SUCCESS);

} // namespace rdsm
