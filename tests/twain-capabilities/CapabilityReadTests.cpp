// The capability reads of a source against the recording source manager: what is sent, what is
// written back, and that every container handed over is freed.
#include "ContainerBytes.h"
#include "TwainTestSupport.h"

#include "twain/DecimalSeparator.h"

#include <gtest/gtest.h>

namespace {

using rdsm::Dsm;
using rdsm::TAnswer;

// A container answered as a source would, remembering the handle so the test can see it freed.
TAnswer TrackedContainer(TW_UINT16 conType, const ContainerBytes &bytes, HGLOBAL &handle) {
  TAnswer answer;
  answer.action = [conType, data = bytes.bytes(), &handle](TW_MEMREF pData) {
    handle = ::GlobalAlloc(GHND, data.size());
    if (void *p = ::GlobalLock(handle)) {
      std::memcpy(p, data.data(), data.size());
      ::GlobalUnlock(handle);
    }
    auto *cap = static_cast<TW_CAPABILITY *>(pData);
    cap->ConType = conType;
    cap->hContainer = handle;
  };
  return answer;
}

HGLOBAL CallerContainer(const ContainerBytes &bytes) {
  HGLOBAL handle = ::GlobalAlloc(GHND, bytes.size());
  if (void *p = ::GlobalLock(handle)) {
    std::memcpy(p, bytes.data(), bytes.size());
    ::GlobalUnlock(handle);
  }
  return handle;
}

// A freed moveable handle no longer names a block (checked right after the read, before anything
// else could be given the same handle).
bool Freed(HGLOBAL handle) {
  return ::GlobalFlags(handle) == GMEM_INVALID_HANDLE && ::GlobalSize(handle) == 0;
}

ContainerBytes Units(std::initializer_list<uint16_t> items, uint32_t current, uint32_t deflt,
                     TW_UINT16 itemType = TWTY_UINT16) {
  auto bytes = ContainerBytes::Enumeration(itemType, static_cast<uint32_t>(items.size()), current, deflt);
  for (uint16_t item : items)
    bytes.U16(item);
  return bytes;
}

class CapabilityReadTest : public TwainFixture {
protected:
  void SetUp() override {
    TwainFixture::SetUp();
    source = OpenSource();
    ASSERT_NE(source, nullptr);
  }

  void QueueCapability(TW_UINT16 msg, TAnswer answer) {
    Dsm().Queue(DG_CONTROL, DAT_CAPABILITY, msg, std::move(answer));
  }
  void QueueFailure(TW_UINT16 conditionCode, TW_UINT16 rc = TWRC_FAILURE) {
    QueueCapability(MSG_GET, rdsm::Rc(rc));
    Dsm().Queue(DG_CONTROL, DAT_STATUS, MSG_GET, rdsm::Status(conditionCode));
  }

  TTwainSource *source = nullptr;
  HGLOBAL handle = nullptr;
};

TEST(GlobalMemoryProbe, AFreedHandleNoLongerNamesABlock) {
  HGLOBAL block = ::GlobalAlloc(GHND, 16);
  ASSERT_NE(block, nullptr);
  EXPECT_FALSE(Freed(block));
  ::GlobalFree(block);
  EXPECT_TRUE(Freed(block));
}

TEST_F(CapabilityReadTest, FeederLoadedAnswersAsABooleanText) {
  QueueCapability(MSG_GET,
                  TrackedContainer(TWON_ONEVALUE, ContainerBytes::OneValue(TWTY_BOOL).U32(1), handle));
  TW_UINT16 itemType = 0;
  std::string text;
  EXPECT_EQ(tcrOk, source->ReadOneValueText(CAP_FEEDERLOADED, itemType, text, tcqGet));
  EXPECT_EQ(TWTY_BOOL, itemType);
  EXPECT_EQ("1", text);
  EXPECT_TRUE(Freed(handle));

  ASSERT_EQ(1u, Dsm().Calls().size());
  const rdsm::TRecordedCall &call = Dsm().Calls()[0];
  EXPECT_TRUE(call.Is(DG_CONTROL, DAT_CAPABILITY, MSG_GET));
  EXPECT_EQ(twain->AppIdentity(), call.origin);
  EXPECT_EQ(source->IdentityRecord(), call.dest);
  const auto request = call.As<TW_CAPABILITY>();
  EXPECT_EQ(CAP_FEEDERLOADED, request.Cap);
  EXPECT_EQ(TWON_DONTCARE16, request.ConType);
  EXPECT_EQ(nullptr, request.hContainer);

  QueueCapability(MSG_GET,
                  TrackedContainer(TWON_ONEVALUE, ContainerBytes::OneValue(TWTY_BOOL).U32(0), handle));
  EXPECT_EQ(tcrOk, source->ReadOneValueText(CAP_FEEDERLOADED, itemType, text, tcqGet));
  EXPECT_EQ("0", text);
  EXPECT_TRUE(Freed(handle));
}

TEST_F(CapabilityReadTest, EachRequestSendsItsMessage) {
  const std::pair<TTwainCapRequest, TW_UINT16> requests[] = {{tcqGet, MSG_GET},
                                                             {tcqGetCurrent, MSG_GETCURRENT},
                                                             {tcqGetDefault, MSG_GETDEFAULT},
                                                             {tcqReset, MSG_RESET}};
  for (const auto &[request, msg] : requests) {
    Dsm().ClearCalls();
    QueueCapability(msg,
                    TrackedContainer(TWON_ONEVALUE, ContainerBytes::OneValue(TWTY_UINT16).U32(7), handle));
    TW_UINT16 itemType = 0;
    std::string text;
    EXPECT_EQ(tcrOk, source->ReadOneValueText(ICAP_UNITS, itemType, text, request));
    EXPECT_EQ("7", text);
    EXPECT_EQ((StringList{rdsm::TripletName(DG_CONTROL, DAT_CAPABILITY, msg)}), Trace());
  }
}

TEST_F(CapabilityReadTest, ASourceThatIsNotOpenIsNotAsked) {
  ASSERT_TRUE(source->Close());
  Dsm().ClearCalls();
  TW_UINT16 itemType = 77;
  std::string text = "kept";
  EXPECT_EQ(tcrBadState, source->ReadOneValueText(CAP_FEEDERLOADED, itemType, text, tcqGet));
  TGetCapabilityList list{"kept"};
  int32_t current = 5, deflt = 6;
  EXPECT_EQ(tcrBadState, source->ReadEnumerationTexts(ICAP_UNITS, itemType, list, current, deflt, tcqGet));
  TTwainMeasureUnit unit = tmuTwips;
  TTwainMeasureUnits units{tmuPicas};
  EXPECT_EQ(tcrBadState, source->ReadMeasureUnit(unit, units, tcqGet));
  HGLOBAL container = nullptr;
  TW_UINT16 containerType = 99;
  EXPECT_EQ(tcrBadState, source->ReadCapContainer(CAP_FEEDERLOADED, container, tcqGet, containerType));

  EXPECT_TRUE(Dsm().Calls().empty());
  EXPECT_EQ(77, itemType);
  EXPECT_EQ("kept", text);
  EXPECT_EQ(StringList{"kept"}, list);
  EXPECT_EQ(5, current);
  EXPECT_EQ(6, deflt);
  EXPECT_EQ(tmuTwips, unit);
  EXPECT_EQ(TTwainMeasureUnits{tmuPicas}, units);
  EXPECT_EQ(nullptr, container);
  EXPECT_EQ(99, containerType);
}

TEST_F(CapabilityReadTest, AFailedRequestIsReportedByItsConditionCode) {
  const std::pair<TW_UINT16, TTwainCapResult> table[] = {
      {TWCC_CAPUNSUPPORTED, tcrCapUnsupported},
      {TWCC_SEQERROR, tcrBadState},
      {TWCC_SUCCESS, tcrBadOperation},
  };
  for (const auto &[conditionCode, expected] : table) {
    Dsm().ClearCalls();
    QueueFailure(conditionCode);
    TW_UINT16 itemType = 77;
    std::string text = "kept";
    EXPECT_EQ(expected, source->ReadOneValueText(CAP_FEEDERLOADED, itemType, text, tcqGet))
        << "condition code " << conditionCode;
    EXPECT_EQ("kept", text);
    EXPECT_EQ(77, itemType);
    EXPECT_EQ((StringList{"CONTROL/CAPABILITY/GET", "CONTROL/STATUS/GET"}), Trace());
  }
  // Any return code but success is a failure, whichever it is.
  Dsm().ClearCalls();
  QueueFailure(TWCC_CAPUNSUPPORTED, TWRC_CHECKSTATUS);
  EXPECT_EQ(tcrCapUnsupported, source->CapResultFromCode(TWRC_CHECKSTATUS));
  EXPECT_EQ(tcrOk, source->CapResultFromCode(TWRC_SUCCESS));
}

TEST_F(CapabilityReadTest, AContainerOfTheWrongTypeIsFreedAndNothingWritten) {
  TW_UINT16 itemType = 77;
  std::string text = "kept";
  QueueCapability(MSG_GET, TrackedContainer(TWON_ENUMERATION, Units({0, 1}, 0, 0), handle));
  EXPECT_EQ(tcrBadContainer, source->ReadOneValueText(CAP_FEEDERLOADED, itemType, text, tcqGet));
  EXPECT_TRUE(Freed(handle));
  for (TW_UINT16 conType : {TWON_ARRAY, TWON_RANGE}) {
    QueueCapability(MSG_GET, TrackedContainer(conType, ContainerBytes::OneValue(TWTY_UINT16).U32(1), handle));
    EXPECT_EQ(tcrBadContainer, source->ReadOneValueText(CAP_FEEDERLOADED, itemType, text, tcqGet));
    EXPECT_TRUE(Freed(handle));
  }
  EXPECT_EQ("kept", text);
  EXPECT_EQ(77, itemType);

  TGetCapabilityList list{"kept"};
  int32_t current = 5, deflt = 6;
  QueueCapability(MSG_GET,
                  TrackedContainer(TWON_ONEVALUE, ContainerBytes::OneValue(TWTY_UINT16).U32(1), handle));
  EXPECT_EQ(tcrBadContainer,
            source->ReadEnumerationTexts(ICAP_UNITS, itemType, list, current, deflt, tcqGet));
  EXPECT_TRUE(Freed(handle));
  EXPECT_EQ(StringList{"kept"}, list);
  EXPECT_EQ(77, itemType);
  EXPECT_EQ(5, current);
  EXPECT_EQ(6, deflt);
}

TEST_F(CapabilityReadTest, UnitsEnumerationGivesTextsIndexesAndTheCurrentOrDefaultUnit) {
  QueueCapability(MSG_GET, TrackedContainer(TWON_ENUMERATION, Units({0, 1, 5}, 2, 0), handle));
  TW_UINT16 itemType = 0;
  TGetCapabilityList list{"stale", "stale", "stale", "stale"};
  int32_t current = -9, deflt = -9;
  EXPECT_EQ(tcrOk, source->ReadEnumerationTexts(ICAP_UNITS, itemType, list, current, deflt, tcqGet));
  EXPECT_EQ(TWTY_UINT16, itemType);
  EXPECT_EQ((StringList{"0", "1", "5"}), list);
  EXPECT_EQ(2, current);
  EXPECT_EQ(0, deflt);
  EXPECT_TRUE(Freed(handle));

  QueueCapability(MSG_GET, TrackedContainer(TWON_ENUMERATION, Units({0, 1, 5}, 2, 0), handle));
  TTwainMeasureUnit unit = tmuPoints;
  TTwainMeasureUnits units{tmuTwips};
  EXPECT_EQ(tcrOk, source->ReadMeasureUnit(unit, units, tcqGet));
  EXPECT_EQ(tmuPixels, unit);
  EXPECT_EQ((TTwainMeasureUnits{tmuInches, tmuCentimeters, tmuPixels, tmuTwips}), units);
  EXPECT_TRUE(Freed(handle));

  QueueCapability(MSG_GETDEFAULT, TrackedContainer(TWON_ENUMERATION, Units({0, 1, 5}, 2, 0), handle));
  EXPECT_EQ(tcrOk, source->ReadMeasureUnit(unit, units, tcqGetDefault));
  EXPECT_EQ(tmuInches, unit);
  EXPECT_TRUE(Freed(handle));
  EXPECT_EQ((StringList{"CONTROL/CAPABILITY/GET", "CONTROL/CAPABILITY/GET", "CONTROL/CAPABILITY/GETDEFAULT"}),
            Trace());
  EXPECT_EQ(ICAP_UNITS, Dsm().Calls()[1].As<TW_CAPABILITY>().Cap);
}

TEST_F(CapabilityReadTest, UnknownUnitsAndFlavorsReadAsOther) {
  QueueCapability(MSG_GET, rdsm::CapEnumUint16({1, 6, 0xFFFF}, 1, 0));
  TTwainMeasureUnit unit = tmuInches;
  TTwainMeasureUnits units;
  EXPECT_EQ(tcrOk, source->ReadMeasureUnit(unit, units, tcqGet));
  EXPECT_EQ(tmuOther, unit);
  EXPECT_EQ((TTwainMeasureUnits{tmuCentimeters, tmuOther}), units);

  QueueCapability(MSG_GET, TrackedContainer(TWON_ENUMERATION, Units({0, 1, 2}, 2, 0), handle));
  TTwainFlavor flavor = tflChocolate;
  TTwainFlavors flavors;
  EXPECT_EQ(tcrOk, source->ReadPixelFlavor(flavor, flavors, tcqGet));
  EXPECT_EQ(tflOther, flavor);
  EXPECT_EQ((TTwainFlavors{tflChocolate, tflVanilla, tflOther}), flavors);
  EXPECT_TRUE(Freed(handle));
  EXPECT_EQ(ICAP_PIXELFLAVOR, Dsm().Calls()[1].As<TW_CAPABILITY>().Cap);
}

TEST_F(CapabilityReadTest, FlavorListsOfAnotherItemTypeAreUnsupported) {
  QueueCapability(MSG_GET, TrackedContainer(TWON_ENUMERATION, Units({0, 1}, 1, 0, TWTY_BOOL), handle));
  TTwainFlavor flavor = tflVanilla;
  TTwainFlavors flavors{tflOther};
  EXPECT_EQ(tcrCapUnsupported, source->ReadPixelFlavor(flavor, flavors, tcqGet));
  EXPECT_TRUE(Freed(handle));

  QueueCapability(MSG_GET,
                  TrackedContainer(TWON_ENUMERATION,
                                   ContainerBytes::Enumeration(TWTY_UINT32, 2, 0, 0).U32(0).U32(1), handle));
  EXPECT_EQ(tcrCapUnsupported, source->ReadPixelFlavor(flavor, flavors, tcqGet));
  EXPECT_TRUE(Freed(handle));
  EXPECT_EQ(tflVanilla, flavor);
  EXPECT_EQ(TTwainFlavors{tflOther}, flavors);

  // A failed read passes its own result on.
  QueueFailure(TWCC_CAPSEQERROR);
  EXPECT_EQ(tcrCapSeqError, source->ReadPixelFlavor(flavor, flavors, tcqGet));
  EXPECT_EQ(tflVanilla, flavor);
}

TEST_F(CapabilityReadTest, AnIndexOutsideTheListLeavesTheUnitAsPassed) {
  QueueCapability(MSG_GET, rdsm::CapEnumUint16({}, 3, 7));
  TTwainMeasureUnit unit = tmuTwips;
  TTwainMeasureUnits units;
  EXPECT_EQ(tcrOk, source->ReadMeasureUnit(unit, units, tcqGet));
  EXPECT_EQ(tmuTwips, unit);
  EXPECT_TRUE(units.Empty());

  QueueCapability(MSG_GET, rdsm::CapEnumUint16({5}, 0xFFFFFFFFu, 0));
  EXPECT_EQ(tcrOk, source->ReadMeasureUnit(unit, units, tcqGet));
  EXPECT_EQ(tmuTwips, unit);
  EXPECT_EQ(TTwainMeasureUnits{tmuPixels}, units);
}

TEST_F(CapabilityReadTest, EnumerationsWithoutItemTextsGiveEmptyEntries) {
  QueueCapability(
      MSG_GET, TrackedContainer(TWON_ENUMERATION, ContainerBytes::Enumeration(TWTY_UINT16, 0, 4, 9), handle));
  TW_UINT16 itemType = 0;
  TGetCapabilityList list{"stale"};
  int32_t current = 0, deflt = 0;
  EXPECT_EQ(tcrOk, source->ReadEnumerationTexts(ICAP_UNITS, itemType, list, current, deflt, tcqGet));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(4, current);
  EXPECT_EQ(9, deflt);
  EXPECT_TRUE(Freed(handle));

  auto frames = ContainerBytes::Enumeration(TWTY_FRAME, 2, 0, 1);
  for (int i = 0; i < 8; ++i)
    frames.Fix32(static_cast<int16_t>(i), 0);
  QueueCapability(MSG_GET, TrackedContainer(TWON_ENUMERATION, frames, handle));
  EXPECT_EQ(tcrOk, source->ReadEnumerationTexts(0x1154, itemType, list, current, deflt, tcqGet));
  EXPECT_EQ(TWTY_FRAME, itemType);
  EXPECT_EQ((StringList{"", ""}), list);
  EXPECT_TRUE(Freed(handle));
}

TEST_F(CapabilityReadTest, ACallersContainerIsDecodedWithoutARequestAndFreed) {
  HGLOBAL oneValue = CallerContainer(ContainerBytes::OneValue(TWTY_STR32).Str("KV-S", 34));
  TW_UINT16 itemType = 0;
  std::string text;
  EXPECT_EQ(tcrOk, source->ReadOneValueText(CAP_FEEDERLOADED, itemType, text, tcqGet, oneValue));
  EXPECT_EQ(TWTY_STR32, itemType);
  EXPECT_EQ("KV-S", text);
  EXPECT_TRUE(Freed(oneValue));

  // Also from a source that is not open: nothing needs to be asked.
  ASSERT_TRUE(source->Close());
  Dsm().ClearCalls();
  HGLOBAL enumeration = CallerContainer(Units({3, 4}, 1, 0));
  TGetCapabilityList list;
  int32_t current = 0, deflt = 0;
  EXPECT_EQ(tcrOk,
            source->ReadEnumerationTexts(ICAP_UNITS, itemType, list, current, deflt, tcqGet, enumeration));
  EXPECT_EQ((StringList{"3", "4"}), list);
  EXPECT_TRUE(Freed(enumeration));
  EXPECT_TRUE(Dsm().Calls().empty());
}

TEST_F(CapabilityReadTest, HostileContainersAreRejectedAndFreed) {
  TW_UINT16 itemType = 77;
  TGetCapabilityList list{"kept"};
  int32_t current = 5, deflt = 6;
  // NumItems far beyond the block.
  QueueCapability(
      MSG_GET, TrackedContainer(TWON_ENUMERATION,
                                ContainerBytes::Enumeration(TWTY_UINT16, 0x40000000u, 0, 0).U16(1), handle));
  EXPECT_EQ(tcrBadContainer,
            source->ReadEnumerationTexts(ICAP_UNITS, itemType, list, current, deflt, tcqGet));
  EXPECT_TRUE(Freed(handle));
  EXPECT_EQ(StringList{"kept"}, list);
  EXPECT_EQ(77, itemType);

  // Success without any container.
  std::string text = "kept";
  rdsm::TAnswer noContainer;
  noContainer.action = [](TW_MEMREF pData) { static_cast<TW_CAPABILITY *>(pData)->ConType = TWON_ONEVALUE; };
  QueueCapability(MSG_GET, noContainer);
  EXPECT_EQ(tcrBadContainer, source->ReadOneValueText(CAP_FEEDERLOADED, itemType, text, tcqGet));
  EXPECT_EQ("kept", text);
}

// Restores the thread's locale and the held separator when a test ends.
class ThreadLocaleScope {
public:
  ThreadLocaleScope() : saved_(::GetThreadLocale()) {}
  ~ThreadLocaleScope() {
    ::SetThreadLocale(saved_);
    RefreshDecimalSeparator();
  }

private:
  LCID saved_;
};

TEST_F(CapabilityReadTest, FixedPointTextsUseTheLocalesSeparator) {
  ThreadLocaleScope restore;
  ASSERT_TRUE(::SetThreadLocale(MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT)));
  RefreshDecimalSeparator();
  QueueCapability(MSG_GET, rdsm::CapOneValue(TWTY_FIX32, 300));
  TW_UINT16 itemType = 0;
  std::string text;
  EXPECT_EQ(tcrOk, source->ReadOneValueText(ICAP_XRESOLUTION, itemType, text, tcqGet));
  EXPECT_EQ("300,0", text);

  const TW_FIX32 half{1, 32768};
  TTwainSource::CapItemText(text, TWTY_FIX32, &half);
  EXPECT_EQ("1,32768", text);
}

TEST_F(CapabilityReadTest, TheHiddenWindowRereadsTheSeparatorWhenSettingsChange) {
  ThreadLocaleScope restore;
  ASSERT_TRUE(::SetThreadLocale(MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT)));
  RefreshDecimalSeparator();
  ASSERT_EQ(',', DecimalSeparator());
  ASSERT_TRUE(::SetThreadLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT)));
  EXPECT_EQ(',', DecimalSeparator()) << "held until Windows announces the change";
  ::SendMessageA(twain->VirtualWindow(), WM_SETTINGCHANGE, 0, 0);
  EXPECT_EQ('.', DecimalSeparator());
}

TEST(CapItemTextMember, ReadsAStringNoFurtherThanItsWidth) {
  const auto str32 = ContainerBytes().Str(std::string(34, 'z'), 34).Str("next", 34);
  std::string text;
  TTwainSource::CapItemText(text, TWTY_STR32, str32.data());
  EXPECT_EQ(std::string(34, 'z'), text);
}

} // namespace
