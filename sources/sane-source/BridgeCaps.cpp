// The bridge's capabilities on the shared table: those read from the device's options
// (OptionCaps), the scan area (ScanArea), and those of the TWAIN session itself.
#include "sources/sane-source/Bridge.h"

#include "sources/sane-source/DocumentOptions.h"
#include "sources/sane-source/ScanArea.h"

#include <cstdio>

namespace sanesrc {

using dscommon::CapRequest;
using dscommon::CapValue;
using dscommon::SetOutcome;

namespace {

using Described = std::optional<CapValue>;

const dscommon::CapabilityTable::Set kHeld = [](const CapRequest &) { return SetOutcome{TWCC_BADVALUE}; };

} // namespace

void Bridge::AddCapabilities() {
  dscommon::CapabilityTable &t = caps_;
  t.Clear();
  // From the device's options.
  for (TW_UINT16 cap : {ICAP_XRESOLUTION, ICAP_YRESOLUTION, ICAP_PIXELTYPE, ICAP_BITDEPTH, CAP_FEEDERENABLED,
                        CAP_DUPLEXENABLED, kCapAutoFeed, ICAP_UNITS, ICAP_PIXELFLAVOR, ICAP_COMPRESSION})
    t.Add(
        cap,
        [this, cap] {
          std::optional<CapValue> v = DescribeCap(cap, options_, defaults_, session_);
          if (v && (cap == ICAP_XRESOLUTION || cap == ICAP_YRESOLUTION))
            v->nearest = true;
          return v;
        },
        [this, cap](const CapRequest &r) { return SetOptions(cap, r); });
  for (TW_UINT16 cap : {CAP_FEEDERLOADED, CAP_PAPERDETECTABLE})
    t.Add(cap, [this, cap] { return DescribeCap(cap, options_, defaults_, session_); });
  // The scan area.
  for (TW_UINT16 cap : {dscommon::ICAP_PHYSICALWIDTH, dscommon::ICAP_PHYSICALHEIGHT})
    t.Add(cap, [this, cap]() -> Described {
      const std::optional<TW_FRAME> full = FullFrame(options_);
      if (!full)
        return std::nullopt;
      const TW_FIX32 size = cap == dscommon::ICAP_PHYSICALWIDTH ? full->Right : full->Bottom;
      return dscommon::OneValue(TWTY_FIX32, dscommon::Fix32Bits(dscommon::Fix32Value(size)));
    });
  t.Add(
      dscommon::ICAP_FRAMES,
      [this]() -> Described {
        const std::optional<TW_FRAME> now = AreaFrame(options_);
        if (!now)
          return std::nullopt;
        CapValue v;
        v.itemType = TWTY_FRAME;
        v.conType = TWON_ENUMERATION;
        v.frames = {*now};
        const std::optional<TW_FRAME> def = AreaFrame(defaults_);
        if (def && std::memcmp(&*def, &*now, sizeof *now) != 0) {
          v.frames.push_back(*def);
          v.defaultIndex = 1;
        }
        v.settable = true;
        v.freeValue = true;
        return v;
      },
      [this](const CapRequest &r) {
        const std::vector<OptionChange> changes = AreaChanges(options_, r.frame);
        if (changes.empty())
          return SetOutcome{TWCC_BADVALUE};
        SetOutcome outcome = WriteChanges(changes);
        const std::optional<TW_FRAME> now = AreaFrame(options_);
        outcome.inexact = outcome.inexact || !now || std::memcmp(&*now, &r.frame, sizeof r.frame) != 0;
        return outcome;
      });
  // The session's own.
  t.Add(
      CAP_XFERCOUNT,
      [this] {
        return Described(dscommon::FreeValue(TWTY_INT16, static_cast<TW_UINT16>(session_.xferCount), 0xFFFF));
      },
      [this](const CapRequest &r) {
        const auto count = static_cast<TW_INT16>(r.value);
        if (count == 0 || count < -1)
          return SetOutcome{TWCC_BADVALUE};
        session_.xferCount = count;
        return SetOutcome{};
      });
  t.Add(
      ICAP_XFERMECH,
      [this] {
        return Described(dscommon::Enumeration(TWTY_UINT16, {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY},
                                               session_.xferMech, TWSX_NATIVE, true));
      },
      [this](const CapRequest &r) {
        session_.xferMech = static_cast<TW_UINT16>(r.value);
        return SetOutcome{};
      });
  t.Add(dscommon::CAP_UICONTROLLABLE, [] { return Described(dscommon::OneValue(TWTY_BOOL, 1)); });
  t.Add(dscommon::CAP_ENABLEDSUIONLY, [] { return Described(dscommon::OneValue(TWTY_BOOL, 1)); });
  t.Add(dscommon::CAP_DEVICEONLINE,
        [this] { return Described(dscommon::OneValue(TWTY_BOOL, device_ ? 1 : 0)); });
  t.Add(
      CAP_INDICATORS, [this] { return Described(dscommon::Switch(indicators_, true)); },
      [this](const CapRequest &r) {
        indicators_ = r.value != 0;
        return SetOutcome{};
      });
  t.Add(
      dscommon::ICAP_PLANARCHUNKY,
      [] { return Described(dscommon::OneValue(TWTY_UINT16, dscommon::TWPC_CHUNKY)); }, kHeld);
  t.Add(
      dscommon::ICAP_BITORDER,
      [] { return Described(dscommon::OneValue(TWTY_UINT16, dscommon::TWBO_MSBFIRST)); }, kHeld);
  t.Add(
      dscommon::ICAP_IMAGEFILEFORMAT,
      [] { return Described(dscommon::Enumeration(TWTY_UINT16, {TWFF_BMP}, TWFF_BMP, TWFF_BMP, false)); },
      kHeld);
  t.Add(
      dscommon::ICAP_UNDEFINEDIMAGESIZE,
      [this] { return Described(dscommon::Switch(undefinedImageSize_, false)); },
      [this](const CapRequest &r) {
        undefinedImageSize_ = r.value != 0;
        return SetOutcome{};
      });
}

SetOutcome Bridge::SetOptions(TW_UINT16 cap, const CapRequest &request) {
  const SetPlan plan = PlanSet(cap, request.itemType, request.value, options_, session_);
  if (plan.cc != TWCC_SUCCESS)
    return SetOutcome{plan.cc};
  SetOutcome outcome = WriteChanges(plan.changes);
  if (outcome.cc != TWCC_SUCCESS)
    return outcome;
  if (plan.xferMech)
    session_.xferMech = *plan.xferMech;
  if (plan.xferCount)
    session_.xferCount = *plan.xferCount;
  return outcome;
}

SetOutcome Bridge::WriteChanges(const std::vector<OptionChange> &changes) {
  SetOutcome outcome;
  for (const OptionChange &change : changes) {
    const OptionInfo *option = FindOption(options_, change.name);
    bool inexact = false;
    int status = int(SaneStatus::Unsupported);
    if (option)
      device_->Run([&](SaneDevice &device) { status = device.Write(*option, change, inexact); });
    ReadOptions();
    if (status != int(SaneStatus::Good))
      return SetOutcome{MeaningOf(status).cc};
    outcome.inexact = outcome.inexact || inexact; // the device took a value near the one asked for
  }
  return outcome;
}

std::string SettingsText(const Options &options) {
  auto text = [&](const char *name) {
    const OptionInfo *o = FindOption(options, name);
    return o ? o->text : std::string("-");
  };
  std::string out = "Source: " + text("source") + "\nMode: " + text("mode");
  if (const OptionInfo *r = FindOption(options, "resolution"))
    out += "\nResolution: " + std::to_string(r->type == SaneType::Fixed ? r->word >> 16 : r->word) + " dpi";
  if (const std::optional<TW_FRAME> area = AreaFrame(options)) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "\nArea: %.2f, %.2f to %.2f, %.2f in", dscommon::Fix32Value(area->Left),
                  dscommon::Fix32Value(area->Top), dscommon::Fix32Value(area->Right),
                  dscommon::Fix32Value(area->Bottom));
    out += buf;
  }
  return out;
}

} // namespace sanesrc
