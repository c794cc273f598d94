#include "sources/virtual-scanner/Capabilities.h"

#include "sources/common/TwainProtocol.h"
#include "sources/virtual-scanner/PageImage.h"
#include "sources/virtual-scanner/Scenario.h"

#include <optional>
#include <vector>

namespace vscan {

using dscommon::CAP_DEVICEONLINE;
using dscommon::CAP_UICONTROLLABLE;
using dscommon::CapabilityTable;
using dscommon::CapRequest;
using dscommon::CapValue;
using dscommon::Enumeration;
using dscommon::Fix32Bits;
using dscommon::ICAP_FRAMES;
using dscommon::ICAP_IMAGEFILEFORMAT;
using dscommon::ICAP_PHYSICALHEIGHT;
using dscommon::ICAP_PHYSICALWIDTH;
using dscommon::ICAP_PLANARCHUNKY;
using dscommon::ICAP_UNDEFINEDIMAGESIZE;
using dscommon::OneValue;
using dscommon::SetOutcome;

namespace {

using Described = std::optional<CapValue>;

constexpr TW_UINT16 kIcapExtImageInfo = 0x112F; // ICAP_EXTIMAGEINFO

// A value the scanner holds: the application may set it to what it is, nothing else.
const CapabilityTable::Set kHeld = [](const CapRequest &) { return SetOutcome{TWCC_BADVALUE}; };

double InUnits(const Scenario &s, int pixels) { return s.resolution > 0 ? double(pixels) / s.resolution : 0; }

} // namespace

bool MechanismWorks(const Scenario &s, TW_UINT16 mech) {
  switch (mech) {
  case TWSX_NATIVE:
    return s.nativeXfer;
  case TWSX_FILE:
    return s.fileXfer;
  case TWSX_MEMORY:
    return s.memoryXfer;
  default:
    return false;
  }
}

TW_FRAME PageFrame(const Scenario &s) {
  TW_FRAME frame{};
  frame.Right = dscommon::Fix32(InUnits(s, s.width));
  frame.Bottom = dscommon::Fix32(InUnits(s, s.height));
  return frame;
}

bool OnPage(const TW_FRAME &area, const TW_FRAME &page) {
  using dscommon::Fix32Value;
  return Fix32Value(area.Left) < Fix32Value(page.Right) && Fix32Value(area.Top) < Fix32Value(page.Bottom) &&
         Fix32Value(area.Right) > Fix32Value(page.Left) && Fix32Value(area.Bottom) > Fix32Value(page.Top) &&
         Fix32Value(area.Right) > Fix32Value(area.Left) && Fix32Value(area.Bottom) > Fix32Value(area.Top);
}

void AddCapabilities(CapabilityTable &table, const Scenario &s, CapabilityState &state) {
  table.Clear();
  table.AnswerEnumerationsAsOneValues(s.oneValueCaps);
  table.Add(
      CAP_XFERCOUNT,
      [&state] {
        return Described(dscommon::FreeValue(TWTY_INT16, static_cast<TW_UINT16>(state.xferCount), 0xFFFF));
      },
      [&state](const CapRequest &r) {
        const auto count = static_cast<TW_INT16>(r.value);
        if (count == 0 || count < -1)
          return SetOutcome{TWCC_BADVALUE};
        state.xferCount = count;
        return SetOutcome{};
      });
  table.Add(
      ICAP_COMPRESSION,
      [&s] {
        return Described(OneValue(TWTY_UINT16, s.compression == Compression::Jpeg     ? 6u
                                               : s.compression == Compression::Group4 ? 5u
                                                                                      : 0u));
      },
      kHeld);
  table.Add(
      ICAP_PIXELTYPE, [&s] { return Described(OneValue(TWTY_UINT16, TwainPixelType(s.pixelKind))); }, kHeld);
  table.Add(
      ICAP_BITDEPTH, [&s] { return Described(OneValue(TWTY_UINT16, TW_UINT32(s.bitDepth))); }, kHeld);
  for (TW_UINT16 cap : {ICAP_XRESOLUTION, ICAP_YRESOLUTION})
    table.Add(
        cap, [&s] { return Described(OneValue(TWTY_FIX32, Fix32Bits(s.resolution))); }, kHeld);
  table.Add(
      CAP_FEEDERENABLED, [] { return Described(OneValue(TWTY_BOOL, 1)); }, kHeld);
  table.Add(
      CAP_INDICATORS, [&state] { return Described(dscommon::Switch(state.indicators, true)); },
      [&state](const CapRequest &r) {
        state.indicators = r.value != 0;
        return SetOutcome{};
      });
  table.Add(CAP_PAPERDETECTABLE,
            [&s] { return Described(OneValue(TWTY_BOOL, s.feederLoadedSupported ? 1 : 0)); });
  if (s.duplexEnumeration) {
    // A driver that answers FALSE and TRUE for every read, and lets nobody set it.
    table.Add(CAP_DUPLEXENABLED, [&s] {
      CapValue v = Enumeration(TWTY_BOOL, {0, 1}, s.sides == 2 ? 1 : 0, 1, false);
      v.everyReadWhole = true;
      return Described(v);
    });
  } else {
    table.Add(
        CAP_DUPLEXENABLED, [&s] { return Described(OneValue(TWTY_BOOL, s.sides == 2 ? 1 : 0)); }, kHeld);
  }
  // A strict driver tells the page side only to an application that set this TRUE in state 4.
  if (s.pageSideStrict)
    table.Add(
        kIcapExtImageInfo, [&state] { return Described(dscommon::Switch(state.extImageInfo, false)); },
        [&state](const CapRequest &r) {
          state.extImageInfo = r.value != 0;
          return SetOutcome{};
        });
  if (s.blankDiscardOffered)
    table.Add(
        ICAP_AUTODISCARDBLANKPAGES,
        [&state] {
          return Described(Enumeration(TWTY_INT32, {static_cast<TW_UINT32>(-2), static_cast<TW_UINT32>(-1)},
                                       static_cast<TW_UINT32>(state.discardBlank), static_cast<TW_UINT32>(-1),
                                       true));
        },
        [&s, &state](const CapRequest &r) {
          if (s.blankDiscardLocked)
            return SetOutcome{TWCC_DENIED};
          state.discardBlank = static_cast<TW_INT32>(r.value);
          return SetOutcome{};
        });
  if (s.doubleFeedDetection) {
    // Each a list of TW_UINT16 values the person (or an application) chooses from in state 4.
    struct Choice {
      TW_UINT16 cap;
      std::vector<TW_UINT32> values;
      TW_UINT16 &current;
    };
    for (const Choice &c :
         {Choice{CAP_DOUBLEFEEDDETECTION, {0, 1}, state.doubleFeedMethod},
          Choice{CAP_DOUBLEFEEDDETECTIONSENSITIVITY, {0, 1, 2}, state.doubleFeedSensitivity},
          Choice{CAP_DOUBLEFEEDDETECTIONRESPONSE, {0, 1}, state.doubleFeedResponse}}) {
      TW_UINT16 &current = c.current;
      table.Add(
          c.cap,
          [values = c.values, &current] {
            return Described(Enumeration(TWTY_UINT16, values, current, values[0], true));
          },
          [&current](const CapRequest &r) {
            current = static_cast<TW_UINT16>(r.value);
            return SetOutcome{};
          });
    }
  }
  table.Add(CAP_FEEDERLOADED, [&s, &state] {
    return s.feederLoadedSupported ? Described(OneValue(TWTY_BOOL, state.feederLoaded ? 1 : 0))
                                   : std::nullopt;
  });
  table.Add(CAP_UICONTROLLABLE, [] { return Described(OneValue(TWTY_BOOL, 1)); });
  table.Add(CAP_DEVICEONLINE, [] { return Described(OneValue(TWTY_BOOL, 1)); });
  table.Add(dscommon::CAP_ENABLEDSUIONLY, [] { return Described(OneValue(TWTY_BOOL, 1)); });
  table.Add(
      ICAP_UNITS,
      [&s] {
        const TW_UINT32 unit = s.unit == TWUN_CENTIMETERS ? TWUN_CENTIMETERS : TWUN_INCHES;
        return Described(Enumeration(TWTY_UINT16, {TWUN_INCHES, TWUN_CENTIMETERS}, unit, unit, false));
      },
      kHeld);
  table.Add(
      ICAP_PIXELFLAVOR,
      [&s] {
        const TW_UINT32 flavor = s.vanilla ? TWPF_VANILLA : TWPF_CHOCOLATE;
        return Described(Enumeration(TWTY_UINT16, {TWPF_CHOCOLATE, TWPF_VANILLA}, flavor, flavor, false));
      },
      kHeld);
  table.Add(
      dscommon::ICAP_BITORDER, [] { return Described(OneValue(TWTY_UINT16, dscommon::TWBO_MSBFIRST)); },
      kHeld);
  // The feeder goes on to the next sheet by itself.
  table.Add(
      dscommon::CAP_AUTOFEED, [] { return Described(OneValue(TWTY_BOOL, 1)); }, kHeld);
  table.Add(
      ICAP_PLANARCHUNKY, [] { return Described(OneValue(TWTY_UINT16, dscommon::TWPC_CHUNKY)); }, kHeld);
  table.Add(ICAP_PHYSICALWIDTH,
            [&s] { return Described(OneValue(TWTY_FIX32, Fix32Bits(InUnits(s, s.width)))); });
  table.Add(ICAP_PHYSICALHEIGHT,
            [&s] { return Described(OneValue(TWTY_FIX32, Fix32Bits(InUnits(s, s.height)))); });
  table.Add(
      ICAP_XFERMECH,
      [&s, &state] {
        std::vector<TW_UINT32> mechs;
        for (TW_UINT16 m : {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY})
          if (MechanismWorks(s, m))
            mechs.push_back(m);
        if (mechs.empty())
          return Described();
        return Described(Enumeration(TWTY_UINT16, mechs, state.xferMech, mechs.front(), true));
      },
      [&state](const CapRequest &r) {
        state.xferMech = static_cast<TW_UINT16>(r.value);
        return SetOutcome{};
      });
  table.Add(
      ICAP_IMAGEFILEFORMAT,
      [] { return Described(Enumeration(TWTY_UINT16, {TWFF_BMP}, TWFF_BMP, TWFF_BMP, false)); }, kHeld);
  table.Add(
      ICAP_FRAMES,
      [&s] {
        CapValue v;
        v.itemType = TWTY_FRAME;
        v.conType = TWON_ENUMERATION;
        v.frames = {PageFrame(s)};
        v.settable = true;
        v.freeValue = true;
        return Described(v);
      },
      // The scanner always images its whole page: any other frame on it is answered with the page.
      [&s](const CapRequest &r) {
        if (!OnPage(r.frame, PageFrame(s)))
          return SetOutcome{TWCC_BADVALUE};
        return SetOutcome{TWCC_SUCCESS, true};
      });
  table.Add(
      ICAP_UNDEFINEDIMAGESIZE,
      [&state] { return Described(dscommon::Switch(state.undefinedImageSize, false)); },
      [&state](const CapRequest &r) {
        state.undefinedImageSize = r.value != 0;
        return SetOutcome{};
      });
}

} // namespace vscan
