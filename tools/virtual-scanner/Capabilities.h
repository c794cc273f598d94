// The capabilities the virtual scanner answers: containers built in global memory for
// DAT_CAPABILITY, and the decoding of the containers an application sends with MSG_SET.
#pragma once

#include "twain/TwainRecords.h"

#include <cstddef>
#include <optional>

namespace vscan {

struct Scenario;

// What the capabilities report that changes while the source is open.
struct CapabilityState {
  bool feederLoaded = false;
  TW_UINT16 xferMech = TWSX_NATIVE; // the standard's default until the application sets another
};

struct CapabilityAnswer {
  TW_UINT16 rc = TWRC_SUCCESS;
  TW_UINT16 cc = TWCC_SUCCESS;
};

// Answers DG_CONTROL / DAT_CAPABILITY / msg into `cap` (hContainer gets a new global block that the
// application then owns). MSG_SET changes `state` when the value is accepted.
CapabilityAnswer AnswerCapability(const Scenario &scenario, CapabilityState &state, TW_UINT16 msg,
                                  TW_CAPABILITY &cap);

// The transfer mechanisms the scenario lets work, in TWSX_ order.
bool MechanismWorks(const Scenario &scenario, TW_UINT16 mech);

} // namespace vscan
