// Every triplet one of our data sources answers, routed to the source's handler of that name: one
// table for all of them. A triplet a source has no handler for is answered TWCC_BADPROTOCOL. A
// source answers the file transfer and the extended image information only when it says so
// (kAnswersFileTransfer, kAnswersExtImageInfo).
//
// Usage: class Source : private TripletRouter<Source> { friend class TripletRouter<Source>; ... },
// and Source's entry calls Route.
#pragma once

#include "tools/data-source-common/TripletResult.h"
#include "twain/TwainRecords.h"

namespace dscommon {

// Records the TWAIN headers this project carries leave out.
constexpr TW_UINT16 kDatExtImageInfo = 0x010B; // DAT_EXTIMAGEINFO
constexpr TW_UINT16 kDatEntryPoint = 0x0403;   // DAT_ENTRYPOINT

template <class Source> class TripletRouter {
protected:
  TripletResult Route(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    Source &source = static_cast<Source &>(*this);
    if (dg == DG_CONTROL) {
      switch (dat) {
      case DAT_IDENTITY:
        return source.Identity(origin, msg, static_cast<TW_IDENTITY *>(data));
      case DAT_USERINTERFACE:
        return source.UserInterface(msg, static_cast<TW_USERINTERFACE *>(data));
      case DAT_EVENT:
        if (msg == MSG_PROCESSEVENT)
          return source.ProcessEvent(static_cast<TW_EVENT *>(data));
        break;
      case DAT_CAPABILITY:
        return source.Capability(msg, static_cast<TW_CAPABILITY *>(data));
      case DAT_STATUS:
        if (msg == MSG_GET)
          return source.Status(static_cast<TW_STATUS *>(data));
        break;
      case DAT_PENDINGXFERS:
        return source.PendingXfers(msg, static_cast<TW_PENDINGXFERS *>(data));
      case DAT_SETUPMEMXFER:
        if (msg == MSG_GET)
          return source.SetupMemXfer(static_cast<TW_SETUPMEMXFER *>(data));
        break;
      case DAT_SETUPFILEXFER:
        if constexpr (Source::kAnswersFileTransfer)
          return source.SetupFileXfer(msg, static_cast<TW_SETUPFILEXFER *>(data));
        break;
      case kDatEntryPoint:
        if (msg == MSG_SET)
          return source.EntryPoint(data);
        break;
      default:
        break;
      }
    } else if (dg == DG_IMAGE && msg == MSG_GET) {
      switch (dat) {
      case DAT_IMAGEINFO:
        return source.ImageInfo(static_cast<TW_IMAGEINFO *>(data));
      case DAT_PALETTE8:
        return source.Palette(static_cast<TW_PALETTE8 *>(data));
      case DAT_IMAGEMEMXFER:
        return source.MemoryTransfer(static_cast<TW_IMAGEMEMXFER *>(data));
      case DAT_IMAGENATIVEXFER:
        return source.NativeTransfer(data);
      case DAT_IMAGEFILEXFER:
        if constexpr (Source::kAnswersFileTransfer)
          return source.FileTransfer();
        break;
      case kDatExtImageInfo:
        if constexpr (Source::kAnswersExtImageInfo)
          return source.ExtImageInfo(data);
        break;
      default:
        break;
      }
    }
    return TripletResult{TWRC_FAILURE, TWCC_BADPROTOCOL};
  }
};

} // namespace dscommon
