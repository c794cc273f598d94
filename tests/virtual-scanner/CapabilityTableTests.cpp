// The negotiation every capability of our data sources goes through (dscommon::CapabilityTable),
// and the decoding of the containers applications send with MSG_SET, each read from a block
// that ends where a no-access page begins.
#include "sources/common/CapabilityTable.h"
#include "sources/common/TwainProtocol.h"
#include "tests/twain-capabilities/GuardedBlock.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace dscommon;

namespace {

std::vector<uint8_t> Bytes(const void *p, size_t n) {
  const auto *b = static_cast<const uint8_t *>(p);
  return std::vector<uint8_t>(b, b + n);
}

template <class T> void Put(std::vector<uint8_t> &bytes, T value) {
  const size_t at = bytes.size();
  bytes.resize(at + sizeof value);
  std::memcpy(bytes.data() + at, &value, sizeof value);
}

std::vector<uint8_t> OneValueBytes(TW_UINT16 type, TW_UINT32 item) {
  std::vector<uint8_t> b;
  Put(b, type);
  Put(b, item);
  b.resize(2 + TwainScalarItemSize(type));
  return b;
}

std::vector<uint8_t> EnumerationBytes(TW_UINT16 type, std::vector<TW_UINT16> items, TW_UINT32 current) {
  std::vector<uint8_t> b;
  Put(b, type);
  Put(b, static_cast<TW_UINT32>(items.size()));
  Put(b, current);
  Put(b, TW_UINT32{0});
  for (TW_UINT16 i : items)
    Put(b, i);
  return b;
}

std::vector<uint8_t> RangeBytes(TW_UINT16 type, TW_UINT32 min, TW_UINT32 max, TW_UINT32 step,
                                TW_UINT32 current) {
  std::vector<uint8_t> b;
  Put(b, type);
  for (TW_UINT32 v : {min, max, step, current, current})
    Put(b, v);
  return b;
}

TEST(CapabilityRequests, AreReadWithinTheBlockAndRefusedWhenItDoesNotHoldThem) {
  TW_FRAME frame{{1, 0}, {2, 0}, {3, 0}, {4, 0}};
  std::vector<uint8_t> frameOne;
  Put(frameOne, TWTY_FRAME);
  Put(frameOne, frame);
  struct Row {
    TW_UINT16 conType;
    std::vector<uint8_t> bytes;
    TW_UINT32 value;
  };
  const Row rows[] = {
      {TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, 7), 7},
      {TWON_ONEVALUE, OneValueBytes(TWTY_INT16, 0xFFFF), 0xFFFFFFFFu}, // -1 keeps its sign
      {TWON_ENUMERATION, EnumerationBytes(TWTY_UINT16, {4, 5, 6}, 2), 6},
      {TWON_RANGE, RangeBytes(TWTY_FIX32, 50, 600, 50, 300), 300},
      {TWON_ARRAY,
       [] {
         std::vector<uint8_t> b;
         Put(b, TWTY_UINT16);
         Put(b, TW_UINT32{2});
         Put(b, TW_UINT16{9});
         Put(b, TW_UINT16{8});
         return b;
       }(),
       9},
      {TWON_ONEVALUE, frameOne, 0},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.conType);
    for (size_t n = 0; n <= row.bytes.size(); ++n) {
      const GuardedBlock block(std::vector<uint8_t>(row.bytes.begin(), row.bytes.begin() + n));
      ASSERT_TRUE(block.guarded());
      const std::optional<CapRequest> r = DecodeRequest(row.conType, block.data(), block.size());
      EXPECT_EQ(r.has_value(), n == row.bytes.size()) << n << " bytes";
      if (r && r->itemType == TWTY_FRAME) {
        EXPECT_EQ(std::memcmp(&r->frame, &frame, sizeof frame), 0);
      } else if (r) {
        EXPECT_EQ(r->value, row.value);
      }
    }
  }
  // Headers that claim more than they hold, or a current item that is not there.
  for (const std::vector<uint8_t> &hostile :
       {EnumerationBytes(TWTY_UINT16, {4, 5}, 2), EnumerationBytes(TWTY_UINT16, {}, 0),
        EnumerationBytes(TWTY_STR32, {4}, 0), OneValueBytes(TWTY_HANDLE, 1)}) {
    const GuardedBlock block(hostile);
    EXPECT_FALSE(DecodeRequest(TWON_ENUMERATION, block.data(), block.size()));
  }
  std::vector<uint8_t> huge = EnumerationBytes(TWTY_UINT16, {1}, 0);
  const TW_UINT32 claimed = 0x40000000;
  std::memcpy(huge.data() + 2, &claimed, 4);
  const GuardedBlock block(huge);
  EXPECT_FALSE(DecodeRequest(TWON_ENUMERATION, block.data(), block.size()));
}

// A source with a resolution (a range of FIX32 values, nearest taken), a code among three
// (an enumeration), a value it holds, and a value the application only reads.
class NegotiationTest : public ::testing::Test {
protected:
  static constexpr TW_UINT16 kResolution = ICAP_XRESOLUTION, kCode = ICAP_PIXELTYPE,
                             kHeld = CAP_DUPLEXENABLED, kReadOnly = CAP_FEEDERLOADED;

  void SetUp() override {
    table.Add(
        kResolution,
        [this] {
          CapValue v;
          v.itemType = TWTY_FIX32;
          v.conType = TWON_RANGE;
          v.min = 50;
          v.max = 600;
          v.step = 50;
          v.defaultValue = 100;
          v.currentValue = resolution;
          v.settable = v.nearest = true;
          return std::optional<CapValue>(v);
        },
        [this](const CapRequest &r) {
          resolution = r.value;
          return SetOutcome{};
        });
    table.Add(
        kCode,
        [this] {
          return std::optional<CapValue>(Enumeration(TWTY_UINT16, {0, 1, 2}, code, 0, true));
        },
        [this](const CapRequest &r) {
          code = r.value;
          return SetOutcome{};
        });
    table.Add(
        kHeld, [] { return std::optional<CapValue>(OneValue(TWTY_BOOL, 1)); },
        [](const CapRequest &) { return SetOutcome{TWCC_BADVALUE}; });
    table.Add(kReadOnly, [] { return std::optional<CapValue>(OneValue(TWTY_BOOL, 0)); });
  }

  TripletResult Send(TW_UINT16 msg, TW_UINT16 cap, TW_UINT16 conType, const std::vector<uint8_t> &bytes) {
    win::UniqueGlobal block(::GlobalAlloc(GHND, bytes.empty() ? 1 : bytes.size()));
    {
      win::GlobalLockGuard lock(block.get());
      if (!bytes.empty())
        std::memcpy(lock.data(), bytes.data(), bytes.size());
    }
    TW_CAPABILITY c{cap, conType, block.get()};
    const TripletResult r = table.Answer(msg, c);
    if (c.hContainer != block.get())
      answered.reset(c.hContainer);
    return r;
  }

  CapabilityTable table;
  TW_UINT32 resolution = 100, code = 1;
  win::UniqueGlobal answered;
};

TEST_F(NegotiationTest, SetTakesWhatIsOfferedTheNearestOfWhatIsCloseAndRefusesTheRest) {
  const TW_UINT32 fix150 = 150;
  struct Row {
    const char *what;
    TW_UINT16 cap, conType;
    std::vector<uint8_t> container;
    TW_UINT16 rc, cc;
    TW_UINT32 resolution, code; // afterwards
  };
  const Row rows[] = {
      {"the value held", kResolution, TWON_ONEVALUE, OneValueBytes(TWTY_FIX32, 100), TWRC_SUCCESS, 0, 100, 1},
      {"a close value", kResolution, TWON_ONEVALUE, OneValueBytes(TWTY_FIX32, 149 | (0x8000u << 16)),
       TWRC_CHECKSTATUS, 0, fix150, 1},
      {"a whole number as an integer", kResolution, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, 300),
       TWRC_SUCCESS, 0, 300, 1},
      {"beyond the range", kResolution, TWON_ONEVALUE, OneValueBytes(TWTY_FIX32, 700), TWRC_FAILURE,
       TWCC_BADVALUE, 300, 1},
      {"the source's own range", kResolution, TWON_RANGE, RangeBytes(TWTY_FIX32, 50, 600, 50, 200),
       TWRC_SUCCESS, 0, 200, 1},
      {"a range the source does not keep", kResolution, TWON_RANGE, RangeBytes(TWTY_FIX32, 100, 600, 50, 250),
       TWRC_CHECKSTATUS, 0, 250, 1},
      {"the source's own enumeration", kCode, TWON_ENUMERATION, EnumerationBytes(TWTY_UINT16, {0, 1, 2}, 2),
       TWRC_SUCCESS, 0, 250, 2},
      {"an enumeration the source does not keep", kCode, TWON_ENUMERATION,
       EnumerationBytes(TWTY_UINT16, {0, 1}, 0), TWRC_CHECKSTATUS, 0, 250, 0},
      {"a code not offered", kCode, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, 5), TWRC_FAILURE, TWCC_BADVALUE,
       250, 0},
      {"an array for a single value",
       kCode,
       TWON_ARRAY,
       {4, 0, 1, 0, 0, 0, 1, 0},
       TWRC_FAILURE,
       TWCC_BADVALUE,
       250,
       0},
      {"a held value", kHeld, TWON_ONEVALUE, OneValueBytes(TWTY_BOOL, 1), TWRC_SUCCESS, 0, 250, 0},
      {"a held value as another integer", kHeld, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, 0xFFFF),
       TWRC_SUCCESS, 0, 250, 0},
      // QUERYSUPPORT says it cannot be set: the refusal says so too.
      {"another value of a held one", kHeld, TWON_ONEVALUE, OneValueBytes(TWTY_BOOL, 0), TWRC_FAILURE,
       TWCC_CAPBADOPERATION, 250, 0},
      {"a number no resolution is", kResolution, TWON_ONEVALUE, OneValueBytes(TWTY_UINT32, 40000),
       TWRC_FAILURE, TWCC_BADVALUE, 250, 0},
      {"a negative code", kCode, TWON_ONEVALUE, OneValueBytes(TWTY_INT16, 0xFFFF), TWRC_FAILURE,
       TWCC_BADVALUE, 250, 0},
      {"a range of any bounds for a BOOL", kHeld, TWON_RANGE,
       RangeBytes(TWTY_INT32, 0x80000000u, 0x7FFFFFFF, 1, 1), TWRC_CHECKSTATUS, 0, 250, 0},
      {"a value only read", kReadOnly, TWON_ONEVALUE, OneValueBytes(TWTY_BOOL, 0), TWRC_FAILURE,
       TWCC_CAPBADOPERATION, 250, 0},
      {"a capability the source does not have", ICAP_BITDEPTH, TWON_ONEVALUE, OneValueBytes(TWTY_UINT16, 8),
       TWRC_FAILURE, TWCC_CAPUNSUPPORTED, 250, 0},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    const TripletResult r = Send(MSG_SET, row.cap, row.conType, row.container);
    EXPECT_EQ(r.rc, row.rc);
    EXPECT_EQ(r.cc, row.cc);
    EXPECT_EQ(resolution, row.resolution);
    EXPECT_EQ(code, row.code);
  }
}

TEST_F(NegotiationTest, ResetsQueriesAndTheListOfCapabilities) {
  resolution = 300;
  code = 2;
  EXPECT_EQ(table.ResetAll().rc, TWRC_SUCCESS);
  EXPECT_EQ(resolution, 100u);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(Send(MSG_RESET, kReadOnly, TWON_DONTCARE16, {}).cc, TWCC_CAPBADOPERATION);
  for (TW_UINT16 cap : {kResolution, kReadOnly}) {
    ASSERT_EQ(Send(MSG_QUERYSUPPORT, cap, TWON_DONTCARE16, {}).rc, TWRC_SUCCESS);
    win::GlobalLockGuard lock(answered.get());
    TW_INT32 bits = 0;
    std::memcpy(&bits, static_cast<const uint8_t *>(lock.data()) + 2, 4);
    EXPECT_EQ(bits, cap == kReadOnly ? 0x0D : 0x1F);
  }
  for (TW_UINT16 msg : {MSG_GETHELP, MSG_GETLABEL, MSG_GETLABELENUM, MSG_SETCONSTRAINT})
    EXPECT_EQ(Send(msg, kCode, TWON_DONTCARE16, {}).cc, TWCC_CAPBADOPERATION);
  ASSERT_EQ(Send(MSG_GET, CAP_SUPPORTEDCAPS, TWON_DONTCARE16, {}).rc, TWRC_SUCCESS);
  win::GlobalLockGuard lock(answered.get());
  const std::vector<uint8_t> list = Bytes(lock.data(), lock.size());
  ASSERT_EQ(list.size(), TW_ARRAY_HEADER_SIZE + 5 * 2);
  std::vector<TW_UINT16> caps(5);
  std::memcpy(caps.data(), list.data() + TW_ARRAY_HEADER_SIZE, 10);
  EXPECT_EQ(caps, (std::vector<TW_UINT16>{CAP_SUPPORTEDCAPS, kResolution, kCode, kHeld, kReadOnly}));
}

} // namespace
