#include "sources/sane-source/DocumentOptions.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace sanesrc {
namespace {

std::string Lower(std::string s) {
  for (char &c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
bool HasAny(const std::string &text, std::initializer_list<const char *> words) {
  const std::string lower = Lower(text);
  return std::any_of(words.begin(), words.end(),
                     [&](const char *w) { return lower.find(w) != std::string::npos; });
}

// What an option does for the feeder.
enum class Role {
  SourceList,  // entries name where the paper comes from (and which sides)
  DuplexBool,  // both sides when true
  ModeList,    // entries say simplex/duplex, or single/continuous
  PaperSensor, // read-only: paper in the feeder
  CoverSensor,
  DoubleFeedSensor,
};

struct Convention {
  const char *name;
  Role role;
};

// The option names backends use for these, as their modules name them.
constexpr Convention kConventions[] = {
    {"source", Role::SourceList},       {"duplex", Role::DuplexBool},
    {"adf-mode", Role::ModeList},       {"feeder-mode", Role::ModeList},
    {"page-loaded", Role::PaperSensor}, {"paper-in-feeder", Role::PaperSensor},
    {"adf-loaded", Role::PaperSensor},  {"document-loaded", Role::PaperSensor},
    {"hopper", Role::PaperSensor},      {"cover-open", Role::CoverSensor},
    {"adf-open", Role::CoverSensor},    {"double-feed", Role::DoubleFeedSensor},
    {"dfeed", Role::DoubleFeedSensor},
};

// A source entry's meaning, by the words in it (in any case).
struct SourceEntry {
  bool feeder = false;
  bool duplex = false;
  bool backOnly = false;
};
SourceEntry ReadSourceEntry(const std::string &entry) {
  SourceEntry e;
  e.feeder = HasAny(entry, {"adf", "feeder", "automatic document", "duplex", "front", "back"}) &&
             !HasAny(entry, {"flatbed", "transparen", "film", "negative", "slide"});
  e.duplex = e.feeder && HasAny(entry, {"duplex"});
  e.backOnly = e.feeder && !e.duplex && HasAny(entry, {"back"});
  return e;
}

bool IsDuplexValue(const std::string &v) { return HasAny(v, {"duplex"}); }
bool IsSimplexValue(const std::string &v) { return HasAny(v, {"simplex", "single-sided", "front"}); }
bool IsContinuousValue(const std::string &v) { return HasAny(v, {"continuous", "auto"}); }
bool IsSingleValue(const std::string &v) { return HasAny(v, {"single", "manual"}) && !IsContinuousValue(v); }

bool IsSensor(const OptionInfo &o) {
  return (o.type == SaneType::Bool || o.type == SaneType::Button) && (o.cap & kSaneCapSoftSelect) == 0;
}

// The options found by the table, whether active now or not (an `adf-mode` waits for the feeder).
struct Found {
  const OptionInfo *source = nullptr;
  const OptionInfo *duplexBool = nullptr;
  const OptionInfo *duplexList = nullptr;   // a mode list of simplex/duplex
  const OptionInfo *autofeedList = nullptr; // a mode list of single/continuous
  const OptionInfo *paper = nullptr;
  const OptionInfo *cover = nullptr;
  const OptionInfo *doubleFeed = nullptr;
};

bool Any(const OptionInfo &o, bool (*test)(const std::string &)) {
  return std::any_of(o.strings.begin(), o.strings.end(), test);
}

Found FindAll(const Options &options) {
  Found f;
  for (const Convention &c : kConventions) {
    const auto at =
        std::find_if(options.begin(), options.end(), [&](const OptionInfo &o) { return o.name == c.name; });
    if (at == options.end())
      continue;
    const OptionInfo &o = *at;
    switch (c.role) {
    case Role::SourceList:
      if (o.type == SaneType::String && o.constraint == SaneConstraint::StringList && o.Active())
        f.source = &o;
      break;
    case Role::DuplexBool:
      if (o.type == SaneType::Bool && !IsSensor(o))
        f.duplexBool = &o;
      break;
    case Role::ModeList:
      if (o.type != SaneType::String || o.constraint != SaneConstraint::StringList)
        break;
      if (Any(o, IsDuplexValue) && Any(o, IsSimplexValue))
        f.duplexList = &o;
      else if (Any(o, IsContinuousValue) && Any(o, IsSingleValue))
        f.autofeedList = &o;
      break;
    case Role::PaperSensor:
      if (IsSensor(o) && o.Active() && !f.paper)
        f.paper = &o;
      break;
    case Role::CoverSensor:
      if (IsSensor(o) && o.Active() && !f.cover)
        f.cover = &o;
      break;
    case Role::DoubleFeedSensor:
      if (IsSensor(o) && o.Active() && !f.doubleFeed)
        f.doubleFeed = &o;
      break;
    }
  }
  return f;
}

const std::string *FirstEntry(const OptionInfo &source, bool feeder, bool duplex) {
  for (const std::string &s : source.strings) {
    const SourceEntry e = ReadSourceEntry(s);
    if (e.feeder == feeder && (!feeder || (e.duplex == duplex && !e.backOnly)))
      return &s;
  }
  return nullptr;
}

const std::string *FirstValue(const OptionInfo &list, bool (*test)(const std::string &)) {
  const auto at = std::find_if(list.strings.begin(), list.strings.end(), test);
  return at == list.strings.end() ? nullptr : &*at;
}

} // namespace

FeederState ReadFeeder(const Options &options) {
  const Found f = FindAll(options);
  FeederState s;
  bool sourceDuplex = false;
  if (f.source) {
    const SourceEntry current = ReadSourceEntry(f.source->text);
    bool anyFeeder = false, anyOther = false;
    for (const std::string &entry : f.source->strings) {
      const SourceEntry e = ReadSourceEntry(entry);
      anyFeeder = anyFeeder || e.feeder;
      anyOther = anyOther || !e.feeder;
      sourceDuplex = sourceDuplex || e.duplex;
    }
    s.feeder = anyFeeder;
    s.feederEnabled = current.feeder;
    s.feederSettable = anyFeeder && anyOther && f.source->Settable();
    s.duplexEnabled = current.duplex;
  } else {
    // No source to choose: a device with feeding options of its own only feeds.
    s.feeder = f.duplexBool || f.duplexList || f.autofeedList || f.paper;
    s.feederEnabled = s.feeder;
  }
  s.duplex = s.feeder && (sourceDuplex || f.duplexBool || f.duplexList);
  if (s.feederEnabled && f.duplexBool && f.duplexBool->Active())
    s.duplexEnabled = s.duplexEnabled || f.duplexBool->word != 0;
  if (s.feederEnabled && f.duplexList && f.duplexList->Active())
    s.duplexEnabled = s.duplexEnabled || IsDuplexValue(f.duplexList->text);
  s.duplexEnabled = s.duplexEnabled && s.feederEnabled;
  s.duplexSettable = s.duplex && ((f.source && f.source->Settable() && sourceDuplex) ||
                                  (f.duplexBool && (f.duplexBool->cap & kSaneCapSoftSelect)) ||
                                  (f.duplexList && (f.duplexList->cap & kSaneCapSoftSelect)));
  if (f.autofeedList && f.autofeedList->Active()) {
    s.autofeed = s.feederEnabled && IsContinuousValue(f.autofeedList->text);
    s.autofeedSettable = s.feederEnabled && f.autofeedList->Settable();
  } else {
    s.autofeed = s.feederEnabled; // a feeder without the choice goes on by itself
  }
  if (f.paper)
    s.paperSensed = f.paper->word != 0;
  s.doubleFeedSensed = f.doubleFeed && f.doubleFeed->word != 0;
  s.coverOpenSensed = f.cover && f.cover->word != 0;
  return s;
}

std::optional<std::vector<OptionChange>> PlanFeederSet(TW_UINT16 cap, bool want, const Options &options) {
  const FeederState now = ReadFeeder(options);
  const Found f = FindAll(options);
  std::vector<OptionChange> changes;
  auto setText = [&](const OptionInfo &o, const std::string &value) {
    if (o.text != value)
      changes.push_back({o.name, 0, value});
  };
  switch (cap) {
  case CAP_FEEDERENABLED: {
    if (now.feederEnabled == want)
      return changes;
    if (!now.feederSettable)
      return std::nullopt;
    // Into the feeder as a plain feeder: a duplex switch of its own keeps its value.
    const std::string *entry = FirstEntry(*f.source, want, false);
    if (!entry)
      return std::nullopt;
    setText(*f.source, *entry);
    return changes;
  }
  case CAP_DUPLEXENABLED: {
    if (now.duplexEnabled == want)
      return changes;
    if (!now.duplexSettable)
      return std::nullopt;
    if (f.source && ReadSourceEntry(f.source->text).duplex) { // duplex by the source: off keeps the feeder
      const std::string *plain = FirstEntry(*f.source, true, false);
      if (!plain || f.duplexBool || f.duplexList)
        return std::nullopt; // a feeder that cannot be simplex here
      setText(*f.source, *plain);
      return changes;
    }
    if (!want) {
      if (f.duplexBool && f.duplexBool->word)
        changes.push_back({f.duplexBool->name, 0, ""});
      if (f.duplexList && IsDuplexValue(f.duplexList->text))
        setText(*f.duplexList, *FirstValue(*f.duplexList, IsSimplexValue));
      return changes;
    }
    // Duplex on needs the feeder; a source list that names duplex gives both in one entry.
    if (!now.feederEnabled) {
      if (!now.feederSettable)
        return std::nullopt;
      const bool listDuplex = !f.duplexBool && !f.duplexList;
      const std::string *entry = FirstEntry(*f.source, true, listDuplex);
      if (!entry)
        return std::nullopt;
      setText(*f.source, *entry);
      if (listDuplex)
        return changes;
    } else if (f.source && !f.duplexBool && !f.duplexList) {
      const std::string *entry = FirstEntry(*f.source, true, true);
      if (!entry)
        return std::nullopt;
      setText(*f.source, *entry);
      return changes;
    }
    if (f.duplexBool)
      changes.push_back({f.duplexBool->name, 1, ""});
    else if (f.duplexList)
      changes.push_back({f.duplexList->name, 0, *FirstValue(*f.duplexList, IsDuplexValue)});
    return changes;
  }
  case kCapAutoFeed: {
    if (now.autofeed == want)
      return changes;
    if (!now.autofeedSettable)
      return std::nullopt;
    setText(*f.autofeedList, *FirstValue(*f.autofeedList, want ? IsContinuousValue : IsSingleValue));
    return changes;
  }
  default:
    return std::nullopt;
  }
}

} // namespace sanesrc
