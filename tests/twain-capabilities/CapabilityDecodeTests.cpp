#include "twain/CapabilityDecode.h"

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

TEST(DecodeEnumeration, StepsThroughStringItemsByTheirWidth) {
  const auto names = ContainerBytes::Enumeration(TWTY_STR32, 3, 0, 0)
                         .Str("ABC", 34)
                         .Str(std::string(34, 'y'), 34)
                         .Str("Z", 34);
  TCapEnumeration e;
  ASSERT_TRUE(DecodeEnumeration(names.data(), names.size(), '.', e));
  EXPECT_EQ((TGetCapabilityList{"ABC", std::string(34, 'y'), "Z"}), e.Texts);
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

TEST(CapTextAsInteger, AcceptsOnlyWholeDecimalNumbers) {
  EXPECT_EQ(65535, CapTextAsInteger("65535"));
  EXPECT_EQ(-7, CapTextAsInteger("-7"));
  for (const char *notANumber : {"", "1.5", "12a", " 1", "99999999999", "-"})
    EXPECT_EQ(-1, CapTextAsInteger(notANumber)) << notANumber;
}

} // namespace
