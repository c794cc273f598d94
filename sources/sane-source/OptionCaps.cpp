#include "sources/sane-source/OptionCaps.h"

#include "sources/sane-source/DocumentOptions.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace sanesrc {
namespace {

constexpr TW_UINT16 TWPF_CHOCOLATE = 0;
constexpr TW_UINT16 TWCP_NONE = 0;

std::string Lower(std::string s) {
  for (char &c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
bool Has(const std::string &text, const char *part) { return Lower(text).find(part) != std::string::npos; }

// The pixel type a SANE scan mode gives; -1 for modes the bridge does not offer.
int PixelTypeOfMode(const std::string &mode) {
  if (Has(mode, "lineart") || Has(mode, "binary") || Has(mode, "black") || Has(mode, "halftone"))
    return TWPT_BW;
  if (Has(mode, "gray") || Has(mode, "grey"))
    return TWPT_GRAY;
  if (Has(mode, "color") || Has(mode, "colour"))
    return TWPT_RGB;
  return -1;
}

bool HasWord(const OptionInfo *o, int32_t w) {
  return o && std::find(o->words.begin(), o->words.end(), w) != o->words.end();
}

// The first mode of a pixel type; a grey mode stands for black and white when depth 1 exists.
const std::string *ModeFor(const OptionInfo &mode, int pixelType) {
  for (const std::string &m : mode.strings)
    if (PixelTypeOfMode(m) == pixelType)
      return &m;
  return nullptr;
}

int CurrentPixelType(const Options &options) {
  const OptionInfo *mode = FindOption(options, "mode");
  const OptionInfo *depth = FindOption(options, "depth");
  if (!mode)
    return -1;
  const int type = PixelTypeOfMode(mode->text);
  return type == TWPT_GRAY && depth && depth->word == 1 ? TWPT_BW : type;
}

std::vector<int> PixelTypes(const Options &options) {
  std::vector<int> types;
  const OptionInfo *mode = FindOption(options, "mode");
  if (!mode)
    return types;
  const bool bwByDepth = ModeFor(*mode, TWPT_GRAY) && HasWord(FindOption(options, "depth"), 1);
  for (int t : {TWPT_BW, TWPT_GRAY, TWPT_RGB})
    if (ModeFor(*mode, t) || (t == TWPT_BW && bwByDepth))
      types.push_back(t);
  return types;
}

int Samples(int pixelType) { return pixelType == TWPT_RGB ? 3 : 1; }

// Bit depths (per pixel) the device gives for a pixel type.
std::vector<TW_UINT32> Depths(const Options &options, int pixelType) {
  if (pixelType == TWPT_BW)
    return {1};
  const OptionInfo *depth = FindOption(options, "depth");
  std::vector<TW_UINT32> depths;
  if (depth && depth->constraint == SaneConstraint::WordList) {
    for (int32_t d : depth->words)
      if (d == 8 || d == 16)
        depths.push_back(static_cast<TW_UINT32>(d * Samples(pixelType)));
  }
  if (depths.empty())
    depths.push_back(static_cast<TW_UINT32>(8 * Samples(pixelType)));
  return depths;
}

const OptionInfo *ResolutionOption(const Options &options, TW_UINT16 cap) {
  const OptionInfo *own = FindOption(options, cap == ICAP_XRESOLUTION ? "x-resolution" : "y-resolution");
  return own ? own : FindOption(options, "resolution");
}

CapValue OneValue(TW_UINT16 type, TW_UINT32 value, bool settable = false) {
  CapValue v;
  v.itemType = type;
  v.items = {value};
  v.settable = settable;
  return v;
}

CapValue Enumeration(TW_UINT16 type, std::vector<TW_UINT32> items, TW_UINT32 current, TW_UINT32 def,
                     bool settable) {
  CapValue v;
  v.itemType = type;
  v.conType = TWON_ENUMERATION;
  auto indexOf = [&](TW_UINT32 item) {
    const auto at = std::find(items.begin(), items.end(), item);
    return static_cast<TW_UINT32>(at == items.end() ? 0 : at - items.begin());
  };
  v.current = indexOf(current);
  v.defaultIndex = indexOf(def);
  v.items = std::move(items);
  v.settable = settable;
  return v;
}

std::optional<CapValue> Resolution(TW_UINT16 cap, const Options &now, const Options &defaults) {
  const OptionInfo *o = ResolutionOption(now, cap);
  if (!o || (o->type != SaneType::Int && o->type != SaneType::Fixed))
    return std::nullopt;
  const OptionInfo *d = ResolutionOption(defaults, cap);
  const TW_UINT32 current = Fix32FromSane(*o, o->word);
  const TW_UINT32 def = Fix32FromSane(*o, d ? d->word : o->word);
  if (o->constraint == SaneConstraint::WordList && !o->words.empty()) {
    std::vector<TW_UINT32> items;
    for (int32_t w : o->words)
      items.push_back(Fix32FromSane(*o, w));
    return Enumeration(TWTY_FIX32, items, current, def, o->Settable());
  }
  if (o->constraint == SaneConstraint::Range) {
    CapValue v;
    v.itemType = TWTY_FIX32;
    v.conType = TWON_RANGE;
    v.min = Fix32FromSane(*o, o->min);
    v.max = Fix32FromSane(*o, o->max);
    v.step =
        Fix32FromSane(*o, o->quant > 0 ? o->quant : (o->type == SaneType::Fixed ? 1 << kSaneFixedShift : 1));
    v.currentValue = current;
    v.defaultValue = def;
    v.settable = o->Settable();
    return v;
  }
  return OneValue(TWTY_FIX32, current, o->Settable());
}

// Feeder, duplex and automatic feeding, by the document-scanner conventions of the options.
std::optional<CapValue> Feeding(TW_UINT16 cap, const Options &now, const Options &defaults) {
  const FeederState state = ReadFeeder(now);
  const FeederState initial = ReadFeeder(defaults);
  bool current = state.feederEnabled, def = initial.feederEnabled, settable = state.feederSettable;
  if (cap == CAP_DUPLEXENABLED) {
    current = state.duplexEnabled;
    def = initial.duplexEnabled;
    settable = state.duplexSettable;
  } else if (cap == kCapAutoFeed) {
    if (!state.feeder)
      return std::nullopt;
    current = state.autofeed;
    def = initial.autofeed;
    settable = state.autofeedSettable;
  }
  // Read as one value, settable or not: an application reads a TW_BOOL's state that way (the
  // station tells a simplex batch by CAP_DUPLEXENABLED's one value). What the device can do is on
  // and off both; one it cannot change offers only its state.
  if (settable)
    return dscommon::Switch(current, def);
  CapValue value = OneValue(TWTY_BOOL, current ? 1 : 0);
  value.items.push_back(def ? 1 : 0);
  value.defaultIndex = 1;
  return value;
}

SetPlan Refuse(TW_UINT16 cc) {
  SetPlan p;
  p.cc = cc;
  return p;
}

SetPlan SetPixelType(TW_UINT32 value, const Options &options) {
  const OptionInfo *mode = FindOption(options, "mode");
  const OptionInfo *depth = FindOption(options, "depth");
  const std::vector<int> types = PixelTypes(options);
  if (!mode || !mode->Settable())
    return Refuse(TWCC_CAPBADOPERATION);
  if (std::find(types.begin(), types.end(), int(value)) == types.end())
    return Refuse(TWCC_BADVALUE);
  SetPlan plan;
  const std::string *own = ModeFor(*mode, int(value));
  if (own) {
    plan.changes.push_back({"mode", 0, *own});
    // Leaving a depth-1 grey for grey or colour: the usual 8 bits.
    if (value != TWPT_BW && depth && depth->word == 1 && HasWord(depth, 8))
      plan.changes.push_back({"depth", 8, ""});
  } else { // black and white as one-bit grey
    plan.changes.push_back({"mode", 0, *ModeFor(*mode, TWPT_GRAY)});
    plan.changes.push_back({"depth", 1, ""});
  }
  return plan;
}

SetPlan SetFeeding(TW_UINT16 cap, TW_UINT32 value, const Options &options) {
  std::optional<std::vector<OptionChange>> changes = PlanFeederSet(cap, value != 0, options);
  if (!changes)
    return Refuse(TWCC_BADVALUE);
  SetPlan plan;
  plan.changes = std::move(*changes);
  return plan;
}

} // namespace

const OptionInfo *FindOption(const Options &options, const std::string &name) {
  for (const OptionInfo &o : options)
    if (o.name == name && o.Active())
      return &o;
  return nullptr;
}

TW_UINT32 Fix32FromSane(const OptionInfo &option, int32_t word) {
  int32_t whole = std::clamp<int32_t>(word, -32768, 32767); // beyond a TW_FIX32, its nearest end
  uint32_t frac = 0;
  if (option.type == SaneType::Fixed) {
    whole = word >> kSaneFixedShift; // floor, so the fraction is never negative
    frac = static_cast<uint32_t>(word) & 0xFFFF;
  }
  return static_cast<TW_UINT32>(static_cast<uint16_t>(whole)) | (frac << 16);
}

std::optional<int32_t> SaneFromFix32(const OptionInfo &option, TW_UINT32 fix32) {
  const int32_t whole = static_cast<int16_t>(fix32 & 0xFFFF);
  const int32_t frac = static_cast<int32_t>(fix32 >> 16);
  int32_t word = 0;
  if (option.type == SaneType::Fixed)
    word = static_cast<int32_t>(static_cast<uint32_t>(whole) << kSaneFixedShift) + frac;
  else
    word = whole + (frac >= 0x8000 ? 1 : 0);
  switch (option.constraint) {
  case SaneConstraint::WordList:
    if (std::find(option.words.begin(), option.words.end(), word) == option.words.end())
      return std::nullopt;
    break;
  case SaneConstraint::Range:
    if (word < option.min || word > option.max)
      return std::nullopt;
    break;
  default:
    break;
  }
  return word;
}

std::optional<CapValue> DescribeCap(TW_UINT16 cap, const Options &now, const Options &defaults,
                                    const SessionCaps &session) {
  switch (cap) {
  case ICAP_XRESOLUTION:
  case ICAP_YRESOLUTION:
    return Resolution(cap, now, defaults);
  case ICAP_PIXELTYPE: {
    const int current = CurrentPixelType(now);
    if (current < 0)
      return std::nullopt;
    const int def = CurrentPixelType(defaults);
    std::vector<TW_UINT32> items;
    for (int t : PixelTypes(now))
      items.push_back(static_cast<TW_UINT32>(t));
    const OptionInfo *mode = FindOption(now, "mode");
    return Enumeration(TWTY_UINT16, items, TW_UINT32(current), TW_UINT32(def < 0 ? current : def),
                       mode->Settable() && items.size() > 1);
  }
  case ICAP_BITDEPTH: {
    const int type = CurrentPixelType(now);
    if (type < 0)
      return std::nullopt;
    const OptionInfo *depth = FindOption(now, "depth");
    // A backend's depth is taken as it says, in bounds: a 16-bit item holds up to 65535.
    const int64_t bits = int64_t(depth ? depth->word : 8) * Samples(type);
    const TW_UINT32 current =
        type == TWPT_BW ? 1 : static_cast<TW_UINT32>(std::clamp<int64_t>(bits, 0, 0xFFFF));
    std::vector<TW_UINT32> items = Depths(now, type);
    const TW_UINT32 def = items.front();
    // The device's own depth is what it scans at, also one the source would not choose (colour at
    // one bit a sample): it is said as current, and a set of another is a real change.
    if (std::find(items.begin(), items.end(), current) == items.end())
      items.push_back(current);
    return Enumeration(TWTY_UINT16, items, current, def, depth && depth->Settable() && items.size() > 1);
  }
  case CAP_FEEDERENABLED:
  case CAP_DUPLEXENABLED:
  case kCapAutoFeed:
    return Feeding(cap, now, defaults);
  case CAP_FEEDERLOADED:
    return OneValue(TWTY_BOOL, session.feederLoaded ? 1 : 0);
  case CAP_PAPERDETECTABLE:
    return OneValue(TWTY_BOOL, ReadFeeder(now).paperSensed ? 1 : 0);
  case ICAP_XFERMECH:
    return Enumeration(TWTY_UINT16, {TWSX_NATIVE, TWSX_MEMORY}, session.xferMech, TWSX_NATIVE, true);
  case CAP_XFERCOUNT:
    return dscommon::FreeValue(TWTY_INT16, static_cast<TW_UINT16>(session.xferCount), 0xFFFF);
  case ICAP_UNITS:
    return Enumeration(TWTY_UINT16, {TWUN_INCHES}, TWUN_INCHES, TWUN_INCHES, true);
  case ICAP_PIXELFLAVOR:
    return OneValue(TWTY_UINT16, TWPF_CHOCOLATE);
  case ICAP_COMPRESSION:
    return OneValue(TWTY_UINT16, TWCP_NONE);
  default:
    return std::nullopt;
  }
}

SetPlan PlanSet(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value, const Options &options,
                const SessionCaps &session) {
  const bool fix32 = itemType == TWTY_FIX32;
  switch (cap) {
  case ICAP_XRESOLUTION:
  case ICAP_YRESOLUTION: {
    const OptionInfo *o = ResolutionOption(options, cap);
    if (!o || !o->Settable())
      return Refuse(TWCC_CAPBADOPERATION);
    if (!fix32)
      return Refuse(TWCC_BADVALUE);
    const std::optional<int32_t> word = SaneFromFix32(*o, value);
    if (!word)
      return Refuse(TWCC_BADVALUE);
    return SetPlan{TWCC_SUCCESS, {{o->name, *word, ""}}, std::nullopt, std::nullopt};
  }
  case ICAP_PIXELTYPE:
    return fix32 ? Refuse(TWCC_BADVALUE) : SetPixelType(value & 0xFFFF, options);
  case ICAP_BITDEPTH: {
    const int type = CurrentPixelType(options);
    const std::vector<TW_UINT32> depths = type < 0 ? std::vector<TW_UINT32>{} : Depths(options, type);
    const OptionInfo *depth = FindOption(options, "depth");
    const bool held = type > TWPT_BW && depth && int64_t(depth->word) * Samples(type) == int64_t(value);
    if (fix32 || (!held && std::find(depths.begin(), depths.end(), value) == depths.end()))
      return Refuse(TWCC_BADVALUE);
    if (held || type == TWPT_BW || !depth || depth->word == int32_t(value) / Samples(type))
      return SetPlan{};
    if (!depth->Settable())
      return Refuse(TWCC_CAPBADOPERATION);
    return SetPlan{TWCC_SUCCESS, {{"depth", int32_t(value) / Samples(type), ""}}, std::nullopt, std::nullopt};
  }
  case CAP_FEEDERENABLED:
  case CAP_DUPLEXENABLED:
  case kCapAutoFeed:
    return fix32 ? Refuse(TWCC_BADVALUE) : SetFeeding(cap, value & 0xFFFF, options);
  case ICAP_XFERMECH: {
    if (value != TWSX_NATIVE && value != TWSX_MEMORY)
      return Refuse(TWCC_BADVALUE);
    SetPlan plan;
    plan.xferMech = static_cast<TW_UINT16>(value);
    return plan;
  }
  case CAP_XFERCOUNT: {
    const auto count = static_cast<TW_INT16>(value & 0xFFFF);
    if (fix32 || (count != -1 && count <= 0))
      return Refuse(TWCC_BADVALUE);
    SetPlan plan;
    plan.xferCount = count;
    return plan;
  }
  case ICAP_UNITS:
    return value == TWUN_INCHES ? SetPlan{} : Refuse(TWCC_BADVALUE);
  default:
    return Refuse(DescribeCap(cap, options, options, session) ? TWCC_CAPBADOPERATION : TWCC_CAPUNSUPPORTED);
  }
}

} // namespace sanesrc
