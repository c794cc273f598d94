// What a document scanner's SANE options say about its feeder, whatever the backend calls them:
// one table of the option conventions backends follow (a `source` list whose entries name the
// feeder, duplex, front, back or flatbed; a `duplex` bool; `adf-mode`/`feeder-mode` lists of
// simplex/duplex or single/continuous; read-only paper, cover and double-feed sensors), read into
// the TWAIN meanings of CAP_FEEDERENABLED, CAP_DUPLEXENABLED, CAP_AUTOFEED and CAP_FEEDERLOADED,
// and turned back into option writes that change one of them without undoing another. Pure.
#pragma once

#include "sources/sane-source/OptionCaps.h"

#include <optional>
#include <vector>

namespace sanesrc {

// CAP_AUTOFEED, which the station's records do not name.
constexpr TW_UINT16 kCapAutoFeed = 0x1007;

struct FeederState {
  bool feeder = false;        // the device has a document feeder
  bool feederEnabled = false; // it is in use (always, on a device that only feeds)
  bool feederSettable = false;
  bool duplex = false; // both sides can be scanned
  bool duplexEnabled = false;
  bool duplexSettable = false;
  bool autofeed = false; // the feeder goes on to the next sheet by itself
  bool autofeedSettable = false;
  std::optional<bool> paperSensed; // a paper sensor's reading, when the device has one
  bool doubleFeedSensed = false;
  bool coverOpenSensed = false;
};

FeederState ReadFeeder(const Options &options);

// The writes, in order, that make `cap` (CAP_FEEDERENABLED, CAP_DUPLEXENABLED or CAP_AUTOFEED)
// `want` and leave the other two as they are; none when it already is. Nothing when the device
// cannot.
std::optional<std::vector<OptionChange>> PlanFeederSet(TW_UINT16 cap, bool want, const Options &options);

} // namespace sanesrc
