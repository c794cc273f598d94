// Capability reads against Wine's source manager and the virtual KV-S scanner: the answers a real
// source gives, failures with the source's condition code, and what the scanner was asked.
#include "tests/support/ScannerScenario.h"

#include "twain/DecimalSeparator.h"
#include "twain/KestraTwain.h"
#include "twain/TwainSource.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using testsupport::ScannerScenario;

namespace {

class CapabilityIntegrationTest : public ::testing::Test {
protected:
  void SetUp() override { logPath = testsupport::FreshTempFile("twain-capabilities.log"); }
  void TearDown() override {
    twain.reset();
    testsupport::UseScenarioFile("");
  }

  // Installs the scenario and opens the first KV-S source through TWAIN_32.DLL.
  void Open(ScannerScenario scenario) {
    scenario.Devices({"KV-S1027C Virtual"}).Log(logPath).Install("twain-capabilities.ini");
    twain = std::make_unique<TKestraTwain>();
    ASSERT_TRUE(twain->LoadTwainLibrary());
    twain->SetSourceManagerLoaded(true);
    ASSERT_TRUE(twain->SourceManagerLoaded());
    for (int i = 0; i < twain->SourceCount() && !source; ++i)
      if (twain->Source(i)->ProductName().find("KV-S") != std::string::npos)
        source = twain->Source(i);
    ASSERT_NE(source, nullptr) << "sane.ds is not the virtual scanner: build sources/virtual-scanner";
    ASSERT_TRUE(source->Open());
  }

  std::string FeederText() {
    TW_UINT16 itemType = 0;
    std::string text;
    source->ReadOneValueText(CAP_FEEDERLOADED, itemType, text, tcqGet);
    return text;
  }

  // The capability and status triplets the scanner received, with the capability asked for when
  // the scanner noted it (a scripted fault answers without looking).
  std::vector<std::string> CapabilityRequests() const {
    std::vector<std::string> requests;
    for (const auto &t : testsupport::ReadTripletLog(logPath))
      if (t.direction == "in" && (t.dat == DAT_CAPABILITY || t.dat == DAT_STATUS))
        requests.push_back(t.Note("cap").empty() ? t.names : t.names + " " + t.Note("cap"));
    return requests;
  }

  std::string logPath;
  std::unique_ptr<TKestraTwain> twain;
  TTwainSource *source = nullptr;
};

TEST_F(CapabilityIntegrationTest, FeederLoadedFollowsThePaperInTheFeeder) {
  Open(ScannerScenario().Set("sheets", 1));
  TW_UINT16 itemType = 0;
  std::string text;
  EXPECT_EQ(tcrOk, source->ReadOneValueText(CAP_FEEDERLOADED, itemType, text, tcqGet));
  EXPECT_EQ(TWTY_BOOL, itemType);
  EXPECT_EQ("1", text);
  twain.reset();
  source = nullptr;

  Open(ScannerScenario().Set("sheets", 0));
  EXPECT_EQ("0", FeederText());
}

TEST_F(CapabilityIntegrationTest, AnUnsupportedFeederIsReportedByTheSourcesConditionCode) {
  Open(ScannerScenario().Set("feeder_loaded", 0));
  TW_UINT16 itemType = 77;
  std::string text;
  EXPECT_EQ(tcrCapUnsupported, source->ReadOneValueText(CAP_FEEDERLOADED, itemType, text, tcqGet));
  EXPECT_EQ("", text);
  EXPECT_EQ(77, itemType);
}

TEST_F(CapabilityIntegrationTest, AFailingRequestReadsTheConditionCodeOnce) {
  Open(ScannerScenario().Fault("CONTROL/CAPABILITY/GET rc=FAILURE cc=CAPSEQERROR"));
  TTwainMeasureUnit unit = tmuTwips;
  TTwainMeasureUnits units;
  EXPECT_EQ(tcrCapSeqError, source->ReadMeasureUnit(unit, units, tcqGet));
  EXPECT_EQ(tmuTwips, unit);
  EXPECT_TRUE(units.Empty());
  const std::vector<std::string> expected = {"CONTROL/CAPABILITY/GET", "CONTROL/STATUS/GET"};
  EXPECT_EQ(expected, CapabilityRequests());
}

TEST_F(CapabilityIntegrationTest, UnitsAndFlavorAsTheScannerIsSetUp) {
  Open(ScannerScenario().Set("unit", "centimeters").Set("pixel_flavor", "vanilla"));
  TTwainMeasureUnit unit = tmuPixels;
  TTwainMeasureUnits units;
  EXPECT_EQ(tcrOk, source->ReadMeasureUnit(unit, units, tcqGet));
  EXPECT_EQ(tmuCentimeters, unit);
  EXPECT_EQ((TTwainMeasureUnits{tmuInches, tmuCentimeters}), units);

  TTwainFlavor flavor = tflChocolate;
  TTwainFlavors flavors;
  EXPECT_EQ(tcrOk, source->ReadPixelFlavor(flavor, flavors, tcqGet));
  EXPECT_EQ(tflVanilla, flavor);
  EXPECT_EQ((TTwainFlavors{tflChocolate, tflVanilla}), flavors);

  TW_UINT16 itemType = 0;
  TGetCapabilityList list;
  int32_t current = -1, deflt = -1;
  EXPECT_EQ(tcrOk, source->ReadEnumerationTexts(ICAP_XFERMECH, itemType, list, current, deflt, tcqGet));
  EXPECT_EQ(TWTY_UINT16, itemType);
  EXPECT_EQ((TGetCapabilityList{"0", "1", "2"}), list);
  const std::vector<std::string> asked = {"CONTROL/CAPABILITY/GET 0x0102", "CONTROL/CAPABILITY/GET 0x111F",
                                          "CONTROL/CAPABILITY/GET 0x0103"};
  EXPECT_EQ(asked, CapabilityRequests());
}

TEST_F(CapabilityIntegrationTest, ASourceAnsweringTheDefaultAsAOneValueIsRead) {
  // A standard source answers MSG_GETDEFAULT with a one-value: the typed readers take both shapes.
  Open(ScannerScenario());
  TTwainMeasureUnit unit = tmuPixels;
  TTwainMeasureUnits units;
  EXPECT_EQ(tcrOk, source->ReadMeasureUnit(unit, units, tcqGetDefault));
  EXPECT_EQ(tmuInches, unit);

  TW_UINT16 itemType = 0;
  std::string text;
  EXPECT_EQ(tcrOk, source->ReadOneValueText(ICAP_UNITS, itemType, text, tcqGetDefault));
  EXPECT_EQ("0", text);
}

TEST_F(CapabilityIntegrationTest, ResolutionReadsAsWholeSeparatorAndFraction) {
  Open(ScannerScenario().Set("resolution", 300));
  TW_UINT16 itemType = 0;
  std::string text;
  EXPECT_EQ(tcrOk, source->ReadOneValueText(ICAP_XRESOLUTION, itemType, text, tcqGetCurrent));
  EXPECT_EQ(TWTY_FIX32, itemType);
  EXPECT_EQ(std::string("300") + DecimalSeparator() + "0", text);
}

TEST_F(CapabilityIntegrationTest, AClosedSourceIsNotAsked) {
  Open(ScannerScenario());
  ASSERT_TRUE(source->Close());
  TW_UINT16 itemType = 0;
  std::string text;
  EXPECT_EQ(tcrBadState, source->ReadOneValueText(CAP_FEEDERLOADED, itemType, text, tcqGet));
  EXPECT_TRUE(CapabilityRequests().empty());
}

} // namespace
