#include "sources/sane-source/ScanArea.h"

#include "sources/common/TwainProtocol.h"

#include <algorithm>
#include <cmath>

namespace sanesrc {
namespace {

constexpr double kMmPerInch = 25.4;
constexpr const char *kNames[4] = {"tl-x", "tl-y", "br-x", "br-y"};

struct Area {
  const OptionInfo *corner[4] = {};
  double dpi = 0; // for options in pixels
};

std::optional<Area> FindArea(const Options &options) {
  Area area;
  for (int i = 0; i < 4; ++i) {
    area.corner[i] = FindOption(options, kNames[i]);
    const OptionInfo *o = area.corner[i];
    if (!o || (o->type != SaneType::Int && o->type != SaneType::Fixed) ||
        (o->unit != SaneUnit::Mm && o->unit != SaneUnit::Pixel))
      return std::nullopt;
  }
  if (const OptionInfo *r = FindOption(options, "resolution"))
    area.dpi = r->type == SaneType::Fixed ? r->word / 65536.0 : r->word;
  return area;
}

double Number(const OptionInfo &o, int32_t word) { return o.type == SaneType::Fixed ? word / 65536.0 : word; }

double ToInches(const Area &a, const OptionInfo &o, int32_t word) {
  const double n = Number(o, word);
  if (o.unit == SaneUnit::Mm)
    return n / kMmPerInch;
  return a.dpi > 0 ? n / a.dpi : 0;
}

int32_t FromInches(const Area &a, const OptionInfo &o, double inches) {
  const double n = o.unit == SaneUnit::Mm ? inches * kMmPerInch : inches * a.dpi;
  const double word = o.type == SaneType::Fixed ? n * 65536.0 : n;
  int32_t w = static_cast<int32_t>(std::floor(std::max(-2147483647.0, std::min(2147483647.0, word)) + 0.5));
  if (o.constraint == SaneConstraint::Range)
    w = std::max(o.min, std::min(o.max, w));
  return w;
}

TW_FRAME Frame(const Area &a, const int32_t words[4]) {
  TW_FRAME f{};
  f.Left = dscommon::Fix32(ToInches(a, *a.corner[0], words[0]));
  f.Top = dscommon::Fix32(ToInches(a, *a.corner[1], words[1]));
  f.Right = dscommon::Fix32(ToInches(a, *a.corner[2], words[2]));
  f.Bottom = dscommon::Fix32(ToInches(a, *a.corner[3], words[3]));
  return f;
}

int32_t RangeEnd(const OptionInfo &o, bool high) {
  if (o.constraint != SaneConstraint::Range)
    return o.word;
  return high ? o.max : o.min;
}

} // namespace

std::optional<TW_FRAME> AreaFrame(const Options &options) {
  const std::optional<Area> a = FindArea(options);
  if (!a)
    return std::nullopt;
  const int32_t words[4] = {a->corner[0]->word, a->corner[1]->word, a->corner[2]->word, a->corner[3]->word};
  return Frame(*a, words);
}

std::optional<TW_FRAME> FullFrame(const Options &options) {
  const std::optional<Area> a = FindArea(options);
  if (!a)
    return std::nullopt;
  const int32_t words[4] = {RangeEnd(*a->corner[0], false), RangeEnd(*a->corner[1], false),
                            RangeEnd(*a->corner[2], true), RangeEnd(*a->corner[3], true)};
  return Frame(*a, words);
}

std::vector<OptionChange> AreaChanges(const Options &options, const TW_FRAME &frame) {
  const std::optional<Area> a = FindArea(options);
  if (!a)
    return {};
  const double inches[4] = {dscommon::Fix32Value(frame.Left), dscommon::Fix32Value(frame.Top),
                            dscommon::Fix32Value(frame.Right), dscommon::Fix32Value(frame.Bottom)};
  if (!(inches[2] > inches[0]) || !(inches[3] > inches[1]))
    return {};
  int32_t words[4];
  for (int i = 0; i < 4; ++i)
    words[i] = FromInches(*a, *a->corner[i], inches[i]);
  // Clipped to the bed, the area must still hold a scan line each way: a frame beside the bed is
  // refused rather than scanned as a single dot.
  const double line = a->dpi > 0 ? 1.0 / a->dpi : 0;
  for (int i : {0, 1})
    if (!(ToInches(*a, *a->corner[i + 2], words[i + 2]) - ToInches(*a, *a->corner[i], words[i]) >= line) ||
        words[i + 2] <= words[i])
      return {};
  std::vector<OptionChange> changes;
  for (int i : {2, 3})
    changes.push_back({kNames[i], RangeEnd(*a->corner[i], true), ""});
  for (int i = 0; i < 4; ++i)
    changes.push_back({kNames[i], words[i], ""});
  return changes;
}

} // namespace sanesrc
