// Constants and records of the TWAIN 2 protocol that a data source answers and the station's own
// headers (twain/TwainRecords.h) leave out.
#pragma once

#include "twain/TwainRecords.h"

#include <cstddef>

namespace dscommon {

// Data argument types
constexpr TW_UINT16 DAT_CALLBACK = 0x0010;
constexpr TW_UINT16 DAT_CALLBACK2 = 0x0012;
constexpr TW_UINT16 DAT_ENTRYPOINT = 0x0403;
constexpr TW_UINT16 DAT_EXTIMAGEINFO = 0x010B;

// Messages
constexpr TW_UINT16 MSG_GETHELP = 0x0009;
constexpr TW_UINT16 MSG_GETLABEL = 0x000A;
constexpr TW_UINT16 MSG_GETLABELENUM = 0x000B;
constexpr TW_UINT16 MSG_SETCONSTRAINT = 0x000C;
constexpr TW_UINT16 MSG_REGISTER_CALLBACK = 0x0902;
constexpr TW_UINT16 MSG_RESETALL = 0x0A01;

// SupportedGroups flags of a TWAIN 2 identity
constexpr TW_UINT32 DF_DSM2 = 0x10000000;
constexpr TW_UINT32 DF_APP2 = 0x20000000;
constexpr TW_UINT32 DF_DS2 = 0x40000000;

// The protocol our sources speak
constexpr TW_UINT16 kProtocolMajor = 2;
constexpr TW_UINT16 kProtocolMinor = 4;

// MSG_QUERYSUPPORT bits
constexpr TW_INT32 TWQC_GET = 0x0001;
constexpr TW_INT32 TWQC_SET = 0x0002;
constexpr TW_INT32 TWQC_GETDEFAULT = 0x0004;
constexpr TW_INT32 TWQC_GETCURRENT = 0x0008;
constexpr TW_INT32 TWQC_RESET = 0x0010;

// Capabilities
constexpr TW_UINT16 CAP_SUPPORTEDCAPS = 0x1005;
constexpr TW_UINT16 CAP_UICONTROLLABLE = 0x100E;
constexpr TW_UINT16 CAP_DEVICEONLINE = 0x100F;
constexpr TW_UINT16 CAP_ENABLEDSUIONLY = 0x1014;
constexpr TW_UINT16 ICAP_IMAGEFILEFORMAT = 0x110C;
constexpr TW_UINT16 ICAP_PHYSICALWIDTH = 0x1111;
constexpr TW_UINT16 ICAP_PHYSICALHEIGHT = 0x1112;
constexpr TW_UINT16 ICAP_FRAMES = 0x1114;
constexpr TW_UINT16 ICAP_BITORDER = 0x111C;
constexpr TW_UINT16 CAP_AUTOFEED = 0x1007;
constexpr TW_UINT16 ICAP_PLANARCHUNKY = 0x1120;
constexpr TW_UINT16 ICAP_UNDEFINEDIMAGESIZE = 0x112D;

constexpr TW_UINT16 TWPC_CHUNKY = 0;
constexpr TW_UINT16 TWBO_MSBFIRST = 1;
constexpr TW_UINT16 TWCP_NONE = 0;

#pragma pack(push, 2)

// DAT_CALLBACK and DAT_CALLBACK2 (the same layout on a 32-bit build): the application's entry
// for the source's messages, and the value it wants back in pData.
struct TW_CALLBACK {
  TW_MEMREF CallBackProc;
  TW_UINT32 RefCon;
  TW_INT16 Message;
};

struct TW_IMAGELAYOUT {
  TW_FRAME Frame;
  TW_UINT32 DocumentNumber;
  TW_UINT32 PageNumber;
  TW_UINT32 FrameNumber;
};

#pragma pack(pop)

static_assert(sizeof(TW_CALLBACK) == 10 && offsetof(TW_CALLBACK, RefCon) == 4 &&
                  offsetof(TW_CALLBACK, Message) == 8,
              "TW_CALLBACK");
static_assert(sizeof(TW_IMAGELAYOUT) == 28 && offsetof(TW_IMAGELAYOUT, DocumentNumber) == 16 &&
                  offsetof(TW_IMAGELAYOUT, FrameNumber) == 24,
              "TW_IMAGELAYOUT");

// TW_FIX32 as the 32 bits a container item holds (Whole in the low half, Frac in the high half),
// and as a number.
// A number beyond what a TW_FIX32 holds (a device's or a scenario's, unchecked) takes the nearest
// end; NaN is 0.
inline TW_UINT32 Fix32Bits(double value) {
  constexpr double kLowest = -32768.0, kHighest = 32767.0 + 65535.0 / 65536.0;
  value = value >= kLowest ? (value <= kHighest ? value : kHighest) : (value < kLowest ? kLowest : 0.0);
  const auto scaled = static_cast<int32_t>(value * 65536.0 + (value < 0 ? -0.5 : 0.5));
  const auto whole = static_cast<TW_INT16>(scaled >> 16);
  const auto frac = static_cast<TW_UINT16>(scaled & 0xFFFF);
  return static_cast<TW_UINT32>(static_cast<TW_UINT16>(whole)) | (static_cast<TW_UINT32>(frac) << 16);
}
inline double Fix32Value(TW_UINT32 bits) {
  return static_cast<TW_INT16>(bits & 0xFFFF) + static_cast<double>(bits >> 16) / 65536.0;
}
inline TW_FIX32 Fix32(double value) {
  const TW_UINT32 bits = Fix32Bits(value);
  return TW_FIX32{static_cast<TW_INT16>(bits & 0xFFFF), static_cast<TW_UINT16>(bits >> 16)};
}
inline double Fix32Value(const TW_FIX32 &f) { return f.Whole + f.Frac / 65536.0; }

} // namespace dscommon
