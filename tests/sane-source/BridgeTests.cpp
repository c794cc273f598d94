// The SANE bridge as a TWAIN application sees it, through Wine's source manager, against SANE's
// frontend tester: device names, pages byte for byte as scanimage gives them, the feeder, the
// capabilities and the errors.
#include "tests/sane-source/SaneCases.h"
#include "tests/sane-source/TwainClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace sanetest;

namespace {

const char *const kProduct = "KV-S SANE test";
constexpr TW_UINT16 TWCC_INTERLOCK = 24;
constexpr TW_UINT16 TWCC_NOMEDIA = 29;

// What the memory transfer must hand over for scanimage's page: the same rows, and 1-bit pixels
// with 0 as black (PNM has 1 as black) and the bits after a row's last pixel clear.
std::vector<uint8_t> TwainRows(const PnmPage &pnm) {
  std::vector<uint8_t> rows = pnm.rows;
  if (pnm.kind != '4')
    return rows;
  const auto padding = static_cast<uint8_t>(0xFF >> (pnm.width % 8 ? pnm.width % 8 : 8));
  for (size_t i = 0; i < rows.size(); ++i)
    rows[i] = static_cast<uint8_t>(~rows[i] & ((i + 1) % pnm.bytesPerRow ? 0xFF : ~padding));
  return rows;
}

// lengthKnown false: the application asked for undefined sizes and the device did not know the
// page's length in advance (ImageLength -1).
void ExpectSamePage(const ClientPage &page, const PnmPage &pnm, bool lengthKnown = true) {
  ASSERT_TRUE(pnm.ok);
  EXPECT_EQ(page.info.ImageWidth, static_cast<TW_INT32>(pnm.width));
  EXPECT_EQ(page.info.ImageLength, lengthKnown ? static_cast<TW_INT32>(pnm.height) : -1);
  EXPECT_EQ(page.info.PixelType, pnm.kind == '6' ? TWPT_RGB : pnm.kind == '5' ? TWPT_GRAY : TWPT_BW);
  EXPECT_EQ(page.bytesPerRow, pnm.bytesPerRow);
  EXPECT_TRUE(page.rows == TwainRows(pnm)) << "the page differs from scanimage's";
}

class SaneBridgeTest : public ::testing::Test {
protected:
  // The case's configuration, and the bridge opened for memory transfer.
  void Open(const std::string &name) {
    UseCase(name);
    ASSERT_TRUE(client.Ready()) << "no source manager";
    ASSERT_EQ(client.OpenSource(kProduct), TWRC_SUCCESS) << "the bridge did not list or open " << kProduct;
    ASSERT_EQ(client.SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
  }
  TwainClient client;
};

TEST_F(SaneBridgeTest, ListsEachDeviceOnceUnderADistinctName) {
  UseCase("grey");
  const std::vector<std::string> names = client.SourceNames();
  // test:0 by its configured name, test:1 (the same model) by vendor and model.
  EXPECT_EQ(std::count(names.begin(), names.end(), kProduct), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "Noname frontend-tester"), 1);
}

TEST_F(SaneBridgeTest, MemoryTransfersMatchScanimageByteForByte) {
  for (const char *name : {"grey", "colour", "lineart", "three-pass", "hand-scanner"}) {
    SCOPED_TRACE(name);
    Open(name);
    const Batch batch = client.Scan();
    ASSERT_EQ(batch.pages.size(), 1u) << testing::PrintToString(batch.failures);
    // The page is whole before MSG_XFERREADY: its real length, even where SANE did not announce it.
    ExpectSamePage(batch.pages[0], ReadPnm(CasePath(name, ".pnm")));
    EXPECT_EQ(client.CloseSource(), TWRC_SUCCESS);
  }
  // An application that asked for undefined sizes learns the hand scanner's length from the rows.
  Open("hand-scanner");
  ASSERT_EQ(client.SetOneValue(0x112D /* ICAP_UNDEFINEDIMAGESIZE */, TWTY_BOOL, 1), TWRC_SUCCESS);
  const Batch batch = client.Scan();
  ASSERT_EQ(batch.pages.size(), 1u);
  ExpectSamePage(batch.pages[0], ReadPnm(CasePath("hand-scanner", ".pnm")), false);
}

TEST_F(SaneBridgeTest, NativeTransferHoldsTheSamePixelsAsABottomUpBitmap) {
  Open("colour");
  ASSERT_EQ(client.SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_NATIVE), TWRC_SUCCESS);
  const Batch batch = client.Scan(true);
  ASSERT_EQ(batch.pages.size(), 1u);
  const PnmPage pnm = ReadPnm(CasePath("colour", ".pnm"));
  ASSERT_TRUE(pnm.ok);
  const std::vector<uint8_t> &dib = batch.pages[0].rows;
  BITMAPINFOHEADER header{};
  ASSERT_GE(dib.size(), sizeof header);
  std::memcpy(&header, dib.data(), sizeof header);
  EXPECT_EQ(header.biWidth, LONG(pnm.width));
  EXPECT_EQ(header.biHeight, LONG(pnm.height));
  ASSERT_EQ(header.biBitCount, 24);
  const size_t stride = (size_t(pnm.width) * 3 + 3) / 4 * 4;
  ASSERT_EQ(dib.size(), sizeof header + stride * pnm.height);
  bool same = true;
  for (uint32_t y = 0; y < pnm.height; ++y)
    for (uint32_t x = 0; x < pnm.width * 3; ++x)
      same = same && dib[sizeof header + (pnm.height - 1 - y) * stride + x / 3 * 3 + (2 - x % 3)] ==
                         pnm.rows[y * pnm.bytesPerRow + x];
  EXPECT_TRUE(same) << "the bitmap differs from scanimage's page";
}

TEST_F(SaneBridgeTest, FeederBatchTakesEverySheetUntilSaneHasNoMore) {
  Open("feeder");
  TW_UINT16 conType = 0;
  std::vector<uint8_t> container;
  ASSERT_EQ(client.GetCap(CAP_FEEDERENABLED, MSG_GETCURRENT, conType, container), TWRC_SUCCESS);
  EXPECT_EQ(container.at(TW_ONEVALUE_ITEM_OFFSET), 1);
  // A count stops the batch with sheets left; the next batch takes the rest (the tester's feeder
  // holds ten), then the feeder reads as empty.
  ASSERT_EQ(client.SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 3), TWRC_SUCCESS);
  EXPECT_EQ(client.Scan().pages.size(), 3u);
  ASSERT_EQ(client.SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 0xFFFF), TWRC_SUCCESS);
  const Batch batch = client.Scan();
  EXPECT_EQ(batch.pages.size(), 7u);
  EXPECT_TRUE(batch.failures.empty());
  EXPECT_EQ(batch.cancels, 0); // the empty feeder ends the batch at MSG_ENDXFER
  const PnmPage pnm = ReadPnm(CasePath("feeder", ".pnm"));
  for (const ClientPage &page : batch.pages)
    ExpectSamePage(page, pnm);
  // The tester has no paper sensor: the feeder reads as loaded, so that an automatic start tries
  // (a batch on an empty feeder ends at once with a close request).
  ASSERT_EQ(client.GetCap(CAP_FEEDERLOADED, MSG_GETCURRENT, conType, container), TWRC_SUCCESS);
  EXPECT_EQ(container.at(TW_ONEVALUE_ITEM_OFFSET), 1);
}

TEST_F(SaneBridgeTest, ScanErrorsReachTheApplicationAsConditionCodes) {
  struct Row {
    const char *name;
    TW_UINT16 cc;
    bool transfers; // the failure is answered at the page's transfer; else a close request
  };
  for (const Row &row : {Row{"jam", TWCC_PAPERJAM, true}, Row{"cover-open", TWCC_INTERLOCK, true},
                         Row{"io-error", TWCC_OPERATIONERROR, true}, Row{"no-docs", TWCC_NOMEDIA, false}}) {
    SCOPED_TRACE(row.name);
    Open(row.name);
    const Batch batch = client.Scan();
    EXPECT_TRUE(batch.pages.empty());
    if (row.transfers) {
      EXPECT_TRUE(batch.xferReady);
      EXPECT_EQ(batch.failures, std::vector<TW_UINT16>{row.cc});
    } else {
      // No transfer to fail: the source asks to be closed, and its feeder reads as empty.
      EXPECT_TRUE(batch.closeRequested);
      TW_UINT16 conType = 0;
      std::vector<uint8_t> loaded;
      ASSERT_EQ(client.GetCap(CAP_FEEDERLOADED, MSG_GETCURRENT, conType, loaded), TWRC_SUCCESS);
      EXPECT_EQ(loaded.at(TW_ONEVALUE_ITEM_OFFSET), 0);
    }
    // Nothing sticks: the source is back in state 4 and closes.
    EXPECT_EQ(client.CloseSource(), TWRC_SUCCESS);
  }
}

TEST_F(SaneBridgeTest, CapabilitiesFollowTheDevicesOptionsAndRefuseWhatItCannotDo) {
  Open("grey");
  TW_UINT16 conType = 0;
  std::vector<uint8_t> c;
  // The tester's resolution is a range 1..1200 dpi at 50.
  ASSERT_EQ(client.GetCap(ICAP_XRESOLUTION, MSG_GET, conType, c), TWRC_SUCCESS);
  ASSERT_EQ(conType, TWON_RANGE);
  TW_RANGE range{};
  ASSERT_EQ(c.size(), sizeof range);
  std::memcpy(&range, c.data(), sizeof range);
  EXPECT_EQ(range.ItemType, TWTY_FIX32);
  EXPECT_EQ(range.MinValue, 1u);
  EXPECT_EQ(range.MaxValue, 1200u);
  EXPECT_EQ(range.CurrentValue, 50u);
  EXPECT_EQ(client.SetOneValue(ICAP_XRESOLUTION, TWTY_FIX32, 5000), TWRC_FAILURE);
  EXPECT_EQ(client.ConditionCode(), TWCC_BADVALUE);
  EXPECT_EQ(client.SetOneValue(ICAP_XRESOLUTION, TWTY_FIX32, 100), TWRC_SUCCESS);

  // Pixel types from the scan modes, black and white as one-bit grey.
  ASSERT_EQ(client.GetCap(ICAP_PIXELTYPE, MSG_GET, conType, c), TWRC_SUCCESS);
  ASSERT_EQ(conType, TWON_ENUMERATION);
  TW_UINT32 count = 0;
  std::memcpy(&count, c.data() + 2, 4);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(client.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_CMYK), TWRC_FAILURE);
  EXPECT_EQ(client.ConditionCode(), TWCC_BADVALUE);
  ASSERT_EQ(client.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB), TWRC_SUCCESS);
  ASSERT_EQ(client.GetCap(ICAP_BITDEPTH, MSG_GETCURRENT, conType, c), TWRC_SUCCESS);
  EXPECT_EQ(c.at(TW_ONEVALUE_ITEM_OFFSET), 24);
  // The tester has a feeder but no duplex: the capability cannot be set, as QUERYSUPPORT says.
  EXPECT_EQ(client.SetOneValue(CAP_DUPLEXENABLED, TWTY_BOOL, 1), TWRC_FAILURE);
  EXPECT_EQ(client.ConditionCode(), TWCC_CAPBADOPERATION);
  EXPECT_EQ(client.SetOneValue(ICAP_UNITS, TWTY_UINT16, TWUN_CENTIMETERS), TWRC_FAILURE);

  // The settings reach the scan: a colour page at 100 dpi (80 mm wide).
  const Batch batch = client.Scan();
  ASSERT_EQ(batch.pages.size(), 1u);
  EXPECT_EQ(batch.pages[0].info.PixelType, TWPT_RGB);
  EXPECT_EQ(batch.pages[0].info.XResolution.Whole, 100);
  EXPECT_EQ(batch.pages[0].info.ImageWidth, 314);

  // Triplets out of their state are refused and change nothing.
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_FAILURE);
  EXPECT_EQ(client.ConditionCode(), TWCC_SEQERROR);
  TW_USERINTERFACE ui{TWAIN_FALSE, TWAIN_FALSE, nullptr};
  ASSERT_EQ(client.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
  EXPECT_EQ(client.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_FAILURE);
  EXPECT_EQ(client.ConditionCode(), TWCC_SEQERROR);
  EXPECT_EQ(client.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_FAILURE);
  EXPECT_EQ(client.ConditionCode(), TWCC_SEQERROR);
  EXPECT_EQ(client.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
}

// A page SANE cancelled: its description is refused, only its transfer answers TWRC_CANCEL, and
// every way back to state 4 stays open.
TEST_F(SaneBridgeTest, ACancelledPageNeverTrapsTheApplication) {
  Open("cancelled");
  ASSERT_EQ(client.Enable(false), TWRC_SUCCESS);
  ASSERT_EQ(client.WaitForMessage(), MSG_XFERREADY);
  TW_IMAGEINFO info{};
  EXPECT_EQ(client.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE);
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS)
      << "still in state 6";
  TW_USERINTERFACE ui{};
  EXPECT_EQ(client.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);

  ASSERT_EQ(client.Enable(false), TWRC_SUCCESS);
  ASSERT_EQ(client.WaitForMessage(), MSG_XFERREADY);
  std::vector<uint8_t> buffer(64 * 1024);
  TW_IMAGEMEMXFER xfer{};
  xfer.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
  EXPECT_EQ(client.Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer), TWRC_CANCEL);
  EXPECT_EQ(client.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 0);
  EXPECT_EQ(client.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
  EXPECT_EQ(client.CloseSource(), TWRC_SUCCESS);
}

// DAT_IMAGELAYOUT in inches over the tester's tl-x ... br-y (millimetres): the frame an
// application asks for is the page it gets, and MSG_RESET gives the area back.
TEST_F(SaneBridgeTest, ImageLayoutSelectsTheScanArea) {
#pragma pack(push, 2)
  struct Layout {
    TW_FRAME frame;
    TW_UINT32 document, page, frameNumber;
  };
#pragma pack(pop)
  constexpr TW_UINT16 DAT_IMAGELAYOUT_ = 0x0102;
  auto inches = [](const TW_FIX32 &f) { return f.Whole + f.Frac / 65536.0; };
  Open("grey");
  Layout layout{};
  ASSERT_EQ(client.Call(DG_IMAGE, DAT_IMAGELAYOUT_, MSG_GET, &layout), TWRC_SUCCESS);
  EXPECT_NEAR(inches(layout.frame.Right), 80 / 25.4, 0.001); // the tester's whole area, 80 x 100 mm
  EXPECT_NEAR(inches(layout.frame.Bottom), 100 / 25.4, 0.001);
  layout.frame = TW_FRAME{{0, 0}, {0, 0}, {2, 0}, {3, 0}};
  const TW_UINT16 rc = client.Call(DG_IMAGE, DAT_IMAGELAYOUT_, MSG_SET, &layout);
  EXPECT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS) << rc;
  ASSERT_EQ(client.Call(DG_IMAGE, DAT_IMAGELAYOUT_, MSG_GET, &layout), TWRC_SUCCESS);
  EXPECT_NEAR(inches(layout.frame.Right), 2, 0.01);
  EXPECT_NEAR(inches(layout.frame.Bottom), 3, 0.01);
  const Batch batch = client.Scan();
  ASSERT_EQ(batch.pages.size(), 1u);
  const TW_IMAGEINFO &info = batch.pages[0].info;
  EXPECT_NEAR(info.ImageWidth, 2 * info.XResolution.Whole, 1);
  EXPECT_NEAR(info.ImageLength, 3 * info.YResolution.Whole, 1);
  ASSERT_EQ(client.Call(DG_IMAGE, DAT_IMAGELAYOUT_, MSG_RESET, &layout), TWRC_SUCCESS);
  EXPECT_NEAR(inches(layout.frame.Right), 80 / 25.4, 0.001);
}

} // namespace
