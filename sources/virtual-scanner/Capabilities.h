// The capabilities the virtual scanner offers, as rows of the shared capability table: their values
// from the scenario and from what the application set in this session.
#pragma once

#include "sources/common/CapabilityTable.h"
#include "twain/TwainRecords.h"

namespace vscan {

struct Scenario;

// What the application set in this session, and what changes while the source is open.
struct CapabilityState {
  bool feederLoaded = false;
  TW_UINT16 xferMech = TWSX_NATIVE; // the standard's default until the application sets another
  TW_INT16 xferCount = -1;
  bool indicators = true;
  bool undefinedImageSize = false;
  bool extImageInfo = false;  // ICAP_EXTIMAGEINFO, where the scenario offers it
  TW_INT32 discardBlank = -1; // ICAP_AUTODISCARDBLANKPAGES: TWBP_AUTO, or TWBP_DISABLE (-2)
  // Double-feed detection, where the scenario offers it: ultrasonic, medium, and the response
  // the scenario's paper fault asks for (TWDP_STOP, or TWDP_STOPANDWAIT to leave pages pending).
  TW_UINT16 doubleFeedMethod = 0;
  TW_UINT16 doubleFeedSensitivity = 1;
  TW_UINT16 doubleFeedResponse = 0;
};

constexpr TW_UINT16 kStopAndWait = 1; // TWDP_STOPANDWAIT

// Fills `table` with the scanner's capabilities; the rows read `scenario` and `state` whenever they
// are asked, so both must outlive the table's use.
void AddCapabilities(dscommon::CapabilityTable &table, const Scenario &scenario, CapabilityState &state);

// The transfer mechanisms the scenario lets work, in TWSX_ order.
bool MechanismWorks(const Scenario &scenario, TW_UINT16 mech);

// The page in the scenario's unit: left, top, right and bottom.
TW_FRAME PageFrame(const Scenario &scenario);
// Whether an area asked for has some of the page in it: one wholly beside the page is refused.
bool OnPage(const TW_FRAME &area, const TW_FRAME &page);

} // namespace vscan
