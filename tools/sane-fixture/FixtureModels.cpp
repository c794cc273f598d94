#include "tools/sane-fixture/FixtureModels.h"

namespace fixture {
namespace {

constexpr SANE_Int kSettable = SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT;
constexpr SANE_Int kSensor = SANE_CAP_HARD_SELECT | SANE_CAP_SOFT_DETECT; // read-only

OptionRow List(const char *name, std::vector<std::string> values, std::string initial) {
  return OptionRow{name, SANE_TYPE_STRING, kSettable, std::move(values), {}, 0, 0, 0, 0, std::move(initial)};
}
OptionRow Bool(const char *name, bool initial, SANE_Int cap = kSettable) {
  return OptionRow{name, SANE_TYPE_BOOL, cap, {}, {}, 0, 0, 0, initial ? SANE_TRUE : SANE_FALSE, ""};
}
OptionRow Range(const char *name, SANE_Word min, SANE_Word max, SANE_Word initial) {
  return OptionRow{name, SANE_TYPE_INT, kSettable, {}, {}, min, max, 1, initial, ""};
}
OptionRow Millimetres(const char *name, double max, double initial) {
  return OptionRow{name, SANE_TYPE_FIXED, kSettable, {}, {}, 0, SANE_FIX(max), 0, SANE_FIX(initial), ""};
}
std::vector<OptionRow> Geometry() {
  return {Millimetres("tl-x", 215.9, 0), Millimetres("tl-y", 355.6, 0), Millimetres("br-x", 215.9, 210),
          Millimetres("br-y", 355.6, 297)};
}
std::vector<OptionRow> Join(std::vector<OptionRow> a, const std::vector<OptionRow> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The feeding options the KV-S backends share (duplex a bool of its own).
std::vector<OptionRow> KvsFeeding() {
  return {Bool("duplex", false),
          List("feeder-mode", {"single", "continuous"}, "continuous"),
          List("manual-feed", {"off", "wait_doc", "wait_key"}, "off"),
          Range("feed-timeout", 1, 30, 30),
          Bool("double-feed", false),
          List("paper-size", {"user_def", "A4", "Letter"}, "A4"),
          Bool("landscape", false),
          Bool("length-control", true)};
}

} // namespace

const std::vector<Model> &Models() {
  static const std::vector<Model> models = {
      {"kvs1025", "Panasonic", "KV-S1025C",
       "kvs1025: a source list of one feeder, duplex and feeding as options",
       Join(Join({List("mode", {"Lineart", "Gray", "Color"}, "Color"), Range("resolution", 50, 600, 100),
                  List("source", {"adf"}, "adf")},
                 KvsFeeding()),
            Join({Bool("longpaper", false)}, Geometry()))},
      {"kvs20xx", "Panasonic", "KV-S2026C", "kvs20xx: no source option at all, always the feeder",
       Join(Join({List("mode", {"Lineart", "Gray", "Color"}, "Color"), Range("resolution", 50, 600, 100)},
                 KvsFeeding()),
            Geometry())},
      {"fujitsu", "FUJITSU", "fi-7160", "fujitsu: front, back and duplex in the source list; paper sensors",
       Join({List("mode", {"Lineart", "Halftone", "Gray", "Color"}, "Gray"),
             Range("resolution", 50, 600, 100), Range("y-resolution", 50, 600, 100),
             List("source", {"ADF Front", "ADF Back", "ADF Duplex"}, "ADF Front"),
             List("df-action", {"Default", "Continue", "Stop"}, "Default"),
             Bool("page-loaded", false, kSensor), Bool("cover-open", false, kSensor),
             Bool("double-feed", false, kSensor)},
            Geometry())},
      {"epson2", "Epson", "DS-1630", "epson2: flatbed or feeder as source, duplex in adf-mode",
       Join(
           {List("mode", {"Lineart", "Gray", "Color"}, "Color"),
            OptionRow{"resolution", SANE_TYPE_INT, kSettable, {}, {75, 100, 150, 300, 600}, 0, 0, 0, 100, ""},
            List("source", {"Flatbed", "Automatic Document Feeder"}, "Flatbed"),
            OptionRow{"adf-mode",
                      SANE_TYPE_STRING,
                      kSettable,
                      {"Simplex", "Duplex"},
                      {},
                      0,
                      0,
                      0,
                      0,
                      "Simplex",
                      "source",
                      "Automatic Document Feeder"}},
           Geometry())},
  };
  return models;
}

} // namespace fixture
