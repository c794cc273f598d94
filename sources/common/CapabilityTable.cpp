#include "sources/common/CapabilityTable.h"

#include "sources/common/TwainProtocol.h"
#include "win/Owners.h"

#include <cmath>
#include <cstring>

namespace dscommon {
namespace {

TripletResult Fail(TW_UINT16 cc) { return TripletResult{TWRC_FAILURE, cc}; }

bool Signed(TW_UINT16 type) { return type == TWTY_INT8 || type == TWTY_INT16 || type == TWTY_INT32; }

// An item as a number, for choosing the nearest.
double Number(TW_UINT16 type, TW_UINT32 bits) {
  if (type == TWTY_FIX32)
    return Fix32Value(bits);
  return Signed(type) ? static_cast<double>(static_cast<int32_t>(bits)) : static_cast<double>(bits);
}

TW_UINT32 Bits(TW_UINT16 type, double number) {
  if (type == TWTY_FIX32)
    return Fix32Bits(number);
  const double rounded = std::floor(number + 0.5);
  return Signed(type) ? static_cast<TW_UINT32>(static_cast<int32_t>(rounded))
                      : static_cast<TW_UINT32>(rounded);
}

// The numbers an item of `type` holds; an application's value beyond them is not one it can mean.
bool Holds(TW_UINT16 type, double number) {
  const double rounded = std::floor(number + 0.5);
  switch (type) {
  case TWTY_INT8:
    return rounded >= -128 && rounded <= 127;
  case TWTY_INT16:
    return rounded >= -32768 && rounded <= 32767;
  case TWTY_INT32:
    return rounded >= -2147483648.0 && rounded <= 2147483647.0;
  case TWTY_UINT8:
    return rounded >= 0 && rounded <= 255;
  case TWTY_UINT16:
    return rounded >= 0 && rounded <= 65535;
  case TWTY_UINT32:
    return rounded >= 0 && rounded <= 4294967295.0;
  case TWTY_FIX32:
    return number >= -32768.0 && number < 32768.0;
  default:
    return false;
  }
}

// One item of the request's type as an item of `type`; nothing when that type cannot hold it.
std::optional<TW_UINT32> Converted(TW_UINT16 from, TW_UINT32 bits, TW_UINT16 type) {
  const double number = Number(from, bits);
  if (type == TWTY_BOOL)
    return number != 0 ? 1u : 0u;
  if (!Holds(type, number))
    return std::nullopt;
  return Bits(type, number);
}

// The request's items in the capability's own item type: applications send a BOOL as any integer,
// a whole resolution as an integer, and so on. False when a value does not fit that type.
bool ToItemType(CapRequest &r, TW_UINT16 type) {
  if ((r.itemType == TWTY_FRAME) != (type == TWTY_FRAME))
    return false;
  if (type == TWTY_FRAME || r.itemType == type)
    return true;
  bool fits = true;
  auto convert = [&](TW_UINT32 &item) {
    const std::optional<TW_UINT32> c = Converted(r.itemType, item, type);
    fits = fits && c.has_value();
    item = c.value_or(0);
  };
  convert(r.value);
  for (TW_UINT32 &item : r.list)
    convert(item);
  if (r.conType == TWON_RANGE) {
    convert(r.min);
    convert(r.max);
    convert(r.step);
  }
  r.itemType = type;
  return fits;
}

// CAP_XFERCOUNT's -1 ("every page there is") comes in whatever type the application holds the
// count in: as an unsigned item it is all ones at that width (0xFFFF for a TWTY_UINT16).
void TakeAllOnesAsMinusOne(CapRequest &r) {
  const bool unsignedItem =
      r.itemType == TWTY_UINT8 || r.itemType == TWTY_UINT16 || r.itemType == TWTY_UINT32;
  const uint32_t bytes = TwainScalarItemSize(r.itemType);
  if (r.conType != TWON_ONEVALUE || !unsignedItem || bytes == 0 || bytes > 4)
    return;
  const TW_UINT32 allOnes = bytes == 4 ? 0xFFFFFFFFu : (1u << (8 * bytes)) - 1;
  if ((r.value & allOnes) == allOnes) {
    r.itemType = TWTY_INT32;
    r.value = 0xFFFFFFFFu;
  }
}

bool SameFrame(const TW_FRAME &a, const TW_FRAME &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Two items of a type, compared at the type's width (a -1 held as 0xFFFF is the -1 asked for) and
// as truth values for a BOOL.
bool SameItem(TW_UINT16 type, TW_UINT32 a, TW_UINT32 b) {
  if (type == TWTY_BOOL)
    return (a != 0) == (b != 0);
  const uint32_t bytes = TwainScalarItemSize(type);
  const TW_UINT32 mask = bytes >= 4 ? 0xFFFFFFFFu : (1u << (8 * bytes)) - 1;
  return ((a ^ b) & mask) == 0;
}

bool IsCurrent(const CapValue &v, const CapRequest &r) {
  if (v.itemType == TWTY_FRAME)
    return v.current < v.frames.size() && SameFrame(v.frames[v.current], r.frame);
  return SameItem(v.itemType, v.CurrentItem(), r.value);
}

// A constraint the application sent (an enumeration or range other than the source's own), which a
// source without constraints does not take: the set then answers TWRC_CHECKSTATUS.
bool ConstraintIgnored(const CapValue &v, const CapRequest &r) {
  if (r.conType == TWON_ENUMERATION) {
    if (v.conType != TWON_ENUMERATION)
      return true;
    if (v.itemType == TWTY_FRAME)
      return false;
    if (r.list.size() != v.items.size())
      return true;
    for (size_t i = 0; i < r.list.size(); ++i)
      if (!SameItem(v.itemType, r.list[i], v.items[i]))
        return true;
    return false;
  }
  if (r.conType == TWON_RANGE)
    return v.conType != TWON_RANGE || r.min != v.min || r.max != v.max || r.step != v.step;
  return false;
}

// Whether a set can make another value current: a value held as it is is no setting.
bool Changeable(const CapValue &v) {
  if (!v.settable || v.conType == TWON_ARRAY)
    return false;
  if (v.freeValue)
    return true;
  if (v.conType == TWON_RANGE)
    return v.min != v.max;
  return v.Count() > 1;
}

CapRequest RequestOf(const CapValue &v, TW_UINT32 index, TW_UINT32 rangeValue) {
  CapRequest r;
  r.itemType = v.itemType;
  if (v.itemType == TWTY_FRAME)
    r.frame = v.frames.at(index);
  else
    r.value = v.conType == TWON_RANGE ? rangeValue : v.items.at(index);
  return r;
}

} // namespace

std::optional<Choice> ChooseOffered(const CapValue &v, const CapRequest &request) {
  Choice choice{request, true};
  if (IsCurrent(v, request))
    return choice;
  if (!v.settable || v.conType == TWON_ARRAY)
    return std::nullopt;
  if (v.freeValue)
    return choice;
  const double wanted = Number(v.itemType, request.value);
  if (v.conType == TWON_RANGE) {
    const double min = Number(v.itemType, v.min), max = Number(v.itemType, v.max);
    const double step = Number(v.itemType, v.step);
    if (wanted < min || wanted > max)
      return std::nullopt;
    const double snapped = step > 0 ? min + std::floor((wanted - min) / step + 0.5) * step : wanted;
    choice.request.value = Bits(v.itemType, snapped > max ? max : snapped);
    choice.exact = choice.request.value == request.value;
    return choice;
  }
  for (TW_UINT32 item : v.items)
    if (SameItem(v.itemType, item, request.value)) {
      choice.request.value = item;
      return choice;
    }
  if (!v.nearest || v.items.empty())
    return std::nullopt;
  double low = Number(v.itemType, v.items[0]), high = low;
  TW_UINT32 best = v.items[0];
  for (TW_UINT32 item : v.items) {
    const double n = Number(v.itemType, item);
    low = std::min(low, n);
    high = std::max(high, n);
    if (std::fabs(n - wanted) < std::fabs(Number(v.itemType, best) - wanted))
      best = item;
  }
  if (wanted < low || wanted > high)
    return std::nullopt;
  choice.request.value = best;
  choice.exact = false;
  return choice;
}

void CapabilityTable::Add(TW_UINT16 cap, Describe describe, Set set) {
  entries_.push_back(Entry{cap, std::move(describe), std::move(set)});
}

const CapabilityTable::Entry *CapabilityTable::Find(TW_UINT16 cap) const {
  for (const Entry &e : entries_)
    if (e.cap == cap)
      return &e;
  return nullptr;
}

std::optional<CapValue> CapabilityTable::Values(const Entry &entry) const {
  std::optional<CapValue> v = entry.describe();
  if (v && (v->Count() == 0 && v->conType != TWON_RANGE))
    return std::nullopt; // a capability with nothing to offer is not one the source has
  return v;
}

std::vector<TW_UINT16> CapabilityTable::Supported() const {
  std::vector<TW_UINT16> caps{CAP_SUPPORTEDCAPS};
  for (const Entry &e : entries_)
    if (Values(e))
      caps.push_back(e.cap);
  return caps;
}

TripletResult CapabilityTable::Answer(TW_UINT16 msg, TW_CAPABILITY &cap) {
  if (msg == MSG_RESETALL)
    return ResetAll();
  std::optional<CapValue> value;
  const Entry *entry = nullptr;
  if (cap.Cap == CAP_SUPPORTEDCAPS) {
    CapValue list;
    list.conType = TWON_ARRAY;
    for (TW_UINT16 c : Supported())
      list.items.push_back(c);
    value = list;
  } else if ((entry = Find(cap.Cap)) != nullptr) {
    value = Values(*entry);
  }
  if (!value)
    return Fail(TWCC_CAPUNSUPPORTED);
  const bool negotiable = entry && entry->set;

  HGLOBAL container = nullptr;
  TW_UINT16 conType = TWON_ONEVALUE;
  switch (msg) {
  case MSG_GET:
    if (oneValueAnswers_ && value->conType == TWON_ENUMERATION)
      container = BuildCurrent(*value, conType);
    else
      container = BuildContainer(*value, conType);
    break;
  case MSG_GETCURRENT:
    container = value->everyReadWhole ? BuildContainer(*value, conType) : BuildCurrent(*value, conType);
    break;
  case MSG_GETDEFAULT:
    container = value->everyReadWhole ? BuildContainer(*value, conType) : BuildDefault(*value, conType);
    break;
  case MSG_QUERYSUPPORT:
    container = BuildOneValue(
        TWTY_INT32, static_cast<TW_UINT32>(TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT |
                                           (negotiable && Changeable(*value) ? TWQC_SET | TWQC_RESET : 0)));
    break;
  case MSG_SET: {
    if (!negotiable)
      return Fail(TWCC_CAPBADOPERATION);
    if (!cap.hContainer)
      return Fail(TWCC_BADVALUE);
    std::optional<CapRequest> request;
    {
      win::GlobalLockGuard lock(cap.hContainer);
      if (!lock)
        return Fail(TWCC_BADVALUE);
      request = DecodeRequest(cap.ConType, lock.data(), lock.size());
    }
    if (request && cap.Cap == CAP_XFERCOUNT)
      TakeAllOnesAsMinusOne(*request);
    if (!request || request->conType == TWON_ARRAY || !ToItemType(*request, value->itemType))
      return Fail(TWCC_BADVALUE);
    return SetValue(*entry, *value, *request);
  }
  case MSG_RESET:
    if (!negotiable)
      return Fail(TWCC_CAPBADOPERATION);
    return Reset(*entry, cap);
  case MSG_SETCONSTRAINT:
  case MSG_GETHELP:
  case MSG_GETLABEL:
  case MSG_GETLABELENUM:
    return Fail(TWCC_CAPBADOPERATION); // our sources keep no constraints, help texts or labels
  default:
    return Fail(TWCC_BADPROTOCOL);
  }
  if (!container)
    return Fail(TWCC_LOWMEMORY);
  cap.ConType = conType;
  cap.hContainer = container;
  return TripletResult{};
}

TripletResult CapabilityTable::SetValue(const Entry &entry, const CapValue &value,
                                        const CapRequest &request) {
  const std::optional<Choice> choice = ChooseOffered(value, request);
  // What QUERYSUPPORT says cannot be set takes its own value as it is and refuses any other as an
  // operation it does not support, so that the refusal agrees with what it says of itself.
  if (!Changeable(value) && !(choice && IsCurrent(value, choice->request)))
    return Fail(TWCC_CAPBADOPERATION);
  if (!choice)
    return Fail(TWCC_BADVALUE);
  SetOutcome outcome;
  if (!IsCurrent(value, choice->request))
    outcome = entry.set(choice->request);
  if (outcome.cc != TWCC_SUCCESS)
    return Fail(outcome.cc);
  const bool asked = choice->exact && !outcome.inexact && !ConstraintIgnored(value, request);
  return TripletResult{asked ? TWRC_SUCCESS : TWRC_CHECKSTATUS, TWCC_SUCCESS};
}

TripletResult CapabilityTable::Reset(const Entry &entry, TW_CAPABILITY &cap) {
  const std::optional<CapValue> value = Values(entry);
  if (!value)
    return Fail(TWCC_CAPUNSUPPORTED);
  const CapRequest def = RequestOf(*value, value->defaultIndex, value->defaultValue);
  if (!IsCurrent(*value, def)) {
    const SetOutcome outcome = entry.set(def);
    if (outcome.cc != TWCC_SUCCESS)
      return Fail(outcome.cc);
  }
  // The value now, as MSG_GET gives it.
  return Answer(MSG_GET, cap);
}

TripletResult CapabilityTable::ResetAll() {
  for (const Entry &entry : entries_) {
    if (!entry.set)
      continue;
    const std::optional<CapValue> value = Values(entry);
    if (!value)
      continue;
    const CapRequest def = RequestOf(*value, value->defaultIndex, value->defaultValue);
    if (!IsCurrent(*value, def))
      entry.set(def); // a default the device refuses now leaves that one as it is
  }
  return TripletResult{};
}

} // namespace dscommon
