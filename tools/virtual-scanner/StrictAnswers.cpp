#include "tools/virtual-scanner/StrictAnswers.h"

#include "tools/data-source-common/CapabilityContainers.h"
#include "tools/virtual-scanner/Scenario.h"
#include "win/Owners.h"

namespace vscan {
namespace {

CapabilityAnswer Fail(TW_UINT16 cc) { return CapabilityAnswer{TWRC_FAILURE, cc}; }

CapabilityAnswer Give(TW_CAPABILITY &cap, TW_UINT16 conType, HGLOBAL container) {
  if (!container)
    return Fail(TWCC_LOWMEMORY);
  cap.ConType = conType;
  cap.hContainer = container;
  return CapabilityAnswer{};
}

CapabilityAnswer ExtImageInfo(bool &on, TW_UINT16 msg, TW_CAPABILITY &cap) {
  switch (msg) {
  case MSG_SET: {
    if (cap.ConType != TWON_ONEVALUE || !cap.hContainer)
      return Fail(TWCC_BADVALUE);
    win::GlobalLockGuard lock(cap.hContainer);
    TW_UINT16 type = 0;
    const auto value = dscommon::DecodeOneValue(lock.data(), lock.size(), type);
    if (!value || type != TWTY_BOOL)
      return Fail(TWCC_BADVALUE);
    on = *value != 0;
    return CapabilityAnswer{};
  }
  case MSG_RESET:
    on = false;
    [[fallthrough]];
  case MSG_GET:
  case MSG_GETCURRENT:
    return Give(cap, TWON_ONEVALUE, dscommon::BuildOneValue(TWTY_BOOL, on ? 1 : 0));
  case MSG_GETDEFAULT:
    return Give(cap, TWON_ONEVALUE, dscommon::BuildOneValue(TWTY_BOOL, 0));
  case MSG_QUERYSUPPORT:
    return Give(cap, TWON_ONEVALUE, dscommon::BuildOneValue(TWTY_INT32, dscommon::QuerySupport(true, true)));
  default:
    return Fail(TWCC_BADPROTOCOL);
  }
}

CapabilityAnswer DuplexEnumeration(const Scenario &scenario, TW_UINT16 msg, TW_CAPABILITY &cap) {
  switch (msg) {
  case MSG_GET:
  case MSG_GETCURRENT:
  case MSG_GETDEFAULT:
    return Give(cap, TWON_ENUMERATION,
                dscommon::BuildEnumeration(TWTY_BOOL, {0, 1}, scenario.sides == 2 ? 1 : 0, 1));
  case MSG_QUERYSUPPORT:
    return Give(cap, TWON_ONEVALUE,
                dscommon::BuildOneValue(TWTY_INT32, dscommon::QuerySupport(false, false)));
  case MSG_SET:
  case MSG_RESET:
    return Fail(TWCC_CAPBADOPERATION);
  default:
    return Fail(TWCC_BADPROTOCOL);
  }
}

} // namespace

bool AnswerStrictly(const Scenario &scenario, bool &extImageInfo, TW_UINT16 msg, TW_CAPABILITY &cap,
                    CapabilityAnswer &answer) {
  if (cap.Cap == ICAP_EXTIMAGEINFO && scenario.pageSideStrict) {
    answer = ExtImageInfo(extImageInfo, msg, cap);
    return true;
  }
  if (cap.Cap == CAP_DUPLEXENABLED && scenario.duplexEnumeration) {
    answer = DuplexEnumeration(scenario, msg, cap);
    return true;
  }
  return false;
}

} // namespace vscan
