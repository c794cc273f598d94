// The capabilities the bridge offers, described from the device's SANE options, which are looked
// up by name and read through their constraints. Pure: the options come in as plain records read
// by SaneDevice, and a capability set comes out as the option values to write.
#pragma once

#include "sources/common/CapValue.h"
#include "sources/sane-source/SaneValues.h"
#include "twain/TwainRecords.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sanesrc {

// One SANE option descriptor and its current value (single-word options only carry `word`).
struct OptionInfo {
  int index = -1;
  std::string name;
  SaneType type = SaneType::Int;
  int cap = 0;
  SaneUnit unit = SaneUnit::None;
  SaneConstraint constraint = SaneConstraint::None;
  std::vector<int32_t> words;          // a word list's entries (without its leading count)
  std::vector<std::string> strings;    // a string list's entries
  int32_t min = 0, max = 0, quant = 0; // a range
  int32_t word = 0;                    // current value of a bool, int or fixed option
  std::string text;                    // current value of a string option

  bool Active() const { return (cap & kSaneCapInactive) == 0; }
  bool Settable() const { return Active() && (cap & kSaneCapSoftSelect) != 0; }
};
using Options = std::vector<OptionInfo>;

// The active option of that name, or null.
const OptionInfo *FindOption(const Options &options, const std::string &name);

// What belongs to the TWAIN session rather than to the device.
struct SessionCaps {
  TW_UINT16 xferMech = TWSX_NATIVE;
  TW_INT16 xferCount = -1;
  bool feederLoaded = true;
};

// A capability's container: a one-value, an enumeration (items, current and default index) or a
// range (min, max, step, default, current), of 32-bit items of itemType.
using dscommon::CapValue;

// The capability from the options now (`now`) and as they were when the source was opened
// (`defaults`); nothing for a capability the device does not have.
std::optional<CapValue> DescribeCap(TW_UINT16 cap, const Options &now, const Options &defaults,
                                    const SessionCaps &session);

// One option write of a capability set.
struct OptionChange {
  std::string name;
  int32_t word = 0;
  std::string text; // for string options
};

// What MSG_SET of `value` (an item of itemType) means: option writes in order, or a session
// change, or a refusal (cc TWCC_BADVALUE for a value outside what the device offers,
// TWCC_CAPBADOPERATION for a capability that cannot be set).
struct SetPlan {
  TW_UINT16 cc = TWCC_SUCCESS;
  std::vector<OptionChange> changes;
  std::optional<TW_UINT16> xferMech;
  std::optional<TW_INT16> xferCount;
};
SetPlan PlanSet(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value, const Options &options,
                const SessionCaps &session);

// TW_FIX32 items as 32-bit values (Whole in the low half, Frac in the high half).
TW_UINT32 Fix32FromSane(const OptionInfo &option, int32_t word);
std::optional<int32_t> SaneFromFix32(const OptionInfo &option, TW_UINT32 fix32);

} // namespace sanesrc
