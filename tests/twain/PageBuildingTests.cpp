// The pure pieces of a memory transfer: the page header and colour tables (PageHeader) and the copying of
// strips into the bitmap's rows (StripCopy), tested directly.
#include "twain/CompressedPage.h"
#include "twain/PageHeader.h"
#include "twain/PageSide.h"
#include "twain/StripCopy.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

namespace {

TW_IMAGEINFO Image(int32_t width, int32_t length, int16_t bitsPerPixel, int16_t pixelType = TWPT_GRAY) {
  TW_IMAGEINFO image;
  std::memset(&image, 0, sizeof image);
  image.ImageWidth = width;
  image.ImageLength = length;
  image.BitsPerPixel = bitsPerPixel;
  image.PixelType = pixelType;
  return image;
}

// A bitmap's rows with guard bytes on both sides, to catch any write outside.
struct GuardedRows {
  GuardedRows(size_t stride, uint32_t height) : bytes(kGuard + stride * height + kGuard, 0xEE) {
    target.pixels = bytes.data() + kGuard;
    target.stride = stride;
    target.height = height;
    std::memset(target.pixels, 0, stride * height);
  }
  bool GuardsIntact() const {
    for (size_t i = 0; i < kGuard; ++i)
      if (bytes[i] != 0xEE || bytes[bytes.size() - 1 - i] != 0xEE)
        return false;
    return true;
  }
  // Row `r` of the image (0 = top), stored bottom-up.
  std::vector<uint8_t> Row(uint32_t r) const {
    const uint8_t *row = target.pixels + target.stride * (target.height - 1 - r);
    return std::vector<uint8_t>(row, row + target.stride);
  }
  static constexpr size_t kGuard = 64;
  std::vector<uint8_t> bytes;
  TStripTarget target;
};

std::vector<uint8_t> Count(size_t n, uint8_t first = 1) {
  std::vector<uint8_t> bytes(n);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

} // namespace

TEST(StripCopyTest, RowStride) {
  EXPECT_EQ(DibRowStride(24, 3), 12u);
  EXPECT_EQ(DibRowStride(24, 4), 12u);
  EXPECT_EQ(DibRowStride(1, 1), 4u);
  EXPECT_EQ(DibRowStride(1, 33), 8u);
  EXPECT_EQ(DibRowStride(8, 5), 8u);
  EXPECT_EQ(DibRowStride(32, 262144), 1048576u);
}

TEST(StripCopyTest, StripEndingMidRowCompletesTheRowFromTheNextStrip) {
  GuardedRows rows(4, 3);
  TStripState state;
  std::vector<uint32_t> progress;
  auto done = [&](uint32_t n) { progress.push_back(n); };
  std::vector<uint8_t> data = Count(12);
  EXPECT_EQ(CopyStrip(data.data(), 6, 4, rows.target, state, done), TStripOutcome::ok);
  EXPECT_EQ(progress, (std::vector<uint32_t>{1})); // the second row is not complete yet
  EXPECT_EQ(state.bytesInRow, 2u);
  EXPECT_EQ(CopyStrip(data.data() + 6, 6, 4, rows.target, state, done), TStripOutcome::ok);
  EXPECT_EQ(progress, (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_EQ(rows.Row(0), (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(rows.Row(1), (std::vector<uint8_t>{5, 6, 7, 8}));
  EXPECT_EQ(rows.Row(2), (std::vector<uint8_t>{9, 10, 11, 12}));
  EXPECT_TRUE(rows.GuardsIntact());
}

TEST(StripCopyTest, OneReportPerRowAndTopRowLastInMemory) {
  GuardedRows rows(4, 5);
  TStripState state;
  std::vector<uint32_t> progress;
  std::vector<uint8_t> data = Count(20);
  EXPECT_EQ(
      CopyStrip(data.data(), data.size(), 4, rows.target, state, [&](uint32_t n) { progress.push_back(n); }),
      TStripOutcome::ok);
  EXPECT_EQ(progress, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
  // Bottom-up: the first row of the image is the last row in memory.
  EXPECT_EQ(rows.target.pixels[16], 1);
  EXPECT_EQ(rows.target.pixels[0], 17);
  EXPECT_TRUE(rows.GuardsIntact());
}

TEST(StripCopyTest, RgbRowsAreSwappedInPlaceWhenComplete) {
  GuardedRows rows(8, 2); // 2 RGB pixels per row: 6 bytes, padded to 8
  rows.target.swapPixels = 2;
  TStripState state;
  std::vector<std::vector<uint8_t>> seen;
  auto done = [&](uint32_t n) { seen.push_back(rows.Row(n - 1)); };
  std::vector<uint8_t> data = {10, 20, 30, 40, 50, 60, 0, 0, 11, 21, 31, 41, 51, 61, 0, 0};
  EXPECT_EQ(CopyStrip(data.data(), 3, 8, rows.target, state, done), TStripOutcome::ok);
  EXPECT_EQ(rows.Row(0)[0], 10); // not swapped before the row is complete
  EXPECT_EQ(CopyStrip(data.data() + 3, 13, 8, rows.target, state, done), TStripOutcome::ok);
  EXPECT_EQ(rows.Row(0), (std::vector<uint8_t>{30, 20, 10, 60, 50, 40, 0, 0}));
  EXPECT_EQ(rows.Row(1), (std::vector<uint8_t>{31, 21, 11, 61, 51, 41, 0, 0}));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], rows.Row(0)); // the handler sees the row already in the bitmap's order
}

static void RowsComeOutTheSame(uint32_t width, bool rgb) {
  const uint32_t height = 3;
  const size_t stride = DibRowStride(24, width);
  std::vector<uint8_t> data = Count(stride * height, 7);
  std::vector<uint8_t> expected(data);
  for (uint32_t r = 0; r < height && rgb; ++r)
    for (uint32_t x = 0; x < width; ++x)
      std::swap(expected[r * stride + 3 * x], expected[r * stride + 3 * x + 2]);

  for (size_t stripBytes : {stride * height, stride, size_t(5), size_t(1)}) {
    GuardedRows rows(stride, height);
    rows.target.swapPixels = rgb ? width : 0;
    TStripState state;
    for (size_t at = 0; at < data.size(); at += stripBytes)
      ASSERT_EQ(CopyStrip(data.data() + at, std::min(stripBytes, data.size() - at), stride, rows.target,
                          state, nullptr),
                TStripOutcome::ok);
    for (uint32_t r = 0; r < height; ++r)
      EXPECT_EQ(rows.Row(r),
                std::vector<uint8_t>(expected.begin() + r * stride, expected.begin() + (r + 1) * stride))
          << "strips of " << stripBytes << " bytes, row " << r;
    EXPECT_TRUE(rows.GuardsIntact());
  }
}

TEST(StripCopyTest, RowsComeOutTheSameWholeOrSplitAcrossStrips) {
  // 13: 39 bytes of pixels, padded to 40; 61: rows long enough to be streamed, each row starting
  // at another alignment. Grey and other rows without a swap are copied as they are.
  for (const uint32_t width : {13u, 61u})
    for (const bool rgb : {true, false}) {
      SCOPED_TRACE(std::to_string(width) + (rgb ? " RGB" : " as they are"));
      RowsComeOutTheSame(width, rgb);
    }
}

// 16-bit grey keeps each sample's high byte, 32-bit RGB(A) drops the fourth byte and stores blue
// first; the same bytes whole or split anywhere, never past a narrow bitmap row.
TEST(StripCopyTest, DeepSamplesAreNarrowedWholeOrSplitAcrossStrips) {
  struct Case {
    TSampleConversion narrow;
    uint32_t in, out; // bytes per pixel in the strips and in the bitmap
  } cases[] = {{TSampleConversion::grey16To8, 2, 1}, {TSampleConversion::rgbx32ToBgr, 4, 3}};
  for (const Case &c : cases) {
    const uint32_t width = 5, height = 3;
    const size_t sourceRow = width * c.in + 2, stride = DibRowStride(c.out * 8, width);
    const std::vector<uint8_t> data = Count(sourceRow * height, 3);
    for (size_t stripBytes : {sourceRow * height, sourceRow, size_t(3), size_t(1)}) {
      SCOPED_TRACE(testing::Message() << c.in << " bytes per pixel, strips of " << stripBytes);
      GuardedRows rows(stride, height);
      rows.target.narrow = c.narrow;
      rows.target.narrowPixels = width;
      TStripState state;
      for (size_t at = 0; at < data.size(); at += stripBytes)
        ASSERT_EQ(CopyStrip(data.data() + at, std::min(stripBytes, data.size() - at), sourceRow, rows.target,
                            state, nullptr),
                  TStripOutcome::ok);
      EXPECT_EQ(state.rowsCompleted, height);
      for (uint32_t r = 0; r < height; ++r)
        for (uint32_t x = 0; x < width; ++x) {
          const std::vector<uint8_t> row = rows.Row(r);
          const uint8_t *in = &data[r * sourceRow + x * c.in];
          const uint8_t *out = &row[x * c.out];
          if (c.out == 1)
            EXPECT_EQ(out[0], in[1]);
          else
            EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{in[2], in[1], in[0]}));
        }
      EXPECT_TRUE(rows.GuardsIntact());
    }
  }
  GuardedRows narrow(4, 1); // more pixels claimed than the row holds
  narrow.target.narrow = TSampleConversion::rgbx32ToBgr;
  narrow.target.narrowPixels = 100;
  TStripState state;
  const std::vector<uint8_t> row = Count(400);
  EXPECT_EQ(CopyStrip(row.data(), row.size(), row.size(), narrow.target, state, nullptr), TStripOutcome::ok);
  EXPECT_TRUE(narrow.GuardsIntact());
}

TEST(StripCopyTest, SwapNeverLeavesTheRow) {
  GuardedRows rows(4, 1); // a row that cannot hold two 3-byte pixels
  rows.target.swapPixels = 1000;
  TStripState state;
  std::vector<uint8_t> data = {1, 2, 3, 4};
  EXPECT_EQ(CopyStrip(data.data(), 4, 4, rows.target, state, nullptr), TStripOutcome::ok);
  EXPECT_EQ(rows.Row(0), (std::vector<uint8_t>{3, 2, 1, 4}));
  EXPECT_TRUE(rows.GuardsIntact());
}

TEST(StripCopyTest, SurplusDataIsNotWritten) {
  GuardedRows rows(4, 2);
  TStripState state;
  int reports = 0;
  std::vector<uint8_t> data = Count(13);
  EXPECT_EQ(CopyStrip(data.data(), data.size(), 4, rows.target, state, [&](uint32_t) { ++reports; }),
            TStripOutcome::surplus);
  EXPECT_EQ(reports, 2);
  EXPECT_TRUE(rows.GuardsIntact());
  // Any byte after the last row is surplus, also in a later strip.
  TStripState full;
  full.rowsCompleted = 2;
  EXPECT_EQ(CopyStrip(data.data(), 1, 4, rows.target, full, nullptr), TStripOutcome::surplus);
  EXPECT_EQ(CopyStrip(data.data(), 0, 4, rows.target, full, nullptr), TStripOutcome::ok);
  EXPECT_TRUE(rows.GuardsIntact());
}

TEST(StripCopyTest, UnpaddedRowsAreCopiedRowByRow) {
  GuardedRows rows(4, 3); // 3 grey pixels: 3 bytes, padded to 4
  TStripState state;
  int reports = 0;
  std::vector<uint8_t> data = Count(9);
  EXPECT_EQ(CopyStrip(data.data(), 9, 3, rows.target, state, [&](uint32_t) { ++reports; }),
            TStripOutcome::ok);
  EXPECT_EQ(reports, 3);
  EXPECT_EQ(rows.Row(0), (std::vector<uint8_t>{1, 2, 3, 0}));
  EXPECT_EQ(rows.Row(1), (std::vector<uint8_t>{4, 5, 6, 0}));
  EXPECT_EQ(rows.Row(2), (std::vector<uint8_t>{7, 8, 9, 0}));
  EXPECT_TRUE(rows.GuardsIntact());
}

TEST(StripCopyTest, SourceRowsLongerThanTheStrideKeepWhatFits) {
  GuardedRows rows(4, 2);
  TStripState state;
  std::vector<uint8_t> data = Count(16);
  EXPECT_EQ(CopyStrip(data.data(), 16, 8, rows.target, state, nullptr), TStripOutcome::ok);
  EXPECT_EQ(rows.Row(0), (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(rows.Row(1), (std::vector<uint8_t>{9, 10, 11, 12}));
  EXPECT_TRUE(rows.GuardsIntact());
}

TEST(StripCopyTest, RowLengthChangingMidRowStaysInside) {
  GuardedRows rows(4, 2);
  TStripState state;
  std::vector<uint8_t> data = Count(16);
  EXPECT_EQ(CopyStrip(data.data(), 6, 8, rows.target, state, nullptr), TStripOutcome::ok);
  // The first row is already longer than 3: it completes, the second takes 3 bytes, and the rest
  // is surplus.
  EXPECT_EQ(CopyStrip(data.data(), 6, 3, rows.target, state, nullptr), TStripOutcome::surplus);
  EXPECT_EQ(state.rowsCompleted, 2u);
  EXPECT_TRUE(rows.GuardsIntact());
}

TEST(StripCopyTest, StripRowBytes) {
  EXPECT_EQ(StripRowBytes(0xFFFFFFFFu, 8, 6), 8u); // don't care
  EXPECT_EQ(StripRowBytes(0, 8, 6), 8u);
  EXPECT_EQ(StripRowBytes(8, 8, 6), 8u);
  EXPECT_EQ(StripRowBytes(6, 8, 6), 6u); // not padded
  EXPECT_EQ(StripRowBytes(5, 8, 6), 8u); // cannot hold the row's pixels: not believed
  EXPECT_EQ(StripRowBytes(12, 8, 6), 12u);
}

TEST(StripCopyTest, TransferBufferSize) {
  EXPECT_EQ(TransferBufferSize(0, 0, 4096), 4096u);
  EXPECT_EQ(TransferBufferSize(0, 0, 0), kDefaultTransferBuffer);
  EXPECT_EQ(TransferBufferSize(0, 1000, 0), 1000u);
  EXPECT_EQ(TransferBufferSize(100000, 0xFFFFFFFFu, 0), 100000u);
  EXPECT_EQ(TransferBufferSize(0, 0xFFFFFFFFu, 0xFFFFFFFFu), kDefaultTransferBuffer);
  EXPECT_EQ(TransferBufferSize(0xFFFFFFFFu, 0xFFFFFFFFu, 0), kDefaultTransferBuffer);
  EXPECT_EQ(TransferBufferSize(0, 0, kMaxTransferBuffer), kMaxTransferBuffer);
}

TEST(PageHeaderTest, UsableDescriptions) {
  EXPECT_TRUE(PageDescriptionUsable(Image(2480, 3508, 24, TWPT_RGB)));
  EXPECT_TRUE(PageDescriptionUsable(Image(1, 1, 1, TWPT_BW)));
  for (int16_t bits : {1, 4, 8, 16, 24, 32})
    EXPECT_TRUE(PageDescriptionUsable(Image(10, 10, bits))) << bits;
  for (int16_t bits : {0, 2, 12, 48, 64, -8})
    EXPECT_FALSE(PageDescriptionUsable(Image(10, 10, bits))) << bits;
  EXPECT_FALSE(PageDescriptionUsable(Image(0, 10, 8)));
  EXPECT_FALSE(PageDescriptionUsable(Image(10, 0, 8)));
  EXPECT_FALSE(PageDescriptionUsable(Image(10, -1, 8))); // length undetermined
  EXPECT_FALSE(PageDescriptionUsable(Image(-10, 10, 8)));
  EXPECT_FALSE(PageDescriptionUsable(Image(kMaxPageSide + 1, 1, 8)));
  EXPECT_FALSE(PageDescriptionUsable(Image(1, kMaxPageSide + 1, 8)));
  EXPECT_FALSE(PageDescriptionUsable(Image(kMaxPageSide, kMaxPageSide, 32))); // 256 GiB
  EXPECT_TRUE(PageDescriptionUsable(Image(16384, 16384, 32)));                // exactly 1 GiB
  EXPECT_FALSE(PageDescriptionUsable(Image(16384, 16385, 32)));
}

TEST(PageHeaderTest, SizeImageIsRaisedToTheNextPreferredBlock) {
  // 8 x 16 at 8 bits: 128 bytes, an exact multiple of 64, still raised by one block.
  EXPECT_EQ(PageSizeImage(Image(8, 16, 8), 64), 192u);
  EXPECT_EQ(PageSizeImage(Image(8, 16, 8), 100), 200u);
  EXPECT_EQ(PageSizeImage(Image(8, 16, 8), 1000), 1000u);
  // No preferred size: the rows' bytes.
  EXPECT_EQ(PageSizeImage(Image(8, 16, 8), 0), 128u);
  EXPECT_EQ(PageSizeImage(Image(3, 2, 24), 0), 24u);
  // A preferred size larger than the page: one block of it.
  EXPECT_EQ(PageSizeImage(Image(8, 16, 8), 0xFFFFFFF0u), 0xFFFFFFF0u);
  EXPECT_EQ(PageSizeImage(Image(16384, 16384, 32), 1u << 30), 1u << 31);
}

TEST(PageHeaderTest, PixelsPerMeter) {
  EXPECT_EQ(PixelsPerMeter(300.0L, tmuInches, true), 11811);
  EXPECT_EQ(PixelsPerMeter(100.0L, tmuCentimeters, true), 10000);
  EXPECT_EQ(PixelsPerMeter(200.0L, tmuInches, true), 7874);
  EXPECT_EQ(PixelsPerMeter(299.5L, tmuInches, true), 11791);
  EXPECT_EQ(PixelsPerMeter(300.0L, tmuPixels, true), 0);
  EXPECT_EQ(PixelsPerMeter(300.0L, tmuOther, true), 0);
  EXPECT_EQ(PixelsPerMeter(300.0L, tmuInches, false), 0); // unit read failed
  EXPECT_EQ(PixelsPerMeter(-300.0L, tmuInches, true), 0);
  EXPECT_EQ(PixelsPerMeter(1e12L, tmuCentimeters, true), 0);
}

TEST(PageHeaderTest, BlackAndWhiteTables) {
  RGBQUAD colors[2];
  EXPECT_EQ(FillBlackWhiteColors(colors, tflChocolate), 2u);
  EXPECT_EQ(colors[0].rgbRed, 0);
  EXPECT_EQ(colors[1].rgbBlue, 255);
  EXPECT_EQ(colors[1].rgbGreen, 255);
  EXPECT_EQ(colors[1].rgbRed, 255);
  EXPECT_EQ(colors[1].rgbReserved, 0);
  FillBlackWhiteColors(colors, tflVanilla);
  EXPECT_EQ(colors[0].rgbGreen, 255);
  EXPECT_EQ(colors[1].rgbGreen, 0);
  FillBlackWhiteColors(colors, tflOther); // treated as chocolate
  EXPECT_EQ(colors[0].rgbGreen, 0);
  EXPECT_EQ(colors[1].rgbGreen, 255);
}

TEST(PageHeaderTest, GreyRampAndPalette) {
  RGBQUAD colors[256];
  EXPECT_EQ(FillGreyRamp(colors), 256u);
  EXPECT_EQ(colors[7].rgbRed, 7);
  EXPECT_EQ(colors[255].rgbBlue, 255);
  EXPECT_EQ(FillGreyRamp(colors, 4), 16u); // 16 levels over the whole range, not 0..15
  EXPECT_EQ(colors[1].rgbGreen, 17);
  EXPECT_EQ(colors[15].rgbRed, 255);
  EXPECT_EQ(FillGreyRamp(colors, 4, tflVanilla), 16u);
  EXPECT_EQ(colors[0].rgbRed, 255);
  EXPECT_EQ(colors[15].rgbBlue, 0);
  TW_PALETTE8 palette;
  std::memset(&palette, 0, sizeof palette);
  palette.NumColors = 3;
  palette.Colors[2] = TW_ELEMENT8{2, 200, 100, 50};
  EXPECT_EQ(FillPaletteColors(colors, palette), 3u);
  EXPECT_EQ(colors[2].rgbRed, 200);
  EXPECT_EQ(colors[2].rgbGreen, 100);
  EXPECT_EQ(colors[2].rgbBlue, 50);
  EXPECT_EQ(colors[2].rgbReserved, 0);
  palette.NumColors = 300;
  EXPECT_EQ(FillPaletteColors(colors, palette), 256u);
  palette.NumColors = 0;
  EXPECT_EQ(FillPaletteColors(colors, palette), 0u);
}

// Depths a bitmap section would misread get a bitmap of the narrowed depth.
TEST(PageHeaderTest, DeepPagesAreBuiltNarrowed) {
  struct Case {
    int16_t bits, pixelType;
    uint32_t bitmapBits;
    TSampleConversion conversion;
  } cases[] = {{16, TWPT_GRAY, 8, TSampleConversion::grey16To8},
               {32, TWPT_RGB, 24, TSampleConversion::rgbx32ToBgr},
               {24, TWPT_RGB, 24, TSampleConversion::swapRedBlue},
               {4, TWPT_GRAY, 4, TSampleConversion::copy}};
  for (const Case &c : cases) {
    const TPageLayout layout = PageLayoutFor(Image(5, 2, c.bits, c.pixelType));
    EXPECT_EQ(layout.sourceBits, static_cast<uint32_t>(c.bits));
    EXPECT_EQ(layout.bitmapBits, c.bitmapBits);
    EXPECT_EQ(layout.conversion, c.conversion);
    BITMAPINFOHEADER header;
    FillPageHeader(header, Image(5, 2, c.bits, c.pixelType), 0, 0, 0, 0);
    EXPECT_EQ(header.biBitCount, c.bitmapBits);
    EXPECT_EQ(header.biSizeImage, DibRowStride(c.bitmapBits, 5) * 2);
  }
}

TEST(PageHeaderTest, HeaderFields) {
  BITMAPINFOHEADER header;
  FillPageHeader(header, Image(8, 16, 8), 64, 11811, 10000, 256);
  EXPECT_EQ(header.biSize, 40u);
  EXPECT_EQ(header.biWidth, 8);
  EXPECT_EQ(header.biHeight, 16); // positive: bottom-up
  EXPECT_EQ(header.biPlanes, 1);
  EXPECT_EQ(header.biBitCount, 8);
  EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(header.biSizeImage, 192u);
  EXPECT_EQ(header.biXPelsPerMeter, 11811);
  EXPECT_EQ(header.biYPelsPerMeter, 10000);
  EXPECT_EQ(header.biClrUsed, 256u);
  EXPECT_EQ(header.biClrImportant, 0u);
}

// The page side as the source reports it: only a filled TWEI_PAGESIDE answer within the record
// counts.
TEST(PageSideTest, OnlyAFilledAnswerWithinTheRecordGivesASide) {
  uint8_t asked[kPageSideRecordSize];
  BuildPageSideRequest(asked);
  EXPECT_EQ(asked[0], 1);
  EXPECT_EQ(asked[4] | (asked[5] << 8), TWEI_PAGESIDE);
  auto answer = [&](uint16_t type, uint16_t items, uint16_t rc, uint32_t item) {
    std::vector<uint8_t> record(asked, asked + kPageSideRecordSize);
    std::memcpy(&record[6], &type, 2);
    std::memcpy(&record[8], &items, 2);
    std::memcpy(&record[10], &rc, 2);
    std::memcpy(&record[12], &item, 4);
    return record;
  };
  EXPECT_EQ(DecodePageSide(answer(TWTY_UINT16, 1, TWRC_SUCCESS, TWCS_TOP).data(), kPageSideRecordSize),
            TPageSide::front);
  EXPECT_EQ(DecodePageSide(answer(TWTY_UINT16, 1, TWRC_SUCCESS, TWCS_BOTTOM).data(), kPageSideRecordSize),
            TPageSide::back);
  EXPECT_EQ(DecodePageSide(answer(TWTY_UINT32, 1, TWRC_SUCCESS, TWCS_BOTTOM).data(), kPageSideRecordSize),
            TPageSide::back);
  const std::vector<uint8_t> unknown[] = {answer(TWTY_UINT16, 1, TWRC_INFONOTSUPPORTED, TWCS_TOP),
                                          answer(TWTY_UINT16, 1, TWRC_DATANOTAVAILABLE, 0),
                                          answer(TWTY_UINT16, 1, TWRC_SUCCESS, 3),
                                          answer(TWTY_UINT16, 0, TWRC_SUCCESS, TWCS_TOP),
                                          answer(TWTY_HANDLE, 1, TWRC_SUCCESS, TWCS_TOP),
                                          answer(TWTY_STR32, 1, TWRC_SUCCESS, TWCS_TOP)};
  for (const auto &record : unknown)
    EXPECT_EQ(DecodePageSide(record.data(), record.size()), TPageSide::unknown);
  std::vector<uint8_t> good = answer(TWTY_UINT16, 1, TWRC_SUCCESS, TWCS_TOP);
  EXPECT_EQ(DecodePageSide(good.data(), good.size() - 1), TPageSide::unknown); // cut short
  good[0] = 0;                                                                 // no infos
  EXPECT_EQ(DecodePageSide(good.data(), good.size()), TPageSide::unknown);
  EXPECT_EQ(DecodePageSide(nullptr, 100), TPageSide::unknown);
}

namespace {

// A small JPEG as a scanner sends it: SOI, JFIF APP0 at 72 dpi, a 3-component frame of 40 x 30,
// a scan and EOI.
std::vector<uint8_t> SmallJpeg() {
  return {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',  0x00, 0x01, 0x01, 0x00, 0x00, 0x48,
          0x00, 0x48, 0x00, 0x00, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00, 0x1E, 0x00, 0x28, 0x03, 0x01, 0x22,
          0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01, 0xFF, 0xDA, 0x00, 0x02, 0x12, 0x34, 0xFF, 0xD9};
}

} // namespace

TEST(CompressedPageTest, StripsAreGatheredUpToTheLimit) {
  std::vector<uint8_t> page;
  const std::vector<uint8_t> strip = Count(1000);
  for (int i = 0; i < 70; ++i)
    ASSERT_EQ(GatherStrip(page, strip.data(), strip.size(), 70000), TGatherOutcome::ok);
  EXPECT_EQ(page.size(), 70000u);
  EXPECT_EQ(page[69999], strip[999]);
  EXPECT_EQ(GatherStrip(page, strip.data(), 1, 70000), TGatherOutcome::tooLarge);
  EXPECT_EQ(page.size(), 70000u);
  EXPECT_EQ(GatherStrip(page, nullptr, 0, 70000), TGatherOutcome::ok);
}

// Only a whole JPEG image whose frame lies within the bytes is taken; every cut is refused.
TEST(CompressedPageTest, FrameIsReadOnlyFromAWholeImage) {
  std::vector<uint8_t> jpeg = SmallJpeg();
  TJpegFrame frame;
  ASSERT_TRUE(ReadJpegFrame(jpeg.data(), jpeg.size(), frame));
  EXPECT_EQ(frame.width, 40u);
  EXPECT_EQ(frame.height, 30u);
  EXPECT_EQ(frame.components, 3u);
  std::vector<uint8_t> padded = jpeg;
  padded.resize(padded.size() + 13, 0); // a driver's zero padding after EOI
  EXPECT_TRUE(ReadJpegFrame(padded.data(), padded.size(), frame));
  for (size_t cut = 0; cut < jpeg.size(); ++cut)
    EXPECT_FALSE(ReadJpegFrame(jpeg.data(), cut, frame)) << cut;
  std::vector<uint8_t> hostile = jpeg;
  hostile[5] = 0xF0; // an APP0 segment longer than the data
  EXPECT_FALSE(ReadJpegFrame(hostile.data(), hostile.size(), frame));
  hostile = jpeg;
  hostile[26] = 0; // height 0
  hostile[25] = 0;
  EXPECT_FALSE(ReadJpegFrame(hostile.data(), hostile.size(), frame));
  EXPECT_FALSE(ReadJpegFrame(Count(64).data(), 64, frame));

  // Scanners may put their Huffman tables (DHT, 0xC4: in the range of frame markers) before the
  // frame header: the frame is still the one that follows.
  std::vector<uint8_t> tablesFirst(jpeg.begin(), jpeg.begin() + 20);
  std::vector<uint8_t> dht = {0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01}; // table 0: one code of 1 bit
  dht.resize(dht.size() + 15, 0);
  dht.push_back(0x07);
  ASSERT_EQ(dht.size(), 2u + 0x14);
  tablesFirst.insert(tablesFirst.end(), dht.begin(), dht.end());
  tablesFirst.insert(tablesFirst.end(), jpeg.begin() + 20, jpeg.end());
  frame = {};
  ASSERT_TRUE(ReadJpegFrame(tablesFirst.data(), tablesFirst.size(), frame));
  EXPECT_EQ(frame.width, 40u);
  EXPECT_EQ(frame.height, 30u);
}

TEST(CompressedPageTest, JfifDensityIsSetInPlace) {
  std::vector<uint8_t> jpeg = SmallJpeg();
  ASSERT_TRUE(SetJfifDensity(jpeg.data(), jpeg.size(), 300, 600));
  EXPECT_EQ(jpeg[13], 1); // dots per inch
  EXPECT_EQ((jpeg[14] << 8) | jpeg[15], 300);
  EXPECT_EQ((jpeg[16] << 8) | jpeg[17], 600);
  std::vector<uint8_t> noJfif = jpeg;
  noJfif[6] = 'X';
  const std::vector<uint8_t> before = noJfif;
  EXPECT_FALSE(SetJfifDensity(noJfif.data(), noJfif.size(), 300, 300));
  EXPECT_EQ(noJfif, before);
  EXPECT_FALSE(SetJfifDensity(jpeg.data(), 17, 300, 300));
}
