// Capabilities some drivers answer in their own way, each on a scenario key: ICAP_EXTIMAGEINFO
// offered and settable as a strict driver has it (`page_side = strict`: no page side until the
// application set it TRUE), and CAP_DUPLEXENABLED given as an enumeration of TRUE and FALSE for
// every read (`duplex_enumeration`).
#pragma once

#include "tools/virtual-scanner/Capabilities.h"
#include "twain/TwainRecords.h"

namespace vscan {

struct Scenario;

constexpr TW_UINT16 ICAP_EXTIMAGEINFO = 0x112F;

// Answers `cap` when the scenario gives it one of these answers (true); false leaves it to the
// usual answer. `extImageInfo` is the session's ICAP_EXTIMAGEINFO, which MSG_SET and MSG_RESET
// change (in state 4, as the caller checks).
bool AnswerStrictly(const Scenario &scenario, bool &extImageInfo, TW_UINT16 msg, TW_CAPABILITY &cap,
                    CapabilityAnswer &answer);

} // namespace vscan
