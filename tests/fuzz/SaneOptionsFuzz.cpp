// The SANE source's reading of a device's options, whatever a backend reports: any option of the
// names it looks for, of any type, constraint and value. Every capability is described and set,
// the feeder read and changed, the scan area turned into a frame and back.
#include "sources/sane-source/DocumentOptions.h"
#include "sources/sane-source/ScanArea.h"
#include "tests/fuzz/FuzzInput.h"

#include <string>

using namespace sanesrc;

namespace {

const char *const kNames[] = {"mode",         "depth",       "resolution", "x-resolution",
                              "y-resolution", "source",      "duplex",     "adf-mode",
                              "feeder-mode",  "page-loaded", "cover-open", "double-feed",
                              "tl-x",         "tl-y",        "br-x",       "br-y"};
const char *const kWords[] = {"Color",
                              "Gray",
                              "Lineart",
                              "ADF Duplex",
                              "Flatbed",
                              "ADF Front",
                              "ADF Back",
                              "Simplex",
                              "Duplex",
                              "single",
                              "continuous",
                              "adf",
                              "Automatic Document Feeder",
                              ""};

std::string Word(FuzzInput &in) { return kWords[in.Take<uint8_t>() % (sizeof kWords / sizeof *kWords)]; }

Options ReadOptions(FuzzInput &in) {
  Options options;
  // Every name in turn, as many as the input says; the cap's inactive bit takes any away.
  const size_t count = in.Take<uint8_t>() % (sizeof kNames / sizeof *kNames + 1);
  for (size_t i = 0; i < count; ++i) {
    OptionInfo o;
    o.index = int(i) + 1;
    o.name = kNames[i];
    o.type = static_cast<SaneType>(in.Take<uint8_t>() % 6);
    o.cap = in.Take<uint8_t>();
    o.unit = static_cast<SaneUnit>(in.Take<uint8_t>() % 7);
    o.constraint = static_cast<SaneConstraint>(in.Take<uint8_t>() % 4);
    for (int n = in.Take<uint8_t>() % 5; n > 0; --n)
      o.words.push_back(in.Take<int32_t>());
    for (int n = in.Take<uint8_t>() % 4; n > 0; --n)
      o.strings.push_back(Word(in));
    o.min = in.Take<int32_t>();
    o.max = in.Take<int32_t>();
    o.quant = in.Take<int32_t>();
    o.word = in.Take<int32_t>();
    o.text = Word(in);
    options.push_back(o);
  }
  return options;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in(data, size);
  const Options now = ReadOptions(in), before = ReadOptions(in);
  SessionCaps session;
  for (TW_UINT16 cap : {ICAP_XRESOLUTION, ICAP_YRESOLUTION, ICAP_PIXELTYPE, ICAP_BITDEPTH, CAP_FEEDERENABLED,
                        CAP_DUPLEXENABLED, kCapAutoFeed, CAP_FEEDERLOADED, CAP_PAPERDETECTABLE, ICAP_UNITS,
                        CAP_XFERCOUNT, ICAP_XFERMECH}) {
    const std::optional<CapValue> v = DescribeCap(cap, now, before, session);
    if (v && v->conType != TWON_RANGE && v->Count() > 0)
      (void)v->CurrentItem();
    const TW_UINT16 type = in.Take<uint8_t>() % 9;
    (void)PlanSet(cap, type, in.Take<TW_UINT32>(), now, session);
  }
  (void)ReadFeeder(now);
  for (TW_UINT16 cap : {CAP_FEEDERENABLED, CAP_DUPLEXENABLED, kCapAutoFeed})
    (void)PlanFeederSet(cap, in.Take<uint8_t>() & 1, now);
  (void)AreaFrame(now);
  (void)FullFrame(now);
  TW_FRAME frame;
  for (TW_FIX32 *f : {&frame.Left, &frame.Top, &frame.Right, &frame.Bottom})
    *f = TW_FIX32{in.Take<TW_INT16>(), in.Take<TW_UINT16>()};
  (void)AreaChanges(now, frame);
  for (const OptionInfo &o : now)
    (void)SaneFromFix32(o, Fix32FromSane(o, o.word) ^ in.Take<TW_UINT32>());
  return 0;
}
