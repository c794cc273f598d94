// The capabilities of one data source and the whole negotiation over them: MSG_GET, GETCURRENT,
// GETDEFAULT, SET, RESET, RESETALL and QUERYSUPPORT for every capability from one table, and the
// messages of capabilities with constraints, help or labels answered as a source without them
// answers. The source gives each capability's values and how a value is set; the table checks what
// the application asks against what the source offers, picks the nearest value where one is close,
// and builds the containers. CAP_SUPPORTEDCAPS lists the table.
#pragma once

#include "sources/common/CapValue.h"
#include "sources/common/CapabilityContainers.h"
#include "sources/common/TripletResult.h"

#include <functional>
#include <optional>
#include <vector>

namespace dscommon {

// What setting a value did: its condition code, and whether the device took a value near it.
struct SetOutcome {
  TW_UINT16 cc = TWCC_SUCCESS;
  bool inexact = false;
};

class CapabilityTable {
public:
  // The capability's values now; nothing when the device does not have it (then it is not listed).
  using Describe = std::function<std::optional<CapValue>()>;
  // Makes `request` current; called only with a value the capability offers, which differs from the
  // current one.
  using Set = std::function<SetOutcome(const CapRequest &request)>;

  // A capability the application can only read (no `set`), or negotiate.
  void Add(TW_UINT16 cap, Describe describe, Set set = nullptr);
  void Clear() { entries_.clear(); }

  // DG_CONTROL / DAT_CAPABILITY / msg; the caller has checked the TWAIN state. `cap.hContainer`
  // gets a new block the application owns where the message answers a container.
  TripletResult Answer(TW_UINT16 msg, TW_CAPABILITY &cap);
  // Every negotiable capability back to its default (MSG_RESETALL).
  TripletResult ResetAll();

  // The capabilities the source has now, CAP_SUPPORTEDCAPS among them.
  std::vector<TW_UINT16> Supported() const;

  // A driver behaviour: MSG_GET answers enumerations as one-values of their current item.
  void AnswerEnumerationsAsOneValues(bool on) { oneValueAnswers_ = on; }

private:
  struct Entry {
    TW_UINT16 cap;
    Describe describe;
    Set set;
  };
  const Entry *Find(TW_UINT16 cap) const;
  std::optional<CapValue> Values(const Entry &entry) const;
  TripletResult SetValue(const Entry &entry, const CapValue &value, const CapRequest &request);
  TripletResult Reset(const Entry &entry, TW_CAPABILITY &cap);

  std::vector<Entry> entries_;
  bool oneValueAnswers_ = false;
};

// The value among those offered that a request asks for: the same item, or (for `nearest`
// numbers between those offered) the nearest; nothing when it is not offered.
struct Choice {
  CapRequest request;
  bool exact = true;
};
std::optional<Choice> ChooseOffered(const CapValue &offered, const CapRequest &request);

} // namespace dscommon
