#include "tools/virtual-scanner/Capabilities.h"

#include "tools/data-source-common/CapabilityContainers.h"

#include "tools/virtual-scanner/PageImage.h"
#include "tools/virtual-scanner/Scenario.h"
#include "win/Owners.h"

#include <cstring>
#include <vector>

namespace vscan {

using dscommon::BuildEnumeration;
using dscommon::BuildOneValue;
using dscommon::DecodeOneValue;
using dscommon::QuerySupport;

namespace {

// How one capability is shown: a one-value, or an enumeration of UINT16 items.
struct CapValue {
  TW_UINT16 itemType = TWTY_UINT16;
  bool enumeration = false;
  std::vector<TW_UINT32> items; // one item for a one-value
  TW_UINT32 current = 0;        // index into items
  TW_UINT32 defaultIndex = 0;
  bool settable = false;
};

TW_UINT32 Fix32Bits(int whole) { return static_cast<TW_UINT32>(static_cast<TW_UINT16>(whole)); }

CapValue OneValue(TW_UINT16 type, TW_UINT32 value) {
  CapValue v;
  v.itemType = type;
  v.items = {value};
  return v;
}

std::optional<CapValue> Describe(const Scenario &s, const CapabilityState &state, TW_UINT16 cap) {
  switch (cap) {
  case CAP_XFERCOUNT: {
    CapValue v = OneValue(TWTY_INT16, 0xFFFF); // -1: every page the feeder holds
    v.settable = true;
    return v;
  }
  case ICAP_COMPRESSION:
    return OneValue(TWTY_UINT16, s.compression == Compression::Jpeg     ? 6u
                                 : s.compression == Compression::Group4 ? 5u
                                                                        : 0u);
  case ICAP_PIXELTYPE:
    return OneValue(TWTY_UINT16, TwainPixelType(s.pixelKind));
  case ICAP_BITDEPTH:
    return OneValue(TWTY_UINT16, static_cast<TW_UINT32>(s.bitDepth));
  case ICAP_XRESOLUTION:
  case ICAP_YRESOLUTION:
    return OneValue(TWTY_FIX32, Fix32Bits(s.resolution));
  case CAP_FEEDERENABLED:
  case CAP_INDICATORS:
    return OneValue(TWTY_BOOL, 1);
  case CAP_PAPERDETECTABLE:
    return OneValue(TWTY_BOOL, s.feederLoadedSupported ? 1 : 0);
  case CAP_DUPLEXENABLED:
    return OneValue(TWTY_BOOL, s.sides == 2 ? 1 : 0);
  case CAP_FEEDERLOADED:
    if (!s.feederLoadedSupported)
      return std::nullopt;
    return OneValue(TWTY_BOOL, state.feederLoaded ? 1 : 0);
  case ICAP_UNITS: {
    CapValue v;
    v.enumeration = true;
    v.items = {TWUN_INCHES, TWUN_CENTIMETERS};
    v.current = s.unit == TWUN_CENTIMETERS ? 1 : 0;
    return v;
  }
  case ICAP_PIXELFLAVOR: {
    CapValue v;
    v.enumeration = true;
    v.items = {TWPF_CHOCOLATE, TWPF_VANILLA};
    v.current = s.vanilla ? 1 : 0;
    return v;
  }
  case ICAP_XFERMECH: {
    CapValue v;
    v.enumeration = true;
    v.settable = true;
    for (TW_UINT16 m : {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY})
      if (MechanismWorks(s, m)) {
        if (m == state.xferMech)
          v.current = static_cast<TW_UINT32>(v.items.size());
        v.items.push_back(m);
      }
    if (v.items.empty())
      return std::nullopt;
    return v;
  }
  default:
    return std::nullopt;
  }
}

CapabilityAnswer Fail(TW_UINT16 cc) { return CapabilityAnswer{TWRC_FAILURE, cc}; }

CapabilityAnswer Set(const CapValue &v, CapabilityState &state, TW_CAPABILITY &cap) {
  if (!v.settable)
    return Fail(TWCC_CAPBADOPERATION);
  if (cap.ConType != TWON_ONEVALUE || !cap.hContainer)
    return Fail(TWCC_BADVALUE);
  win::GlobalLockGuard lock(cap.hContainer);
  TW_UINT16 type = 0;
  const auto value = DecodeOneValue(lock.data(), lock.size(), type);
  if (!value || type != v.itemType)
    return Fail(TWCC_BADVALUE);
  if (cap.Cap == ICAP_XFERMECH) {
    bool known = false;
    for (TW_UINT32 item : v.items)
      known = known || item == *value;
    if (!known)
      return Fail(TWCC_BADVALUE);
    state.xferMech = static_cast<TW_UINT16>(*value);
  }
  return CapabilityAnswer{};
}

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

CapabilityAnswer AnswerCapability(const Scenario &scenario, CapabilityState &state, TW_UINT16 msg,
                                  TW_CAPABILITY &cap) {
  const std::optional<CapValue> value = Describe(scenario, state, cap.Cap);
  if (!value)
    return Fail(TWCC_CAPUNSUPPORTED);

  HGLOBAL container = nullptr;
  TW_UINT16 conType = TWON_ONEVALUE;
  switch (msg) {
  case MSG_SET:
    return Set(*value, state, cap);
  case MSG_QUERYSUPPORT:
    container = BuildOneValue(TWTY_INT32, QuerySupport(value->settable, true));
    break;
  case MSG_GETCURRENT:
    container = BuildOneValue(value->itemType, value->items[value->current]);
    break;
  case MSG_GETDEFAULT:
    container = BuildOneValue(value->itemType, value->items[value->defaultIndex]);
    break;
  case MSG_RESET:
    if (cap.Cap == ICAP_XFERMECH) {
      state.xferMech = static_cast<TW_UINT16>(value->items[value->defaultIndex]);
      return AnswerCapability(scenario, state, MSG_GET, cap);
    }
    [[fallthrough]];
  case MSG_GET:
    if (value->enumeration && !scenario.oneValueCaps) {
      container = BuildEnumeration(value->itemType, value->items, value->current, value->defaultIndex);
      conType = TWON_ENUMERATION;
    } else {
      container = BuildOneValue(value->itemType, value->items[value->current]);
    }
    break;
  default:
    return Fail(TWCC_BADPROTOCOL);
  }
  if (!container)
    return Fail(TWCC_LOWMEMORY);
  cap.ConType = conType;
  cap.hContainer = container;
  return CapabilityAnswer{};
}

} // namespace vscan
