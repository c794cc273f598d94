// The fixture SANE backend "tovik": devices that present the option sets of real document-scanner
// backends (FixtureModels.cpp), a feeder of sheets whose fronts and backs carry their sheet number
// and side in the pixels, paper sensors where the modelled backend has them, and the faults its
// scenario (Scenario.h) asks for. SANE's dll backend loads it as libsane-tovik.so.1.
//
// Pixels: sheet k's front has the grey level 16 + 28 (k - 1), its back 14 more (a flatbed page
// is 128); colour pages carry that level in red, 60 (front) or 200 (back) in green and 255 minus
// the level in blue; lineart fronts are white, backs black.
#include "tools/sane-fixture/FixtureModels.h"
#include "tools/sane-fixture/Scenario.h"

#include <sane/sane.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace fixture {
namespace {

// A device's feeder outlives its handles: what is left in it stays for the next session.
struct Feeder {
  std::string loadSeen;
  int sheetsLeft = 0;
  int fed = 0; // sheets fed since the last load: the number of the next one is fed + 1
};
std::map<std::string, Feeder> &Feeders() {
  static std::map<std::string, Feeder> feeders;
  return feeders;
}

struct Device {
  const Model *model = nullptr;
  std::vector<OptionRow> rows; // current values
  std::vector<SANE_Option_Descriptor> descriptors;
  std::vector<std::vector<SANE_String_Const>> stringLists;
  std::vector<std::vector<SANE_Word>> wordLists;
  std::vector<SANE_Range> ranges;

  std::atomic<bool> cancelled{false};
  bool doubleFed = false;
  bool backPending = false; // the sheet's front is read; its back comes with the next start
  int sheet = 0;
  SANE_Parameters parameters{};
  std::vector<uint8_t> image;
  size_t readAt = 0;
  bool scanning = false;
};

OptionRow *Row(Device &d, const char *name) {
  for (OptionRow &r : d.rows)
    if (std::strcmp(r.name, name) == 0)
      return &r;
  return nullptr;
}
std::string Text(Device &d, const char *name) {
  const OptionRow *r = Row(d, name);
  return r ? r->text : std::string();
}
bool Active(Device &d, const OptionRow &r) { return !r.activeWhen || Text(d, r.activeWhen) == r.activeValue; }

bool UsesFeeder(Device &d) {
  const OptionRow *source = Row(d, "source");
  return !source || source->text != "Flatbed";
}
bool Duplex(Device &d) {
  const OptionRow *duplex = Row(d, "duplex");
  const OptionRow *adfMode = Row(d, "adf-mode");
  return (duplex && duplex->word) || Text(d, "source").find("Duplex") != std::string::npos ||
         (adfMode && Active(d, *adfMode) && adfMode->text == "Duplex");
}

void Describe(Device &d) {
  const size_t n = d.rows.size() + 1;
  d.descriptors.assign(n, SANE_Option_Descriptor{});
  d.stringLists.assign(n, {});
  d.wordLists.assign(n, {});
  d.ranges.assign(n, SANE_Range{});
  SANE_Option_Descriptor &count = d.descriptors[0];
  count.name = "";
  count.title = "Number of options";
  count.desc = "Read-only option that gives the number of options.";
  count.type = SANE_TYPE_INT;
  count.size = sizeof(SANE_Word);
  count.cap = SANE_CAP_SOFT_DETECT;
  for (size_t i = 1; i < n; ++i) {
    const OptionRow &r = d.rows[i - 1];
    SANE_Option_Descriptor &o = d.descriptors[i];
    o.name = o.title = o.desc = r.name;
    o.type = r.type;
    o.cap = r.cap | (Active(d, r) ? 0 : SANE_CAP_INACTIVE);
    o.unit = r.type == SANE_TYPE_FIXED           ? SANE_UNIT_MM
             : std::strstr(r.name, "resolution") ? SANE_UNIT_DPI
                                                 : SANE_UNIT_NONE;
    o.size = sizeof(SANE_Word);
    if (!r.strings.empty()) {
      size_t longest = 0;
      for (const std::string &s : r.strings) {
        d.stringLists[i].push_back(s.c_str());
        longest = std::max(longest, s.size());
      }
      d.stringLists[i].push_back(nullptr);
      o.size = SANE_Int(longest + 1);
      o.constraint_type = SANE_CONSTRAINT_STRING_LIST;
      o.constraint.string_list = d.stringLists[i].data();
    } else if (!r.words.empty()) {
      d.wordLists[i].push_back(SANE_Word(r.words.size()));
      d.wordLists[i].insert(d.wordLists[i].end(), r.words.begin(), r.words.end());
      o.constraint_type = SANE_CONSTRAINT_WORD_LIST;
      o.constraint.word_list = d.wordLists[i].data();
    } else if (r.min < r.max) {
      d.ranges[i] = SANE_Range{r.min, r.max, r.quant};
      o.constraint_type = SANE_CONSTRAINT_RANGE;
      o.constraint.range = &d.ranges[i];
    }
  }
}

Feeder &FeederOf(Device &d, const Scenario &s) {
  Feeder &f = Feeders()[d.model->device];
  if (f.loadSeen != s.load) {
    f.loadSeen = s.load;
    f.sheetsLeft = s.sheets;
    f.fed = 0;
  }
  return f;
}

// The sensors as the device would read them now.
void Sense(Device &d) {
  const Scenario s = ReadScenario();
  const Feeder &f = FeederOf(d, s);
  if (OptionRow *r = Row(d, "page-loaded"); r && r->cap == (SANE_CAP_HARD_SELECT | SANE_CAP_SOFT_DETECT))
    r->word = f.sheetsLeft > 0 ? SANE_TRUE : SANE_FALSE;
  if (OptionRow *r = Row(d, "cover-open"); r && !(r->cap & SANE_CAP_SOFT_SELECT))
    r->word = s.coverOpen ? SANE_TRUE : SANE_FALSE;
  if (OptionRow *r = Row(d, "double-feed"); r && !(r->cap & SANE_CAP_SOFT_SELECT))
    r->word = d.doubleFed ? SANE_TRUE : SANE_FALSE;
}

double Number(const OptionRow *r) {
  if (!r)
    return 0;
  return r->type == SANE_TYPE_FIXED ? SANE_UNFIX(r->word) : double(r->word);
}

void MakePage(Device &d, int sheet, bool back) {
  const std::string mode = Text(d, "mode");
  const double xdpi = Number(Row(d, "resolution"));
  const double ydpi = Row(d, "y-resolution") ? Number(Row(d, "y-resolution")) : xdpi;
  const double mmWide = std::max(1.0, Number(Row(d, "br-x")) - Number(Row(d, "tl-x")));
  const double mmHigh = std::max(1.0, Number(Row(d, "br-y")) - Number(Row(d, "tl-y")));
  SANE_Parameters &p = d.parameters;
  p.pixels_per_line = std::max(1, int(std::lround(mmWide / 25.4 * xdpi)));
  p.lines = std::max(1, int(std::lround(mmHigh / 25.4 * ydpi)));
  p.last_frame = SANE_TRUE;
  const uint8_t level = sheet == 0 ? 128 : uint8_t(std::min(255, 16 + 28 * (sheet - 1) + (back ? 14 : 0)));
  if (mode == "Color") {
    p.format = SANE_FRAME_RGB;
    p.depth = 8;
    p.bytes_per_line = p.pixels_per_line * 3;
    d.image.resize(size_t(p.bytes_per_line) * size_t(p.lines));
    const uint8_t pixel[3] = {level, uint8_t(back ? 200 : 60), uint8_t(255 - level)};
    for (size_t i = 0; i < d.image.size(); ++i)
      d.image[i] = pixel[i % 3];
  } else if (mode == "Gray") {
    p.format = SANE_FRAME_GRAY;
    p.depth = 8;
    p.bytes_per_line = p.pixels_per_line;
    d.image.assign(size_t(p.bytes_per_line) * size_t(p.lines), level);
  } else {
    p.format = SANE_FRAME_GRAY;
    p.depth = 1;
    p.bytes_per_line = (p.pixels_per_line + 7) / 8;
    d.image.assign(size_t(p.bytes_per_line) * size_t(p.lines), back ? 0xFF : 0x00);
  }
  d.readAt = 0;
}

std::vector<std::unique_ptr<SANE_Device>> &DeviceList() {
  static std::vector<std::unique_ptr<SANE_Device>> list;
  return list;
}
std::vector<std::string> &DeviceNames() {
  static std::vector<std::string> names;
  return names;
}
std::vector<const SANE_Device *> &DevicePointers() {
  static std::vector<const SANE_Device *> pointers;
  return pointers;
}

} // namespace
} // namespace fixture

using namespace fixture;

extern "C" {

SANE_Status sane_tovik_init(SANE_Int *version, SANE_Auth_Callback) {
  if (version)
    *version = SANE_VERSION_CODE(SANE_CURRENT_MAJOR, 0, 1);
  return SANE_STATUS_GOOD;
}

void sane_tovik_exit() {
  Log("exit");
  DevicePointers().clear();
  DeviceList().clear();
  DeviceNames().clear();
}

SANE_Status sane_tovik_get_devices(const SANE_Device ***list, SANE_Bool) {
  const Scenario s = ReadScenario();
  DevicePointers().clear();
  DeviceList().clear();
  DeviceNames().clear();
  DeviceNames().reserve(Models().size());
  for (const Model &m : Models()) {
    if (!s.Lists(m.device))
      continue;
    DeviceNames().push_back(std::string(m.device) + s.plugged);
    auto d = std::make_unique<SANE_Device>();
    d->name = DeviceNames().back().c_str();
    d->vendor = m.vendor;
    d->model = m.model;
    d->type = "sheetfed scanner";
    DevicePointers().push_back(d.get());
    DeviceList().push_back(std::move(d));
  }
  DevicePointers().push_back(nullptr);
  *list = DevicePointers().data();
  return SANE_STATUS_GOOD;
}

SANE_Status sane_tovik_open(SANE_String_Const name, SANE_Handle *handle) {
  const Scenario s = ReadScenario();
  for (const Model &m : Models()) {
    if (!name || !s.Lists(m.device) || (*name && std::string(m.device) + s.plugged != name))
      continue;
    auto *d = new Device;
    d->model = &m;
    d->rows = m.options;
    Describe(*d);
    *handle = d;
    return SANE_STATUS_GOOD;
  }
  return SANE_STATUS_INVAL;
}

void sane_tovik_close(SANE_Handle handle) {
  Log("closed");
  delete static_cast<Device *>(handle);
}

const SANE_Option_Descriptor *sane_tovik_get_option_descriptor(SANE_Handle handle, SANE_Int option) {
  Device &d = *static_cast<Device *>(handle);
  if (option < 0 || size_t(option) >= d.descriptors.size())
    return nullptr;
  return &d.descriptors[size_t(option)];
}

SANE_Status sane_tovik_control_option(SANE_Handle handle, SANE_Int option, SANE_Action action, void *value,
                                      SANE_Int *info) {
  Device &d = *static_cast<Device *>(handle);
  if (info)
    *info = 0;
  if (option < 0 || size_t(option) >= d.descriptors.size() || !value || d.scanning)
    return SANE_STATUS_INVAL;
  if (option == 0) {
    if (action != SANE_ACTION_GET_VALUE)
      return SANE_STATUS_INVAL;
    *static_cast<SANE_Word *>(value) = SANE_Word(d.descriptors.size());
    return SANE_STATUS_GOOD;
  }
  OptionRow &r = d.rows[size_t(option) - 1];
  const SANE_Option_Descriptor &o = d.descriptors[size_t(option)];
  if (o.cap & SANE_CAP_INACTIVE)
    return SANE_STATUS_INVAL;
  if (action == SANE_ACTION_GET_VALUE) {
    Sense(d);
    if (std::strcmp(r.name, "page-loaded") == 0)
      Log(r.word ? "paper sensed" : "no paper sensed");
    if (r.type == SANE_TYPE_STRING)
      std::strcpy(static_cast<char *>(value), r.text.c_str());
    else
      *static_cast<SANE_Word *>(value) = r.word;
    return SANE_STATUS_GOOD;
  }
  if (action != SANE_ACTION_SET_VALUE || !(o.cap & SANE_CAP_SOFT_SELECT))
    return SANE_STATUS_INVAL;
  if (r.type == SANE_TYPE_STRING) {
    const std::string wanted(static_cast<const char *>(value));
    if (std::find(r.strings.begin(), r.strings.end(), wanted) == r.strings.end())
      return SANE_STATUS_INVAL;
    r.text = wanted;
    Describe(d); // another option may come and go with this one
    if (info)
      *info = SANE_INFO_RELOAD_OPTIONS | SANE_INFO_RELOAD_PARAMS;
    return SANE_STATUS_GOOD;
  }
  SANE_Word w = *static_cast<SANE_Word *>(value);
  if (r.type == SANE_TYPE_BOOL && w != SANE_TRUE && w != SANE_FALSE)
    return SANE_STATUS_INVAL;
  if (!r.words.empty() && std::find(r.words.begin(), r.words.end(), w) == r.words.end())
    return SANE_STATUS_INVAL;
  if (r.min < r.max && (w < r.min || w > r.max)) {
    w = std::clamp(w, r.min, r.max);
    if (info)
      *info = SANE_INFO_INEXACT;
  }
  r.word = w;
  if (info)
    *info |= SANE_INFO_RELOAD_PARAMS;
  return SANE_STATUS_GOOD;
}

SANE_Status sane_tovik_start(SANE_Handle handle) {
  Device &d = *static_cast<Device *>(handle);
  d.cancelled = false;
  d.scanning = false;
  const Scenario s = ReadScenario();
  Feeder &f = FeederOf(d, s);
  if (d.backPending) {
    d.backPending = false;
    Log("sheet " + std::to_string(d.sheet) + " back");
    MakePage(d, d.sheet, true);
    d.scanning = true;
    return SANE_STATUS_GOOD;
  }
  // Waiting for paper or a button: only a cancel ends it early.
  const int delay = s.delayAt == 0 || s.delayAt == f.fed + 1 ? s.startDelay : 0;
  if (delay > 0)
    Log("waiting");
  for (int tenth = 0; tenth < delay * 10 && !d.cancelled; ++tenth)
    usleep(100 * 1000);
  if (d.cancelled) {
    Log("cancelled");
    return SANE_STATUS_CANCELLED;
  }
  if (s.coverOpen) {
    Log("cover open");
    return SANE_STATUS_COVER_OPEN;
  }
  d.doubleFed = false;
  if (!UsesFeeder(d)) {
    d.sheet = 0;
  } else {
    if (f.sheetsLeft <= 0) {
      Log("empty");
      return SANE_STATUS_NO_DOCS;
    }
    --f.sheetsLeft;
    d.sheet = ++f.fed;
    // A jammed or double-fed sheet is taken out of the path; the sheets behind it stay.
    if (d.sheet == s.jamAt) {
      Log("jam " + std::to_string(d.sheet));
      return SANE_STATUS_JAMMED;
    }
    if (d.sheet == s.doubleFeedAt) {
      Log("double feed " + std::to_string(d.sheet));
      d.doubleFed = true;
      return SANE_STATUS_JAMMED;
    }
    d.backPending = Duplex(d);
  }
  Log("sheet " + std::to_string(d.sheet) + " front");
  MakePage(d, d.sheet, false);
  d.scanning = true;
  return SANE_STATUS_GOOD;
}

SANE_Status sane_tovik_get_parameters(SANE_Handle handle, SANE_Parameters *parameters) {
  Device &d = *static_cast<Device *>(handle);
  if (!parameters)
    return SANE_STATUS_INVAL;
  if (!d.scanning)
    MakePage(d, 0, false);
  *parameters = d.parameters;
  return SANE_STATUS_GOOD;
}

SANE_Status sane_tovik_read(SANE_Handle handle, SANE_Byte *data, SANE_Int maxLength, SANE_Int *length) {
  Device &d = *static_cast<Device *>(handle);
  *length = 0;
  if (d.cancelled) {
    d.scanning = false;
    return SANE_STATUS_CANCELLED;
  }
  if (!d.scanning)
    return SANE_STATUS_INVAL;
  if (d.readAt >= d.image.size()) {
    d.scanning = false;
    return SANE_STATUS_EOF;
  }
  const size_t n = std::min(d.image.size() - d.readAt, size_t(std::max(0, maxLength)));
  std::memcpy(data, d.image.data() + d.readAt, n);
  d.readAt += n;
  *length = SANE_Int(n);
  return SANE_STATUS_GOOD;
}

void sane_tovik_cancel(SANE_Handle handle) {
  Device &d = *static_cast<Device *>(handle);
  d.cancelled = true;
  d.backPending = false; // the sheet leaves the feeder
  d.scanning = false;
}

SANE_Status sane_tovik_set_io_mode(SANE_Handle, SANE_Bool nonBlocking) {
  return nonBlocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

SANE_Status sane_tovik_get_select_fd(SANE_Handle, SANE_Int *) { return SANE_STATUS_UNSUPPORTED; }

} // extern "C"
