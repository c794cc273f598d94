// The protocol core every data source of ours is built on: the TWAIN state of the open session
// (3 to 7), the routing of every triplet to the source's handler of that name once its state is
// checked (TripletStates), DAT_STATUS as the condition of the last triplet, the ways back to the
// application (DAT_ENTRYPOINT, DAT_CALLBACK, DAT_CALLBACK2) and the capability table. A source
// adds its device: identities, the user interface, pages and the values of its capabilities.
//
// A triplet no source answers is answered TWCC_BADPROTOCOL. A source answers the extended image
// information only when it says so (kAnswersExtImageInfo).
//
// Usage: class Source : private SourceCore<Source> { friend class SourceCore<Source>; ... }; the
// source's entry calls Route and hands its result to Conclude.
#pragma once

#include "sources/common/ApplicationLink.h"
#include "sources/common/CapabilityTable.h"
#include "sources/common/EntryPointRecord.h"
#include "sources/common/TripletResult.h"
#include "sources/common/TripletStates.h"
#include "sources/common/TwainProtocol.h"
#include "twain/TwainRecords.h"

#include <utility>

namespace dscommon {

template <class Source> class SourceCore {
public:
  // Records a failure that escaped the source's entry (the caller answers TWRC_FAILURE).
  void RecordFailure(TW_UINT16 cc) { lastCc_ = cc; }

protected:
  TripletResult Route(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (dg == DG_CONTROL && dat == DAT_EXTIMAGEINFO)
      return TripletResult{TWRC_FAILURE, TWCC_BADPROTOCOL};
    if (dg == DG_IMAGE && dat == DAT_EXTIMAGEINFO && !Source::kAnswersExtImageInfo)
      return TripletResult{TWRC_FAILURE, TWCC_BADPROTOCOL};
    const StateSpan states = StatesOf(dg, dat, msg);
    if (states.low == 0)
      return TripletResult{TWRC_FAILURE, TWCC_BADPROTOCOL};
    if (!states.Holds(state_))
      return TripletResult{TWRC_FAILURE, TWCC_SEQERROR};
    // Every triplet but the file transfer (whose file DAT_SETUPFILEXFER named) carries a record.
    if (!data && !(dg == DG_IMAGE && dat == DAT_IMAGEFILEXFER))
      return TripletResult{TWRC_FAILURE, TWCC_BADVALUE};
    return Dispatch(origin, dg, dat, msg, data);
  }

  // The return code for the application; every triplet but DAT_STATUS leaves its condition for
  // the next DAT_STATUS.
  TW_UINT16 Conclude(TW_UINT32 dg, TW_UINT16 dat, const TripletResult &result) {
    if (!(dg == DG_CONTROL && dat == DAT_STATUS))
      lastCc_ = result.cc;
    return result.rc;
  }

  int state_ = 3;
  TW_UINT16 lastCc_ = TWCC_SUCCESS;
  ApplicationLink link_;
  CapabilityTable caps_;

private:
  TripletResult Dispatch(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    Source &source = static_cast<Source &>(*this);
    if (dg == DG_CONTROL) {
      switch (dat) {
      case DAT_IDENTITY:
        return source.Identity(origin, msg, static_cast<TW_IDENTITY *>(data));
      case DAT_USERINTERFACE:
        return source.UserInterface(msg, static_cast<TW_USERINTERFACE *>(data));
      case DAT_EVENT:
        return source.ProcessEvent(static_cast<TW_EVENT *>(data));
      case DAT_CAPABILITY:
        return source.Capability(msg, static_cast<TW_CAPABILITY *>(data));
      case DAT_STATUS:
        return Status(static_cast<TW_STATUS *>(data));
      case DAT_PENDINGXFERS:
        return source.PendingXfers(msg, static_cast<TW_PENDINGXFERS *>(data));
      case DAT_SETUPMEMXFER:
        return source.SetupMemXfer(static_cast<TW_SETUPMEMXFER *>(data));
      case DAT_SETUPFILEXFER:
        return source.SetupFileXfer(msg, static_cast<TW_SETUPFILEXFER *>(data));
      case DAT_XFERGROUP:
        *static_cast<TW_UINT32 *>(data) = DG_IMAGE; // our sources transfer images only
        return TripletResult{};
      case DAT_ENTRYPOINT:
        return EntryPoint(data);
      case DAT_CALLBACK:
      case DAT_CALLBACK2:
        link_.SetCallback(*static_cast<const TW_CALLBACK *>(data));
        return TripletResult{};
      default:
        break;
      }
    } else if (dg == DG_IMAGE) {
      switch (dat) {
      case DAT_IMAGEINFO:
        return source.ImageInfo(static_cast<TW_IMAGEINFO *>(data));
      case DAT_IMAGELAYOUT:
        return source.ImageLayout(msg, static_cast<TW_IMAGELAYOUT *>(data));
      case DAT_PALETTE8:
        return source.Palette(static_cast<TW_PALETTE8 *>(data));
      case DAT_IMAGEMEMXFER:
        return source.MemoryTransfer(static_cast<TW_IMAGEMEMXFER *>(data));
      case DAT_IMAGENATIVEXFER:
        return source.NativeTransfer(data);
      case DAT_IMAGEFILEXFER:
        return source.FileTransfer();
      case DAT_EXTIMAGEINFO:
        if constexpr (Source::kAnswersExtImageInfo)
          return source.ExtImageInfo(data);
        break;
      default:
        break;
      }
    }
    return TripletResult{TWRC_FAILURE, TWCC_BADPROTOCOL};
  }

  TripletResult Status(TW_STATUS *status) {
    status->ConditionCode = std::exchange(lastCc_, TWCC_SUCCESS);
    status->Reserved = 0;
    return TripletResult{};
  }

  TripletResult EntryPoint(const void *data) {
    DSMENTRYPROC entry = nullptr;
    if (!ReadEntryPoint(data, entry))
      return TripletResult{TWRC_FAILURE, TWCC_BADVALUE};
    link_.SetEntry(entry);
    return TripletResult{};
  }
};

} // namespace dscommon
