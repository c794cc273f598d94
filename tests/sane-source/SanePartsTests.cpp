// The bridge's pure parts: SANE frames into TWAIN rows, SANE statuses into condition codes,
// options into capabilities, and the names devices are listed under.
#include "sources/sane-source/Config.h"
#include "sources/sane-source/DocumentOptions.h"
#include "sources/sane-source/OptionCaps.h"
#include "sources/sane-source/PageRows.h"
#include "sources/sane-source/StatusMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

using namespace sanesrc;

namespace {

using Bytes = std::vector<uint8_t>;

FrameShape Shape(SaneFrame format, int bytesPerLine, int pixels, int lines, int depth, bool last = true) {
  return FrameShape{format, last, bytesPerLine, pixels, lines, depth};
}

TEST(SaneFrames, BecomeTwainRowsWithinTheBytesThatArrived) {
  struct Case {
    const char *what;
    FrameShape shape;
    Bytes data;
    Bytes rows;
    uint32_t rowCount;
  };
  const Case cases[] = {
      // SANE lineart has 1 as black, TWAIN 0; bits past the last pixel stay clear.
      {"lineart", Shape(SaneFrame::Gray, 1, 3, 2, 1), {0xA0, 0x00}, {0x40, 0xE0}, 2},
      // Bytes past the pixels of a line (a device's padding) are left out.
      {"padded grey", Shape(SaneFrame::Gray, 3, 2, 2, 8), {1, 2, 9, 3, 4, 9}, {1, 2, 3, 4}, 2},
      // Unknown length: the whole lines that arrived; a partial last line is dropped.
      {"lines -1", Shape(SaneFrame::Gray, 2, 2, -1, 8), {1, 2, 3, 4, 5}, {1, 2, 3, 4}, 2},
      // A frame shorter than announced gives the lines it holds.
      {"short frame", Shape(SaneFrame::Rgb, 3, 1, 4, 8), {1, 2, 3}, {1, 2, 3}, 1},
      // A backend that sends more lines than it announced adds no row to the page.
      {"long frame", Shape(SaneFrame::Gray, 2, 2, 1, 8), {1, 2, 3, 4}, {1, 2}, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    PageRows page;
    ASSERT_TRUE(AddFrame(page, c.shape, c.data.data(), c.data.size()));
    EXPECT_EQ(page.rows, c.rowCount);
    EXPECT_EQ(page.bytes.Flat(), c.rows);
    EXPECT_EQ(page.lengthKnown, c.shape.lines >= 0);
    EXPECT_TRUE(page.Complete());
    // The same frame as a backend may deliver it: a byte a read, lines split across reads.
    PageRows streamed;
    FrameLayout layout;
    ASSERT_TRUE(layout.Begin(streamed, c.shape));
    for (uint8_t byte : c.data)
      ASSERT_TRUE(layout.Add(&byte, 1));
    layout.End();
    EXPECT_EQ(streamed.bytes.Flat(), c.rows);
  }
}

// A page of many blocks (2.4 MB): laid out in reads that end mid-line, given back block by block
// as it is handed over, the rows not yet handed over intact.
TEST(SaneFrames, ABigPageIsHeldOnceAndGivenBackAsItIsHandedOver) {
  const int width = 3000, lines = 800;
  Bytes frame(size_t(width) * lines);
  for (size_t i = 0; i < frame.size(); ++i)
    frame[i] = uint8_t(i / width * 7 + i % 251);
  PageRows page;
  FrameLayout layout;
  ASSERT_TRUE(layout.Begin(page, Shape(SaneFrame::Gray, width, width, lines, 8)));
  for (size_t at = 0; at < frame.size(); at += 65521)
    ASSERT_TRUE(layout.Add(frame.data() + at, std::min<size_t>(65521, frame.size() - at)));
  layout.End();
  ASSERT_EQ(page.rows, uint32_t(lines));
  EXPECT_EQ(page.bytes.Flat(), frame);
  const std::vector<uint8_t> dib = PackedDib(page, 300, 300);
  ASSERT_EQ(dib.size(), 40 + 1024 + frame.size()); // rows of 3000 bytes need no padding
  for (int r = 0; r < lines; ++r)                  // bottom up
    ASSERT_EQ(
        0, std::memcmp(dib.data() + 1064 + size_t(lines - 1 - r) * width, &frame[size_t(r) * width], width));
  page.bytes.ReleaseBefore(700);
  std::vector<uint8_t> partial(dib.size());
  EXPECT_FALSE(WriteDib(page, 300, 300, partial.data(), false)); // its first rows are gone
  EXPECT_EQ(page.bytes.Row(0), nullptr);
  ASSERT_NE(page.bytes.Row(699), nullptr); // in a block that still holds rows after it
  EXPECT_EQ(0, std::memcmp(page.bytes.Row(799), frame.data() + size_t(799) * width, width));
  std::vector<uint8_t> given(dib.size());
  PageRows again;
  ASSERT_TRUE(AddFrame(again, Shape(SaneFrame::Gray, width, width, lines, 8), frame.data(), frame.size()));
  ASSERT_TRUE(WriteDib(again, 300, 300, given.data(), true));
  EXPECT_EQ(given, dib);
  EXPECT_EQ(again.bytes.Row(0), nullptr); // every block went into the bitmap
}

TEST(SaneFrames, ThreePassChannelsInterleaveInWhateverOrderTheyCome) {
  PageRows page;
  const Bytes green = {20, 21, 22, 23}, blue = {30, 31, 32, 33}, red = {10, 11, 12, 13};
  ASSERT_TRUE(AddFrame(page, Shape(SaneFrame::Green, 2, 2, 2, 8, false), green.data(), green.size()));
  ASSERT_TRUE(AddFrame(page, Shape(SaneFrame::Blue, 2, 2, 2, 8, false), blue.data(), blue.size()));
  EXPECT_FALSE(page.Complete());
  // A channel of another width cannot belong to the page.
  EXPECT_FALSE(AddFrame(page, Shape(SaneFrame::Red, 3, 3, 2, 8), red.data(), 6));
  ASSERT_TRUE(AddFrame(page, Shape(SaneFrame::Red, 2, 2, 2, 8), red.data(), red.size()));
  EXPECT_TRUE(page.Complete());
  EXPECT_EQ(page.bytes.Flat(), (Bytes{10, 20, 30, 11, 21, 31, 12, 22, 32, 13, 23, 33}));
}

TEST(SaneFrames, ShapesThatCannotBeLaidOutAreRefused) {
  const Bytes data(64, 0);
  for (const FrameShape &shape : {Shape(SaneFrame::Gray, 4, 8, 1, 4), // depth 4
                                  Shape(SaneFrame::Gray, 1, 9, 1, 8), // line shorter than its pixels
                                  Shape(SaneFrame::Rgb, 1, 8, 1, 1),  // one-bit colour
                                  Shape(SaneFrame::Gray, 0, 0, 1, 8), // no pixels
                                  Shape(static_cast<SaneFrame>(9), 8, 8, 1, 8)}) {
    PageRows page;
    EXPECT_FALSE(AddFrame(page, shape, data.data(), data.size()));
    EXPECT_TRUE(page.bytes.empty());
  }
}

TEST(SaneStatuses, MapToTwainConditionCodes) {
  struct Row {
    SaneStatus status;
    TW_UINT16 rc, cc;
    bool close;
  };
  for (const Row &r : {Row{SaneStatus::Jammed, TWRC_FAILURE, TWCC_PAPERJAM, false},
                       Row{SaneStatus::NoDocs, TWRC_FAILURE, TWCC_NOMEDIA, false},
                       Row{SaneStatus::CoverOpen, TWRC_FAILURE, TWCC_INTERLOCK, true},
                       Row{SaneStatus::DeviceBusy, TWRC_FAILURE, TWCC_MAXCONNECTIONS, true},
                       Row{SaneStatus::AccessDenied, TWRC_FAILURE, TWCC_DENIED, true},
                       Row{SaneStatus::IoError, TWRC_FAILURE, TWCC_OPERATIONERROR, true},
                       Row{SaneStatus::NoMem, TWRC_FAILURE, TWCC_LOWMEMORY, false},
                       Row{SaneStatus::Cancelled, TWRC_CANCEL, TWCC_SUCCESS, false},
                       Row{static_cast<SaneStatus>(99), TWRC_FAILURE, TWCC_OPERATIONERROR, true}}) {
    const StatusMeaning m = MeaningOf(int(r.status));
    EXPECT_EQ(m.rc, r.rc) << int(r.status);
    EXPECT_EQ(m.cc, r.cc) << int(r.status);
    EXPECT_EQ(m.closeRequest, r.close) << int(r.status);
  }
}

OptionInfo Option(const char *name, SaneType type, SaneConstraint constraint) {
  OptionInfo o;
  o.name = name;
  o.type = type;
  o.cap = kSaneCapSoftSelect;
  o.constraint = constraint;
  return o;
}

TEST(SaneOptions, DescribeCapabilitiesByNameAndConstraint) {
  OptionInfo listed = Option("resolution", SaneType::Int, SaneConstraint::WordList);
  listed.words = {150, 300, 600};
  listed.word = 300;
  OptionInfo fixed = Option("resolution", SaneType::Fixed, SaneConstraint::Range);
  fixed.min = 50 << 16;
  fixed.max = 600 << 16;
  fixed.quant = 0;
  fixed.word = (100 << 16) | 0x8000; // 100.5 dpi
  const SessionCaps session;

  const auto enumeration = DescribeCap(ICAP_XRESOLUTION, {listed}, {listed}, session);
  ASSERT_TRUE(enumeration);
  EXPECT_EQ(enumeration->conType, TWON_ENUMERATION);
  EXPECT_EQ(enumeration->items, (std::vector<TW_UINT32>{150, 300, 600}));
  EXPECT_EQ(enumeration->current, 1u);
  EXPECT_EQ(PlanSet(ICAP_XRESOLUTION, TWTY_FIX32, 200, {listed}, session).cc, TWCC_BADVALUE);
  EXPECT_EQ(PlanSet(ICAP_XRESOLUTION, TWTY_FIX32, 600, {listed}, session).changes.at(0).word, 600);
  // 299.99 dpi from an application's arithmetic is 300 to a whole-number option, not 299.
  const TW_UINT32 almost300 = 299u | (0xFD71u << 16);
  EXPECT_EQ(PlanSet(ICAP_XRESOLUTION, TWTY_FIX32, almost300, {listed}, session).changes.at(0).word, 300);

  const auto range = DescribeCap(ICAP_YRESOLUTION, {fixed}, {fixed}, session);
  ASSERT_TRUE(range);
  EXPECT_EQ(range->conType, TWON_RANGE);
  EXPECT_EQ(range->min, 50u);
  EXPECT_EQ(range->currentValue, 100u | (0x8000u << 16));
  EXPECT_EQ(PlanSet(ICAP_YRESOLUTION, TWTY_FIX32, 700, {fixed}, session).cc, TWCC_BADVALUE);

  // An inactive option is no capability.
  listed.cap |= kSaneCapInactive;
  EXPECT_FALSE(DescribeCap(ICAP_XRESOLUTION, {listed}, {listed}, session));
}

TEST(SaneOptions, PixelTypesAndSourcesBecomeOptionWrites) {
  OptionInfo mode = Option("mode", SaneType::String, SaneConstraint::StringList);
  mode.strings = {"Gray", "Color"};
  mode.text = "Gray";
  OptionInfo depth = Option("depth", SaneType::Int, SaneConstraint::WordList);
  depth.words = {1, 8, 16};
  depth.word = 8;
  OptionInfo source = Option("source", SaneType::String, SaneConstraint::StringList);
  source.strings = {"Flatbed", "ADF Front", "ADF Duplex"};
  source.text = "Flatbed";
  const Options options = {mode, depth, source};
  const SessionCaps session;

  // Black and white is one-bit grey where no lineart mode exists.
  const SetPlan bw = PlanSet(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW, options, session);
  ASSERT_EQ(bw.changes.size(), 2u);
  EXPECT_EQ(bw.changes[0].text, "Gray");
  EXPECT_EQ(bw.changes[1].word, 1);
  EXPECT_EQ(PlanSet(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB, options, session).changes.at(0).text, "Color");
  EXPECT_EQ(PlanSet(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_PALETTE, options, session).cc, TWCC_BADVALUE);
  EXPECT_EQ(PlanSet(ICAP_BITDEPTH, TWTY_UINT16, 16, options, session).changes.at(0).word, 16);
  // Back from one-bit grey to grey: the depth goes back to 8 too, or pages stay black and white.
  Options oneBit = options;
  oneBit[1].word = 1;
  const SetPlan grey = PlanSet(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY, oneBit, session);
  ASSERT_EQ(grey.changes.size(), 2u);
  EXPECT_EQ(grey.changes[0].text, "Gray");
  EXPECT_EQ(grey.changes[1].name, "depth");
  EXPECT_EQ(grey.changes[1].word, 8);
  // Colour left at one bit a sample: said as it is (3), and 24 is a real change of the depth.
  Options oneBitColour = oneBit;
  oneBitColour[0].text = "Color";
  EXPECT_EQ(DescribeCap(ICAP_BITDEPTH, oneBitColour, oneBitColour, session)->CurrentItem(), 3u);
  EXPECT_EQ(PlanSet(ICAP_BITDEPTH, TWTY_UINT16, 24, oneBitColour, session).changes.at(0).word, 8);

  EXPECT_EQ(PlanSet(CAP_FEEDERENABLED, TWTY_BOOL, 1, options, session).changes.at(0).text, "ADF Front");
  EXPECT_EQ(PlanSet(CAP_DUPLEXENABLED, TWTY_BOOL, 1, options, session).changes.at(0).text, "ADF Duplex");
  EXPECT_TRUE(PlanSet(CAP_FEEDERENABLED, TWTY_BOOL, 0, options, session).changes.empty());
  EXPECT_EQ(PlanSet(CAP_XFERCOUNT, TWTY_INT16, 0, options, session).cc, TWCC_BADVALUE);
  EXPECT_EQ(PlanSet(ICAP_XFERMECH, TWTY_UINT16, TWSX_FILE, options, session).cc, TWCC_BADVALUE);
}

OptionInfo List(const char *name, std::vector<std::string> values, std::string current) {
  OptionInfo o = Option(name, SaneType::String, SaneConstraint::StringList);
  o.strings = std::move(values);
  o.text = std::move(current);
  return o;
}
OptionInfo Flag(const char *name, bool value, bool sensor = false) {
  OptionInfo o = Option(name, SaneType::Bool, SaneConstraint::None);
  o.word = value;
  if (sensor)
    o.cap = 0; // read-only
  return o;
}

// Applies a plan's writes as the device would take them (an option of the plan must exist).
void Apply(Options &options, const std::vector<OptionChange> &changes) {
  for (const OptionChange &c : changes) {
    auto at =
        std::find_if(options.begin(), options.end(), [&](const OptionInfo &o) { return o.name == c.name; });
    ASSERT_NE(at, options.end()) << c.name;
    at->text = c.text;
    at->word = c.word;
  }
  // A flatbed-and-feeder device's adf-mode is active only with the feeder selected.
  for (OptionInfo &o : options)
    if (o.name == "adf-mode") {
      const bool feeder = std::any_of(options.begin(), options.end(), [](const OptionInfo &s) {
        return s.name == "source" && s.text != "Flatbed";
      });
      o.cap = feeder ? kSaneCapSoftSelect : kSaneCapSoftSelect | kSaneCapInactive;
    }
}

// The option sets of document-scanner backends: feeder, duplex and automatic feeding set one
// after another, each leaving the others as they were, and the sensors read.
TEST(DocumentOptions, FeederDuplexAndAutofeedWhateverTheBackendCallsThem) {
  struct Device {
    const char *backend;
    Options options;
    bool feederSettable;
    bool autofeedSettable;
    bool paperSensor;
  };
  OptionInfo inactiveAdfMode = List("adf-mode", {"Simplex", "Duplex"}, "Simplex");
  inactiveAdfMode.cap |= kSaneCapInactive;
  const Device devices[] = {
      {"kvs1025",
       {List("source", {"adf"}, "adf"), Flag("duplex", false),
        List("feeder-mode", {"single", "continuous"}, "single")},
       false,
       true,
       false},
      {"kvs20xx",
       {Flag("duplex", false), List("feeder-mode", {"single", "continuous"}, "single"),
        Flag("double-feed", true)},
       false,
       true,
       false},
      {"ADF Front/Back/Duplex",
       {List("source", {"Flatbed", "ADF Front", "ADF Back", "ADF Duplex"}, "Flatbed"),
        Flag("page-loaded", true, true), Flag("double-feed", false, true)},
       true,
       false,
       true},
      {"Flatbed or ADF, adf-mode",
       {List("source", {"Flatbed", "Automatic Document Feeder"}, "Flatbed"), inactiveAdfMode},
       true,
       false,
       false},
  };
  for (const Device &d : devices) {
    SCOPED_TRACE(d.backend);
    Options options = d.options;
    FeederState state = ReadFeeder(options);
    EXPECT_TRUE(state.feeder);
    EXPECT_TRUE(state.duplex);
    EXPECT_EQ(state.feederSettable, d.feederSettable);
    EXPECT_EQ(state.paperSensed.has_value(), d.paperSensor);
    EXPECT_FALSE(state.doubleFeedSensed); // kvs20xx's double-feed is a setting, not a sensor

    auto set = [&](TW_UINT16 cap, bool want) {
      const auto changes = PlanFeederSet(cap, want, options);
      ASSERT_TRUE(changes) << cap << " " << want;
      Apply(options, *changes);
      state = ReadFeeder(options);
    };
    set(CAP_FEEDERENABLED, true);
    set(CAP_DUPLEXENABLED, true);
    EXPECT_TRUE(state.feederEnabled && state.duplexEnabled);
    set(CAP_FEEDERENABLED, true); // the feeder again: duplex stays
    EXPECT_TRUE(state.duplexEnabled);
    if (d.autofeedSettable) {
      set(kCapAutoFeed, true);
      EXPECT_TRUE(state.autofeed && state.duplexEnabled && state.feederEnabled);
    }
    set(CAP_DUPLEXENABLED, false); // simplex keeps the feeder
    EXPECT_TRUE(state.feederEnabled && !state.duplexEnabled);
    if (d.feederSettable) {
      set(CAP_FEEDERENABLED, false);
      EXPECT_FALSE(state.feederEnabled || state.duplexEnabled);
      set(CAP_DUPLEXENABLED, true); // duplex brings the feeder it needs
      EXPECT_TRUE(state.feederEnabled && state.duplexEnabled);
    } else {
      EXPECT_FALSE(PlanFeederSet(CAP_FEEDERENABLED, false, options));
    }
  }
}

TEST(SaneDevices, AreListedUnderDistinctNamesFromTheConfiguration) {
  std::vector<std::string> errors;
  const BridgeConfig config = ParseConfig("# office\n[kvs20xx:1]\nname = KV-S Front desk\n"
                                          "option source = ADF Duplex\nnonsense\n",
                                          errors);
  ASSERT_EQ(config.devices.size(), 1u);
  EXPECT_EQ(config.devices[0].options.at(0), (std::pair<std::string, std::string>{"source", "ADF Duplex"}));
  EXPECT_EQ(errors.size(), 1u);

  const std::vector<DeviceEntry> devices = {{"test:0", "Noname", "frontend-tester"},
                                            {"test:1", "Noname", "frontend-tester"},
                                            {"kvs20xx:1", "F", "x"}};
  EXPECT_EQ(ProductNames(devices, config),
            (std::vector<std::string>{"Noname frontend-tester", "Noname frontend-tester (test:1)",
                                      "KV-S Front desk"}));

  // A section may name the device by vendor and model: its SANE name changes when it is
  // plugged in again, and a fresh listing finds it by them.
  const BridgeConfig byModel = ParseConfig("[Maker KV-S1025C]\nname = KV-S desk\n", errors);
  const std::vector<DeviceEntry> again = {{"kvs1025:libusb:001:009", "Maker", "KV-S1025C"},
                                          {"test:0", "Noname", "frontend-tester"},
                                          {"test:1", "Noname", "frontend-tester"}};
  EXPECT_EQ(ProductNames(again, byModel).at(0), "KV-S desk");
  EXPECT_EQ(FindByModel(again, DeviceEntry{"kvs1025:libusb:001:004", "Maker", "KV-S1025C"}), 0u);
  EXPECT_FALSE(FindByModel(again, devices[0])); // two of that model: neither is taken for it

  std::vector<DeviceEntry> cached;
  const std::string text = FormatDeviceCache("key", devices);
  EXPECT_FALSE(ParseDeviceCache(text, "other key", cached));
  ASSERT_TRUE(ParseDeviceCache(text, "key", cached));
  EXPECT_EQ(cached.size(), 3u);
  EXPECT_EQ(cached[2].model, "x");

  // 103 devices of one model whose names share their first 31 characters, and no model at all.
  std::vector<DeviceEntry> many(103, DeviceEntry{std::string(31, 'n'), "Noname", ""});
  for (size_t i = 0; i < many.size(); ++i)
    many[i].name += std::to_string(i);
  const std::vector<std::string> names = ProductNames(many, config);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), many.size());
  ASSERT_TRUE(ParseDeviceCache(FormatDeviceCache("key", many), "key", cached));
  EXPECT_EQ(cached.size(), many.size());

  // Numbers no option holds: refused when read, or when set on a fixed-point option.
  EXPECT_EQ(ParseConfig("[a]\noption br-x = nan\noption br-y = 1e10\n", errors).devices.at(0).options.size(),
            0u);
  EXPECT_EQ(errors.back(), "line 3: option br-y = 1e10");
  for (const char *value : {"40000", "nan", "1e10", "2.5 mm"})
    EXPECT_FALSE(OptionWord(SaneType::Fixed, value)) << value;
  EXPECT_EQ(OptionWord(SaneType::Fixed, "2.5"), 5 << 15);
  EXPECT_EQ(OptionWord(SaneType::Int, "40000"), 40000);
  // A fixed-point value takes the nearest step; an integer option drops the fraction.
  EXPECT_EQ(OptionWord(SaneType::Fixed, "0.00001"), 1);
  EXPECT_EQ(OptionWord(SaneType::Int, "2.7"), 2);
}

} // namespace
