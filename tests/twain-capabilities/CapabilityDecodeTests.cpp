#include "twain/CapabilityDecode.h"
#include "twain/DecimalSeparator.h"

#include "ContainerBytes.h"
#include "GuardedBlock.h"

#include <gtest/gtest.h>

namespace {

std::string ItemText(TW_UINT16 itemType, const ContainerBytes &item, char separator = '.',
                     std::string start = "kept") {
  EXPECT_TRUE(CapItemText(start, itemType, item.data(), item.size(), separator));
  return start;
}

TEST(TwainItemSize, StepsByTheWidthOfEachItemType) {
  EXPECT_EQ(1u, TwainItemSize(TWTY_INT8));
  EXPECT_EQ(2u, TwainItemSize(TWTY_BOOL));
  EXPECT_EQ(4u, TwainItemSize(TWTY_FIX32));
  EXPECT_EQ(16u, TwainItemSize(TWTY_FRAME));
  EXPECT_EQ(34u, TwainItemSize(TWTY_STR32));
  EXPECT_EQ(256u, TwainItemSize(TWTY_STR255));
  EXPECT_EQ(1026u, TwainItemSize(TWTY_STR1024));
  EXPECT_EQ(1024u, TwainItemSize(TWTY_UNI512));
  EXPECT_EQ(0u, TwainItemSize(TWTY_HANDLE));
  EXPECT_EQ(0u, TwainItemSize(43));
  EXPECT_EQ(0u, TwainItemSize(0xFFFF));
}

TEST(CapItemText, WritesIntegersBySignAndWidthOfTheirType) {
  const auto allSet = ContainerBytes().U32(0xFFFFFFFFu);
  EXPECT_EQ("4294967295", ItemText(TWTY_UINT32, allSet));
  EXPECT_EQ("-1", ItemText(TWTY_INT32, allSet));
  EXPECT_EQ("4294967295", ItemText(43, allSet));
  EXPECT_EQ("-1", ItemText(44, allSet));
  EXPECT_EQ("65535", ItemText(TWTY_UINT16, allSet));
  EXPECT_EQ("-1", ItemText(TWTY_INT16, allSet));

  const auto ff = ContainerBytes().U8(0xFF);
  EXPECT_EQ("-1", ItemText(TWTY_INT8, ff));
  EXPECT_EQ("255", ItemText(TWTY_UINT8, ff));

  EXPECT_EQ("-32768", ItemText(TWTY_INT16, ContainerBytes().U16(0x8000)));
  EXPECT_EQ("0", ItemText(TWTY_UINT32, ContainerBytes().U32(0)));
  EXPECT_EQ("1", ItemText(TWTY_BOOL, ContainerBytes().U16(1)));
  EXPECT_EQ("65535", ItemText(TWTY_BOOL, ContainerBytes().U16(0xFFFF)));
}

TEST(CapItemText, WritesFix32AsWholeSeparatorAndRawFraction) {
  EXPECT_EQ("300,0", ItemText(TWTY_FIX32, ContainerBytes().Fix32(300, 0), ','));
  EXPECT_EQ("300.0", ItemText(TWTY_FIX32, ContainerBytes().Fix32(300, 0), '.'));
  EXPECT_EQ("1.32768", ItemText(TWTY_FIX32, ContainerBytes().Fix32(1, 32768)));
  EXPECT_EQ("-2.0", ItemText(TWTY_FIX32, ContainerBytes().Fix32(-2, 0)));
}

TEST(CapItemText, WritesStringsUpToTheirZeroByteAndNeverPastTheirWidth) {
  EXPECT_EQ("ABC", ItemText(TWTY_STR32, ContainerBytes().Str("ABC", 34)));
  EXPECT_EQ("", ItemText(TWTY_STR64, ContainerBytes().Str("", 66)));

  const std::string full(40, 'x'); // no zero byte within the 34 bytes of a STR32
  EXPECT_EQ(std::string(34, 'x'), ItemText(TWTY_STR32, ContainerBytes().Str(full, 40)));
  // Fewer bytes than the width: the string ends with the bytes there are.
  EXPECT_EQ("AB", ItemText(TWTY_STR255, ContainerBytes().Str("ABCD", 2)));
}

TEST(CapItemText, LeavesTheTextForTypesWithoutARule) {
  const auto item = ContainerBytes().Fix32(1, 2).Fix32(3, 4).Fix32(5, 6).Fix32(7, 8);
  for (TW_UINT16 type :
       {TWTY_FRAME, TWTY_STR1024, TWTY_UNI512, TWTY_HANDLE, TW_UINT16(16), TW_UINT16(0xFFFF)})
    EXPECT_EQ("kept", ItemText(type, item)) << "item type " << type;
}

TEST(CapItemText, RefusesANumberCutByTheEndOfTheBytes) {
  std::string text = "kept";
  const auto three = ContainerBytes().U16(1).U8(2);
  EXPECT_FALSE(CapItemText(text, TWTY_UINT32, three.data(), three.size(), '.'));
  EXPECT_FALSE(CapItemText(text, TWTY_FIX32, three.data(), three.size(), '.'));
  EXPECT_FALSE(CapItemText(text, TWTY_INT8, three.data(), 0, '.'));
  EXPECT_EQ("kept", text);
}

TEST(DecodeOneValue, ReadsTheItemTypeAndTheItemAtOffsetTwo) {
  TW_UINT16 type = 0;
  std::string value;
  const auto loaded = ContainerBytes::OneValue(TWTY_BOOL).U32(1);
  ASSERT_TRUE(DecodeOneValue(loaded.data(), loaded.size(), '.', type, value));
  EXPECT_EQ(TWTY_BOOL, type);
  EXPECT_EQ("1", value);

  const auto empty = ContainerBytes::OneValue(TWTY_BOOL).U32(0);
  ASSERT_TRUE(DecodeOneValue(empty.data(), empty.size(), '.', type, value));
  EXPECT_EQ("0", value);
}

TEST(DecodeOneValue, KeepsTheValueForAnItemWithoutATextRule) {
  TW_UINT16 type = 0;
  std::string value = "before";
  const auto frame = ContainerBytes::OneValue(TWTY_FRAME).Fix32(0, 0).Fix32(0, 0).Fix32(8, 0).Fix32(11, 0);
  ASSERT_TRUE(DecodeOneValue(frame.data(), frame.size(), '.', type, value));
  EXPECT_EQ(TWTY_FRAME, type);
  EXPECT_EQ("before", value);
}

TEST(DecodeOneValue, RejectsABlockThatDoesNotHoldItsItemAndWritesNothing) {
  TW_UINT16 type = 77;
  std::string value = "before";
  const auto noType = ContainerBytes().U8(TWTY_UINT16);
  EXPECT_FALSE(DecodeOneValue(noType.data(), noType.size(), '.', type, value));
  const auto cutNumber = ContainerBytes::OneValue(TWTY_UINT32).U16(1);
  EXPECT_FALSE(DecodeOneValue(cutNumber.data(), cutNumber.size(), '.', type, value));
  EXPECT_FALSE(DecodeOneValue(nullptr, 0, '.', type, value));
  EXPECT_EQ(77, type);
  EXPECT_EQ("before", value);
}

TEST(DecodeEnumeration, ReadsItemsIndexesAndType) {
  const auto units = ContainerBytes::Enumeration(TWTY_UINT16, 3, 2, 0).U16(0).U16(1).U16(5);
  TCapEnumeration e;
  ASSERT_TRUE(DecodeEnumeration(units.data(), units.size(), '.', e));
  EXPECT_EQ(TWTY_UINT16, e.ItemType);
  EXPECT_EQ(2, e.CurrentIndex);
  EXPECT_EQ(0, e.DefaultIndex);
  EXPECT_EQ((TGetCapabilityList{"0", "1", "5"}), e.Texts);
}

TEST(DecodeEnumeration, StepsThroughStringItemsByTheirWidth) {
  const auto names = ContainerBytes::Enumeration(TWTY_STR32, 3, 0, 0)
                         .Str("ABC", 34)
                         .Str(std::string(34, 'y'), 34)
                         .Str("Z", 34);
  TCapEnumeration e;
  ASSERT_TRUE(DecodeEnumeration(names.data(), names.size(), '.', e));
  EXPECT_EQ((TGetCapabilityList{"ABC", std::string(34, 'y'), "Z"}), e.Texts);
}

TEST(DecodeEnumeration, CopiesTheIndexesAsGivenAlsoForAnEmptyList) {
  const auto none = ContainerBytes::Enumeration(TWTY_UINT16, 0, 7, 0xFFFFFFFFu);
  TCapEnumeration e;
  e.Texts = {"stale"};
  ASSERT_TRUE(DecodeEnumeration(none.data(), none.size(), '.', e));
  EXPECT_TRUE(e.Texts.empty());
  EXPECT_EQ(7, e.CurrentIndex);
  EXPECT_EQ(-1, e.DefaultIndex);
}

TEST(DecodeEnumeration, GivesEmptyTextsForItemsWithoutATextRule) {
  auto frames = ContainerBytes::Enumeration(TWTY_FRAME, 2, 1, 0);
  frames.Fix32(0, 0).Fix32(0, 0).Fix32(8, 0).Fix32(11, 0).Fix32(0, 0).Fix32(0, 0).Fix32(4, 0).Fix32(6, 0);
  TCapEnumeration e;
  ASSERT_TRUE(DecodeEnumeration(frames.data(), frames.size(), '.', e));
  EXPECT_EQ(TWTY_FRAME, e.ItemType);
  EXPECT_EQ((TGetCapabilityList{"", ""}), e.Texts);
}

TEST(DecodeEnumeration, RejectsCountsTheBlockCannotHold) {
  TCapEnumeration e;
  e.ItemType = 99;
  const auto oneShort = ContainerBytes::Enumeration(TWTY_UINT16, 3, 0, 0).U16(0).U16(1);
  EXPECT_FALSE(DecodeEnumeration(oneShort.data(), oneShort.size(), '.', e));
  const auto huge = ContainerBytes::Enumeration(TWTY_UINT32, 0xFFFFFFFFu, 0, 0).U32(1);
  EXPECT_FALSE(DecodeEnumeration(huge.data(), huge.size(), '.', e));
  // Items that take no bytes cannot be bounded by the block: the count may not exceed its bytes.
  const auto hugeHandles = ContainerBytes::Enumeration(TWTY_HANDLE, 0x10000000u, 0, 0).U32(0);
  EXPECT_FALSE(DecodeEnumeration(hugeHandles.data(), hugeHandles.size(), '.', e));
  const auto noHeader = ContainerBytes().U16(TWTY_UINT16).U32(0).U32(0);
  EXPECT_FALSE(DecodeEnumeration(noHeader.data(), noHeader.size(), '.', e));
  EXPECT_EQ(99, e.ItemType);
}

TEST(DecodeEnumeration, ReadsNothingPastTheEndOfAHostileBlock) {
  TCapEnumeration e;
  // Every case ends its block at a no-access page: one byte read past it faults.
  for (const auto &hostile : {
           ContainerBytes::Enumeration(TWTY_STR32, 2, 0, 0).Str(std::string(34, 'a'), 34).U8('b'),
           ContainerBytes::Enumeration(TWTY_STR32, 1, 0, 0).Str(std::string(34, 'a'), 34),
           ContainerBytes::Enumeration(TWTY_UINT32, 5, 0, 0).U32(1).U16(2),
           ContainerBytes::Enumeration(43, 1, 0, 0).U16(2),
           ContainerBytes::Enumeration(TWTY_UINT16, 1, 0, 0),
           ContainerBytes().U16(TWTY_UINT16).U32(1),
       }) {
    GuardedBlock block(hostile.bytes());
    ASSERT_TRUE(block.guarded());
    DecodeEnumeration(block.data(), block.size(), '.', e);
  }
  GuardedBlock unterminated(
      ContainerBytes::Enumeration(TWTY_STR32, 1, 0, 0).Str(std::string(34, 'a'), 34).bytes());
  ASSERT_TRUE(DecodeEnumeration(unterminated.data(), unterminated.size(), '.', e));
  EXPECT_EQ((TGetCapabilityList{std::string(34, 'a')}), e.Texts);
}

TEST(DecodeOneValue, ReadsNothingPastTheEndOfAHostileBlock) {
  TW_UINT16 type = 0;
  std::string value;
  for (const auto &hostile : {
           ContainerBytes::OneValue(TWTY_STR255).Str(std::string(10, 'q'), 10),
           ContainerBytes::OneValue(TWTY_FIX32).U16(1),
           ContainerBytes::OneValue(TWTY_INT8),
           ContainerBytes().U8(TWTY_INT8),
       }) {
    GuardedBlock block(hostile.bytes());
    ASSERT_TRUE(block.guarded());
    DecodeOneValue(block.data(), block.size(), '.', type, value);
  }
  GuardedBlock shortString(ContainerBytes::OneValue(TWTY_STR255).Str("qq", 2).bytes());
  ASSERT_TRUE(DecodeOneValue(shortString.data(), shortString.size(), '.', type, value));
  EXPECT_EQ("qq", value);
}

TEST(CapResultFromConditionCode, MapsTheFourNamedCodesAndAllOthersToBadOperation) {
  for (TW_UINT16 code = 0; code < 40; ++code) {
    TTwainCapResult expected = tcrBadOperation;
    if (code == TWCC_CAPUNSUPPORTED)
      expected = tcrCapUnsupported;
    else if (code == TWCC_CAPSEQERROR)
      expected = tcrCapSeqError;
    else if (code == TWCC_LOWMEMORY)
      expected = tcrLowMemory;
    else if (code == TWCC_SEQERROR)
      expected = tcrBadState;
    EXPECT_EQ(expected, CapResultFromConditionCode(code)) << "condition code " << code;
  }
  EXPECT_EQ(tcrBadOperation, CapResultFromConditionCode(0xFFFF));
}

TEST(CapRequestMessage, SelectsTheMessageOfEachRequest) {
  EXPECT_EQ(MSG_GET, CapRequestMessage(tcqGet));
  EXPECT_EQ(MSG_GETCURRENT, CapRequestMessage(tcqGetCurrent));
  EXPECT_EQ(MSG_GETDEFAULT, CapRequestMessage(tcqGetDefault));
  EXPECT_EQ(MSG_RESET, CapRequestMessage(tcqReset));
}

TEST(TypedConversions, MapKnownNumbersAndEverythingElseToOther) {
  EXPECT_EQ(tmuInches, MeasureUnitFromTwain(TWUN_INCHES));
  EXPECT_EQ(tmuPixels, MeasureUnitFromTwain(TWUN_PIXELS));
  EXPECT_EQ(tmuOther, MeasureUnitFromTwain(6));
  EXPECT_EQ(tmuOther, MeasureUnitFromTwain(0xFFFF));
  EXPECT_EQ(tflChocolate, FlavorFromTwain(TWPF_CHOCOLATE));
  EXPECT_EQ(tflVanilla, FlavorFromTwain(TWPF_VANILLA));
  EXPECT_EQ(tflOther, FlavorFromTwain(2));

  EXPECT_EQ(65535, CapTextAsInteger("65535"));
  EXPECT_EQ(-7, CapTextAsInteger("-7"));
  for (const char *notANumber : {"", "1.5", "12a", " 1", "99999999999", "-"})
    EXPECT_EQ(-1, CapTextAsInteger(notANumber)) << notANumber;
}

TEST(TypedValueFromTexts, AddsEveryEntryToTheSetAndTakesTheIndexedOne) {
  TTwainMeasureUnit unit = tmuPoints;
  TTwainMeasureUnits units{tmuTwips};
  TypedValueFromTexts<TTwainMeasureUnit>({"0", "1", "5"}, 2, MeasureUnitFromTwain, unit, units);
  EXPECT_EQ(tmuPixels, unit);
  EXPECT_EQ((TTwainMeasureUnits{tmuInches, tmuCentimeters, tmuPixels, tmuTwips}), units);

  TTwainFlavor flavor = tflVanilla;
  TTwainFlavors flavors;
  TypedValueFromTexts<TTwainFlavor>({"7", "x"}, 1, FlavorFromTwain, flavor, flavors);
  EXPECT_EQ(tflOther, flavor); // "x" counts as -1: low 16 bits 65535
  EXPECT_EQ((TTwainFlavors{tflOther}), flavors);
  EXPECT_EQ(0x04, flavors.Bits());
}

TEST(TypedValueFromTexts, LeavesTheValueWhenTheIndexIsOutsideTheList) {
  for (int32_t index : {-1, 3, 0x7FFFFFFF}) {
    TTwainMeasureUnit unit = tmuPoints;
    TTwainMeasureUnits units;
    TypedValueFromTexts<TTwainMeasureUnit>({"0", "1", "5"}, index, MeasureUnitFromTwain, unit, units);
    EXPECT_EQ(tmuPoints, unit) << "index " << index;
    EXPECT_TRUE(units.Contains(tmuPixels));
  }
  TTwainFlavor flavor = tflVanilla;
  TTwainFlavors flavors;
  TypedValueFromTexts<TTwainFlavor>({}, 0, FlavorFromTwain, flavor, flavors);
  EXPECT_EQ(tflVanilla, flavor);
  EXPECT_TRUE(flavors.Empty());
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

TEST(DecimalSeparator, FollowsTheThreadLocaleWhenRefreshed) {
  ThreadLocaleScope restore;
  ASSERT_TRUE(::SetThreadLocale(MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT)));
  RefreshDecimalSeparator();
  EXPECT_EQ(',', DecimalSeparator());
  ASSERT_TRUE(::SetThreadLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT)));
  EXPECT_EQ(',', DecimalSeparator()) << "held until the next refresh";
  RefreshDecimalSeparator();
  EXPECT_EQ('.', DecimalSeparator());
}

} // namespace
