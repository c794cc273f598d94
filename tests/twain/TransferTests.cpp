// image transfer against the recording source manager: memory transfer strip by strip,
// native and file transfer, cancel, errors, and the layer's own failures.
#include "TwainTestSupport.h"
#include "tests/support/SectionContents.h"

#include "twain/PageHeader.h"
#include "twain/StripCopy.h"
#include "twain/VirtualWindow.h"

#include <algorithm>

#include <cstring>
#include <numeric>
#include <stdexcept>

using namespace rdsm;

namespace {

constexpr const char *kImageInfo = "IMAGE/IMAGEINFO/GET";
constexpr const char *kSetupMem = "CONTROL/SETUPMEMXFER/GET";
constexpr const char *kCapGet = "CONTROL/CAPABILITY/GET";
constexpr const char *kStatus = "CONTROL/STATUS/GET";
constexpr const char *kPalette = "IMAGE/PALETTE8/GET";
constexpr const char *kMemXfer = "IMAGE/IMAGEMEMXFER/GET";
constexpr const char *kEndXfer = "CONTROL/PENDINGXFERS/ENDXFER";
constexpr const char *kReset = "CONTROL/PENDINGXFERS/RESET";
constexpr const char *kDisable = "CONTROL/USERINTERFACE/DISABLEDS";
constexpr const char *kProcessEvent = "CONTROL/EVENT/PROCESSEVENT";

// One page of a memory transfer as the recording source manager answers it.
struct MemoryPage {
  int32_t width = 4;
  int32_t length = 3;
  int16_t bitsPerPixel = 8;
  int16_t pixelType = TWPT_GRAY;
  std::vector<std::vector<uint8_t>> strips; // the last one answers TWRC_XFERDONE
  uint32_t bytesPerRow = 0;                 // 0: the padded stride
  uint32_t preferred = 4096;
  std::vector<uint16_t> units{TWUN_INCHES}; // ICAP_UNITS items; empty: the read fails
  uint16_t currentUnit = 0;
  TW_FIX32 resolution{300, 0};
  int flavor = -1; // ICAP_PIXELFLAVOR item for TWPT_BW and TWPT_GRAY; -1: the read fails
  bool palette = false;
  uint16_t pendingAfter = 0; // Count answered to MSG_ENDXFER
};

size_t Stride(const MemoryPage &page) {
  return (static_cast<size_t>(page.bitsPerPixel) * static_cast<size_t>(page.width) + 31) / 32 * 4;
}

std::vector<uint8_t> Sequence(size_t n, uint8_t first = 1) {
  std::vector<uint8_t> bytes(n);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

// The pixel rows of a bitmap section, top row first, and its colour table.
using BitmapContents = testsupport::SectionContents;

BitmapContents Contents(HBITMAP bitmap) { return testsupport::ReadSectionContents(bitmap); }

class TransferTest : public TwainFixture {
protected:
  void SetUp() override {
    TwainFixture::SetUp();
    source = EnableSource();
    source->TransferMode = ttmMemory;
    LogEvents();
    twain->OnAcquireProgress = [this](TTwainSource *sender, int index, HBITMAP image, int current,
                                      int total) {
      EXPECT_EQ(sender, source);
      EXPECT_NE(image, nullptr);
      progressImage = image;
      events.push_back("progress " + std::to_string(index) + " " + std::to_string(current) + "/" +
                       std::to_string(total));
    };
    twain->OnTwainAcquire = [this](TKestraTwain *sender, int index, TTwainBitmap &image, bool &cancel) {
      EXPECT_EQ(sender, twain.get());
      pages.push_back(Contents(image.Handle()));
      handles.push_back(image.Handle());
      events.push_back("acquire " + std::to_string(index));
      if (cancelOnPage == static_cast<int>(pages.size()))
        cancel = true;
    };
  }

  void QueuePage(const MemoryPage &page) {
    Dsm().Queue(DG_IMAGE, DAT_IMAGEINFO, MSG_GET,
                ImageInfo(page.width, page.length, page.bitsPerPixel, page.pixelType, page.resolution,
                          page.resolution));
    Dsm().Queue(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, SetupMem(0, 0xFFFFFFFFu, page.preferred));
    {
      // Queues are per triplet: a failing read is scripted too, so that it does not take the next
      // page's answer.
      if (!page.units.empty()) {
        Dsm().Queue(DG_CONTROL, DAT_CAPABILITY, MSG_GET, CapEnumUint16(page.units, page.currentUnit, 0));
      } else {
        Dsm().Queue(DG_CONTROL, DAT_CAPABILITY, MSG_GET, Rc(TWRC_FAILURE));
        Dsm().Queue(DG_CONTROL, DAT_STATUS, MSG_GET, Status(TWCC_CAPUNSUPPORTED));
      }
      if (page.pixelType == TWPT_BW || page.pixelType == TWPT_GRAY) {
        if (page.flavor >= 0)
          Dsm().Queue(
              DG_CONTROL, DAT_CAPABILITY, MSG_GET,
              CapEnumUint16({TWPF_CHOCOLATE, TWPF_VANILLA, 2}, static_cast<uint32_t>(page.flavor), 0));
        else {
          Dsm().Queue(DG_CONTROL, DAT_CAPABILITY, MSG_GET, Rc(TWRC_FAILURE));
          Dsm().Queue(DG_CONTROL, DAT_STATUS, MSG_GET, Status(TWCC_CAPUNSUPPORTED));
        }
      }
    }
    Dsm().Queue(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, SetupMem(0, 0xFFFFFFFFu, page.preferred));
    uint32_t bytesPerRow = page.bytesPerRow ? page.bytesPerRow : static_cast<uint32_t>(Stride(page));
    for (size_t i = 0; i < page.strips.size(); ++i)
      Dsm().Queue(
          DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET,
          Strip(page.strips[i], i + 1 == page.strips.size() ? TWRC_XFERDONE : TWRC_SUCCESS, bytesPerRow));
    Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(page.pendingAfter));
  }

  // The triplets of one page queued with QueuePage, through its MSG_ENDXFER.
  StringList PageTrace(const MemoryPage &page) const {
    StringList trace{kImageInfo, kSetupMem};
    {
      trace.push_back(kCapGet);
      if (page.units.empty())
        trace.push_back(kStatus);
      if (page.pixelType == TWPT_BW || page.pixelType == TWPT_GRAY) {
        trace.push_back(kCapGet);
        if (page.flavor < 0)
          trace.push_back(kStatus);
      }
    }
    if (page.pixelType != TWPT_BW && page.pixelType != TWPT_GRAY && page.pixelType != TWPT_RGB)
      trace.push_back(kPalette);
    trace.push_back(kSetupMem);
    for (size_t i = 0; i < page.strips.size(); ++i)
      trace.push_back(kMemXfer);
    trace.push_back(kEndXfer);
    return trace;
  }

  static StringList Join(std::initializer_list<StringList> parts) {
    StringList all;
    for (const StringList &part : parts)
      all.insert(all.end(), part.begin(), part.end());
    return all;
  }

  // A grey page of `length` rows of 4 pixels in one strip.
  static MemoryPage GreyPage(uint16_t pendingAfter, int32_t length = 2, uint8_t first = 1) {
    MemoryPage page;
    page.length = length;
    page.strips = {Sequence(4 * static_cast<size_t>(length), first)};
    page.pendingAfter = pendingAfter;
    page.flavor = TWPF_CHOCOLATE; // as grey sources answer
    return page;
  }

  void RunBatch() {
    Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_DSEVENT, MSG_XFERREADY));
    MSG msg = {};
    EXPECT_TRUE(source->ProcessEvent(msg));
  }

  TTwainSource *source = nullptr;
  std::vector<BitmapContents> pages;
  std::vector<HBITMAP> handles;
  HBITMAP progressImage = nullptr;
  int cancelOnPage = 0;
};

} // namespace

TEST_F(TransferTest, StripEndingMidRow) {
  MemoryPage page; // 4 x 3 grey, stride 4
  page.strips = {Sequence(6, 1), Sequence(6, 7)};
  QueuePage(page);
  Dsm().onCall = [&](const TRecordedCall &call) {
    if (call.Is(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET))
      events.push_back("strip");
  };
  RunBatch();
  EXPECT_EQ(events, (StringList{"strip", "progress 0 1/2", "strip", "progress 0 2/2", "progress 0 3/2",
                                "acquire 0", "disable 0"}));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].rows, (std::vector<std::vector<uint8_t>>{{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}}));
  EXPECT_EQ(Trace(), Join({{kProcessEvent}, PageTrace(page), {kDisable}}));
}

TEST_F(TransferTest, SeveralRowsPerStripOneReportEach) {
  MemoryPage page;
  page.length = 5;
  page.strips = {Sequence(12), Sequence(8, 13)};
  QueuePage(page);
  RunBatch();
  EXPECT_EQ(events, (StringList{"progress 0 1/4", "progress 0 2/4", "progress 0 3/4", "progress 0 4/4",
                                "progress 0 5/4", "acquire 0", "disable 0"}));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].rows[4], (std::vector<uint8_t>{17, 18, 19, 20}));
}

TEST_F(TransferTest, OneRowImage) {
  MemoryPage page;
  page.length = 1;
  page.strips = {Sequence(4)};
  QueuePage(page);
  RunBatch();
  EXPECT_EQ(events, (StringList{"progress 0 1/0", "acquire 0", "disable 0"}));
}

TEST_F(TransferTest, TheMemoryRecordAndBufferAsSent) {
  MemoryPage page = GreyPage(0);
  page.preferred = 1000;
  page.strips = {Sequence(4), Sequence(4, 5)};
  QueuePage(page);
  RunBatch();
  std::vector<TW_IMAGEMEMXFER> sent;
  for (const TRecordedCall &call : Dsm().Calls())
    if (call.Is(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET))
      sent.push_back(call.As<TW_IMAGEMEMXFER>());
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].Compression, 0xFFFF); // every field starts as don't care
  EXPECT_EQ(sent[0].BytesPerRow, 0xFFFFFFFFu);
  EXPECT_EQ(sent[0].Columns, 0xFFFFFFFFu);
  EXPECT_EQ(sent[0].Rows, 0xFFFFFFFFu);
  EXPECT_EQ(sent[0].XOffset, 0xFFFFFFFFu);
  EXPECT_EQ(sent[0].YOffset, 0xFFFFFFFFu);
  for (const TW_IMAGEMEMXFER &xfer : sent) {
    EXPECT_EQ(xfer.BytesWritten, 0u);
    EXPECT_EQ(xfer.Memory.Flags, TWMF_APPOWNS | TWMF_POINTER);
    EXPECT_EQ(xfer.Memory.Length, 1000u);
    EXPECT_NE(xfer.Memory.TheMem, nullptr);
  }
  EXPECT_EQ(sent[0].Memory.TheMem, sent[1].Memory.TheMem); // one buffer for the page
}

TEST_F(TransferTest, RgbIsSwappedGreyBlackWhiteAndPaletteAreNot) {
  MemoryPage rgb;
  rgb.width = 2;
  rgb.length = 1;
  rgb.bitsPerPixel = 24;
  rgb.pixelType = TWPT_RGB;
  rgb.strips = {{10, 20, 30, 40, 50, 60, 0, 0}};
  rgb.pendingAfter = 3;
  MemoryPage grey = GreyPage(2, 1, 10);
  MemoryPage bw;
  bw.width = 16;
  bw.length = 2;
  bw.bitsPerPixel = 1;
  bw.pixelType = TWPT_BW;
  bw.strips = {{0xA5, 0x0F, 0, 0, 0x5A, 0xF0, 0, 0}};
  bw.pendingAfter = 1;
  MemoryPage palette;
  palette.length = 1;
  palette.pixelType = TWPT_PALETTE;
  palette.palette = true;
  palette.strips = {{0, 1, 2, 3}};
  TW_PALETTE8 colors;
  std::memset(&colors, 0, sizeof colors);
  colors.NumColors = 4;
  for (uint8_t i = 0; i < 4; ++i)
    colors.Colors[i] = TW_ELEMENT8{i, static_cast<uint8_t>(i * 10 + 1), static_cast<uint8_t>(i * 10 + 2),
                                   static_cast<uint8_t>(i * 10 + 3)};
  QueuePage(rgb);
  QueuePage(grey);
  QueuePage(bw);
  QueuePage(palette);
  Dsm().Queue(DG_IMAGE, DAT_PALETTE8, MSG_GET, Palette(colors));
  RunBatch();
  ASSERT_EQ(pages.size(), 4u);
  EXPECT_EQ(pages[0].rows[0], (std::vector<uint8_t>{30, 20, 10, 60, 50, 40, 0, 0}));
  EXPECT_EQ(pages[0].bitCount, 24);
  EXPECT_TRUE(pages[0].colors.empty());
  EXPECT_EQ(pages[1].rows[0], (std::vector<uint8_t>{10, 11, 12, 13}));
  ASSERT_EQ(pages[1].colors.size(), 256u);
  EXPECT_EQ(pages[1].colors[200].rgbRed, 200);
  EXPECT_EQ(pages[1].colors[200].rgbBlue, 200);
  EXPECT_EQ(pages[2].rows[0], (std::vector<uint8_t>{0xA5, 0x0F, 0, 0}));
  EXPECT_EQ(pages[2].rows[1], (std::vector<uint8_t>{0x5A, 0xF0, 0, 0}));
  ASSERT_EQ(pages[2].colors.size(), 2u);
  EXPECT_EQ(pages[2].colors[0].rgbGreen, 0); // the flavour read fails: chocolate
  EXPECT_EQ(pages[2].colors[1].rgbGreen, 255);
  EXPECT_EQ(pages[3].rows[0], (std::vector<uint8_t>{0, 1, 2, 3}));
  // (GDI reports the table of an 8-bit section as 256 entries; the first four are the palette.)
  ASSERT_GE(pages[3].colors.size(), 4u);
  EXPECT_EQ(pages[3].colors[3].rgbRed, 31);
  EXPECT_EQ(pages[3].colors[3].rgbGreen, 32);
  EXPECT_EQ(pages[3].colors[3].rgbBlue, 33);
  EXPECT_EQ(
      Trace(),
      Join(
          {{kProcessEvent}, PageTrace(rgb), PageTrace(grey), PageTrace(bw), PageTrace(palette), {kDisable}}));
}

TEST_F(TransferTest, BlackAndWhiteFlavours) {
  MemoryPage vanilla;
  vanilla.width = 8;
  vanilla.length = 1;
  vanilla.bitsPerPixel = 1;
  vanilla.pixelType = TWPT_BW;
  vanilla.flavor = 1;
  vanilla.strips = {{0x0F, 0, 0, 0}};
  vanilla.pendingAfter = 2;
  MemoryPage chocolate = vanilla;
  chocolate.flavor = 0;
  chocolate.pendingAfter = 1;
  MemoryPage other = vanilla;
  other.flavor = 2; // tflOther: treated as chocolate
  other.pendingAfter = 0;
  QueuePage(vanilla);
  QueuePage(chocolate);
  QueuePage(other);
  RunBatch();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].colors[0].rgbRed, 255); // vanilla: 0 is white
  EXPECT_EQ(pages[0].colors[1].rgbRed, 0);
  EXPECT_EQ(pages[1].colors[0].rgbRed, 0); // chocolate: 0 is black
  EXPECT_EQ(pages[1].colors[1].rgbRed, 255);
  EXPECT_EQ(pages[2].colors[0].rgbRed, 0);
  EXPECT_EQ(pages[2].colors[1].rgbRed, 255);
  EXPECT_EQ(pages[0].rows[0][0], 0x0F); // pixels are copied as sent
  EXPECT_EQ(Trace(),
            Join({{kProcessEvent}, PageTrace(vanilla), PageTrace(chocolate), PageTrace(other), {kDisable}}));
}

TEST_F(TransferTest, ResolutionFromTheUnit) {
  MemoryPage inches = GreyPage(2);
  MemoryPage centimetres = GreyPage(1);
  centimetres.units = {TWUN_INCHES, TWUN_CENTIMETERS};
  centimetres.currentUnit = 1;
  centimetres.resolution = {100, 0};
  MemoryPage unknown = GreyPage(0);
  unknown.units = {};
  QueuePage(inches);
  QueuePage(centimetres);
  QueuePage(unknown);
  RunBatch();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].header.biXPelsPerMeter, 11811);
  EXPECT_EQ(pages[0].header.biYPelsPerMeter, 11811);
  EXPECT_EQ(pages[1].header.biXPelsPerMeter, 10000);
  EXPECT_EQ(pages[2].header.biXPelsPerMeter, 0); // the unit read failed: no resolution
  EXPECT_EQ(
      Trace(),
      Join({{kProcessEvent}, PageTrace(inches), PageTrace(centimetres), PageTrace(unknown), {kDisable}}));
}

TEST_F(TransferTest, PaletteFailureFallsBackToGrey) {
  MemoryPage page = GreyPage(0, 1);
  page.pixelType = TWPT_PALETTE;
  QueuePage(page); // DAT_PALETTE8 answers TWRC_FAILURE
  RunBatch();
  ASSERT_EQ(pages.size(), 1u);
  ASSERT_EQ(pages[0].colors.size(), 256u);
  EXPECT_EQ(pages[0].colors[77].rgbGreen, 77);
  EXPECT_EQ(Trace(), Join({{kProcessEvent}, PageTrace(page), {kDisable}}));
}

TEST_F(TransferTest, AfterTheLastPageTheSourceIsDisabledAndStaysOpen) {
  QueuePage(GreyPage(1));
  QueuePage(GreyPage(0));
  RunBatch();
  EXPECT_EQ(events, (StringList{"progress 0 1/1", "progress 0 2/1", "acquire 0", "progress 0 1/1",
                                "progress 0 2/1", "acquire 0", "disable 0"}));
  EXPECT_EQ(Trace().back(), kDisable);
  EXPECT_FALSE(source->Enabled());
  EXPECT_TRUE(source->Loaded());
  EXPECT_EQ(twain->LoadedSourceCount, 1);
  // And it can be enabled again at once.
  EXPECT_TRUE(source->Enable(false, false));
}

TEST_F(TransferTest, CancelOnTheFirstPage) {
  cancelOnPage = 1;
  MemoryPage first = GreyPage(2);
  QueuePage(first);
  Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, Pending(0));
  RunBatch();
  EXPECT_EQ(Trace(), Join({{kProcessEvent}, PageTrace(first), {kReset, kDisable}}));
  EXPECT_EQ(pages.size(), 1u);
  EXPECT_EQ(events.back(), "disable 0");
}

TEST_F(TransferTest, CancelOnTheLastPageSendsNoReset) {
  cancelOnPage = 2;
  MemoryPage first = GreyPage(1);
  MemoryPage last = GreyPage(0);
  QueuePage(first);
  QueuePage(last);
  RunBatch();
  EXPECT_EQ(Trace(), Join({{kProcessEvent}, PageTrace(first), PageTrace(last), {kDisable}}));
  EXPECT_EQ(pages.size(), 2u);
}

TEST_F(TransferTest, ARefusedResetIsTriedAgainThenThePagesAreEndedWithoutTransfer) {
  cancelOnPage = 1;
  MemoryPage first = GreyPage(2);
  QueuePage(first);
  Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, Rc(TWRC_FAILURE));
  Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, Pending(0));
  RunBatch();
  EXPECT_EQ(Trace(), Join({{kProcessEvent}, PageTrace(first), {kReset, kReset, kDisable}}));
  EXPECT_EQ(pages.size(), 1u);

  // A source that keeps refusing the reset: its pages are ended one by one, none transferred.
  pages.clear();
  ASSERT_TRUE(source->Enable(false, false));
  QueuePage(first);
  Dsm().SetDefault(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, Rc(TWRC_FAILURE));
  Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(1));
  Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(0));
  const size_t from = Dsm().Calls().size();
  RunBatch();
  EXPECT_EQ(Trace(from),
            Join({{kProcessEvent},
                  PageTrace(first),
                  {kReset, kReset, kReset, kEndXfer, kReset, kReset, kReset, kEndXfer, kDisable}}));
  EXPECT_EQ(pages.size(), 1u);
  EXPECT_FALSE(source->Enabled());
}

TEST_F(TransferTest, SourceCancelAcknowledgesAndDropsTheRest) {
  Dsm().Queue(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, ImageInfo(4, 2, 8, TWPT_GRAY));
  Dsm().Queue(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, SetupMem(0, 0, 4096));
  Dsm().Queue(DG_CONTROL, DAT_CAPABILITY, MSG_GET, CapEnumUint16({TWUN_INCHES}, 0, 0));
  Dsm().Queue(DG_CONTROL, DAT_CAPABILITY, MSG_GET, CapEnumUint16({TWPF_CHOCOLATE, TWPF_VANILLA}, 0, 0));
  Dsm().Queue(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, SetupMem(0, 0, 4096));
  Dsm().Queue(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, Strip(Sequence(4), TWRC_SUCCESS, 4));
  Dsm().Queue(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, Rc(TWRC_CANCEL));
  Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(3));
  Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, Pending(0));
  RunBatch();
  StringList expected{kProcessEvent, kImageInfo, kSetupMem, kCapGet, kCapGet};
  expected.insert(expected.end(), {kSetupMem, kMemXfer, kMemXfer, kEndXfer, kReset, kDisable});
  EXPECT_EQ(Trace(), expected);
  EXPECT_EQ(events, (StringList{"progress 0 1/1", "cancel 0", "disable 0"}));
  EXPECT_TRUE(pages.empty());
  // The partly filled page was released.
  EXPECT_EQ(::GetObjectType(progressImage), 0u);
}

TEST_F(TransferTest, AFailedPageInTheMiddleIsReportedAndTheNextOnesArrive) {
  QueuePage(GreyPage(2, 2, 1));
  // The second page: its first strip fails with a paper jam.
  Dsm().Queue(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, ImageInfo(4, 2, 8, TWPT_GRAY));
  Dsm().Queue(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, SetupMem(0, 0, 4096));
  Dsm().Queue(DG_CONTROL, DAT_CAPABILITY, MSG_GET, CapEnumUint16({TWUN_INCHES}, 0, 0));
  Dsm().Queue(DG_CONTROL, DAT_CAPABILITY, MSG_GET, CapEnumUint16({TWPF_CHOCOLATE, TWPF_VANILLA}, 0, 0));
  Dsm().Queue(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, SetupMem(0, 0, 4096));
  Dsm().Queue(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, Rc(TWRC_FAILURE));
  Dsm().Queue(DG_CONTROL, DAT_STATUS, MSG_GET, Status(TWCC_PAPERJAM));
  Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(1));
  QueuePage(GreyPage(0, 2, 50));
  RunBatch();
  EXPECT_EQ(events, (StringList{"progress 0 1/1", "progress 0 2/1", "acquire 0", "error 0 1 20",
                                "progress 0 1/1", "progress 0 2/1", "acquire 0", "disable 0"}));
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[1].rows[0][0], 50);
  // The condition code was read right after the failed strip.
  StringList trace = Trace();
  auto failed = std::find(trace.begin(), trace.end(), kStatus);
  ASSERT_NE(failed, trace.end());
  EXPECT_EQ(*(failed - 1), kMemXfer);
  EXPECT_EQ(*(failed + 1), kEndXfer);
}

TEST_F(TransferTest, FailedImageInfoIsReported) {
  Dsm().Queue(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, Rc(TWRC_FAILURE));
  Dsm().SetDefault(DG_CONTROL, DAT_STATUS, MSG_GET, Status(TWCC_SEQERROR));
  RunBatch();
  EXPECT_EQ(Trace(), (StringList{kProcessEvent, kImageInfo, kStatus, kEndXfer, kDisable}));
  EXPECT_EQ(events, (StringList{"error 0 1 11", "disable 0"}));
}

TEST_F(TransferTest, FailedSetupMemXferBeforeTheStripsIsReported) {
  Dsm().Queue(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, ImageInfo(4, 2, 8, TWPT_GRAY));
  Dsm().Queue(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, SetupMem(0, 0, 4096));
  Dsm().Queue(DG_CONTROL, DAT_CAPABILITY, MSG_GET, CapEnumUint16({TWUN_INCHES}, 0, 0));
  Dsm().Queue(DG_CONTROL, DAT_CAPABILITY, MSG_GET, CapEnumUint16({TWPF_CHOCOLATE, TWPF_VANILLA}, 0, 0));
  Dsm().Queue(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, Rc(TWRC_FAILURE));
  Dsm().Queue(DG_CONTROL, DAT_STATUS, MSG_GET, Status(TWCC_LOWMEMORY));
  RunBatch();
  EXPECT_EQ(Dsm().CountOf(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET), 0u);
  EXPECT_EQ(events, (StringList{"error 0 1 2", "disable 0"}));
}

TEST_F(TransferTest, PreferredZeroGetsTheExactSizeAndADefaultBuffer) {
  MemoryPage page = GreyPage(0);
  page.preferred = 0;
  QueuePage(page);
  RunBatch();
  ASSERT_EQ(pages.size(), 1u);
  for (const TRecordedCall &call : Dsm().Calls()) {
    if (call.Is(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET)) {
      EXPECT_EQ(call.As<TW_IMAGEMEMXFER>().Memory.Length, kDefaultTransferBuffer);
    }
  }
  EXPECT_EQ(pages[0].rows[1], (std::vector<uint8_t>{5, 6, 7, 8}));
}

TEST_F(TransferTest, ThePageObjectIsGoneAfterTheHandler) {
  QueuePage(GreyPage(0));
  RunBatch();
  ASSERT_EQ(handles.size(), 1u);
  EXPECT_EQ(::GetObjectType(handles[0]), 0u);
}

// A page of a megabyte or more keeps its section for the next page of the batch (a fresh one
// costs more than the copy); a shorter next page must not show the rows of the one before, and
// nothing is kept once the batch is over.
TEST_F(TransferTest, ALargePagesSectionServesTheNextPageBlankWhereThatPageSentNothing) {
  MemoryPage full;
  full.width = 1024;
  full.length = 1100;
  full.preferred = 2u << 20;
  full.strips = {std::vector<uint8_t>(1024u * 1100u, 0x77)};
  full.pendingAfter = 1;
  MemoryPage shorter = full;
  shorter.strips = {std::vector<uint8_t>(1024u * 10u + 100u, 0x11)}; // ends within row 10
  shorter.pendingAfter = 0;
  QueuePage(full);
  QueuePage(shorter);
  RunBatch();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(handles[0], handles[1]) << "the section was made again";
  ASSERT_EQ(pages[1].rows.size(), 1100u);
  EXPECT_EQ(pages[1].rows[9], std::vector<uint8_t>(1024, 0x11));
  std::vector<uint8_t> begun(1024, 0);
  std::fill(begun.begin(), begun.begin() + 100, 0x11);
  EXPECT_EQ(pages[1].rows[10], begun);
  for (size_t row = 11; row < 1100; ++row)
    ASSERT_EQ(pages[1].rows[row], std::vector<uint8_t>(1024, 0)) << row;
  EXPECT_EQ(::GetObjectType(handles[1]), static_cast<DWORD>(OBJ_BITMAP)) << "kept for the next batch";
}

// A handler that takes a page's section over keeps it as long as it likes; once let go, the
// section serves a later page. A page the layer cannot give away (1-bit here) stays the layer's.
TEST_F(TransferTest, ATakenSectionComesBackForALaterPageOnceLetGo) {
  std::shared_ptr<void> kept;
  bool refused = false;
  twain->OnTwainAcquire = [&](TKestraTwain *, int, TTwainBitmap &image, bool &) {
    const HBITMAP handle = image.Handle();
    handles.push_back(handle);
    std::shared_ptr<void> taken = TakePageSection(image);
    if (handles.size() == 4) { // the 1-bit page
      refused = !taken && image.Handle() == handle;
      return;
    }
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(image.Handle(), nullptr);
    EXPECT_EQ(::GetObjectType(handle), static_cast<DWORD>(OBJ_BITMAP));
    if (handles.size() <= 2)
      kept = taken; // held past its handler: the first page's until the second's comes
  };
  MemoryPage large;
  large.width = 1024;
  large.length = 1100;
  large.preferred = 2u << 20;
  large.strips = {std::vector<uint8_t>(1024u * 1100u, 0x33)};
  MemoryPage blackWhite = GreyPage(0);
  blackWhite.bitsPerPixel = 1;
  blackWhite.pixelType = TWPT_BW;
  for (uint16_t after : {3, 2, 1}) {
    large.pendingAfter = after;
    QueuePage(large);
  }
  QueuePage(blackWhite);
  RunBatch();
  ASSERT_EQ(handles.size(), 4u);
  EXPECT_NE(handles[0], handles[1]) << "a held section was given to the next page";
  EXPECT_EQ(handles[2], handles[0]) << "the section let go did not serve the later page";
  EXPECT_TRUE(refused) << "a 1-bit page was given away";
}

TEST_F(TransferTest, WithoutAnAcquireHandlerThePageIsReleased) {
  twain->OnTwainAcquire = nullptr;
  QueuePage(GreyPage(0));
  RunBatch();
  ASSERT_NE(progressImage, nullptr);
  EXPECT_EQ(::GetObjectType(progressImage), 0u);
  EXPECT_EQ(events.back(), "disable 0");
}

TEST_F(TransferTest, SurplusStripDataFailsThePageCleanly) {
  MemoryPage surplus = GreyPage(1);
  surplus.strips = {Sequence(13)}; // 2 rows of 4 bytes, and 5 more
  MemoryPage next = GreyPage(0, 2, 30);
  QueuePage(surplus);
  QueuePage(next);
  RunBatch();
  EXPECT_EQ(events, (StringList{"progress 0 1/1", "progress 0 2/1", "error 0 1 10", "progress 0 1/1",
                                "progress 0 2/1", "acquire 0", "disable 0"}));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].rows[0][0], 30);
  // The layer knows the cause: no DAT_STATUS is asked.
  EXPECT_EQ(Dsm().CountOf(DG_CONTROL, DAT_STATUS, MSG_GET), 0u);
  EXPECT_EQ(Trace(), Join({{kProcessEvent}, PageTrace(surplus), PageTrace(next), {kDisable}}));
}

TEST_F(TransferTest, SurplusInALaterStripStopsAskingForStrips) {
  MemoryPage page = GreyPage(0);
  page.strips = {Sequence(8), Sequence(4), Sequence(4)}; // the page is full after the first
  QueuePage(page);
  RunBatch();
  EXPECT_EQ(Dsm().CountOf(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET), 2u);
  EXPECT_EQ(events, (StringList{"progress 0 1/1", "progress 0 2/1", "error 0 1 10", "disable 0"}));
  EXPECT_EQ(Dsm().Pending(), 1u); // the third strip was never asked for
}

TEST_F(TransferTest, BytesWrittenAboveTheBufferIsNotBelieved) {
  // A strip that claims more than the 16-byte buffer holds.
  Dsm().ClearScript();
  Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_DSEVENT, MSG_XFERREADY));
  Dsm().Queue(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, ImageInfo(4, 2, 8, TWPT_GRAY));
  Dsm().SetDefault(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, SetupMem(0, 0, 16));
  Dsm().Queue(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, Strip(Sequence(8), TWRC_XFERDONE, 4, 100000));
  MSG msg = {};
  EXPECT_TRUE(source->ProcessEvent(msg));
  EXPECT_EQ(events, (StringList{"error 0 1 10", "disable 0"}));
  EXPECT_TRUE(pages.empty());
}

TEST_F(TransferTest, HostileImageDescriptionsFailInOrder) {
  struct Hostile {
    int32_t width, length;
    int16_t bits;
  };
  const Hostile hostile[] = {{0, 10, 8},      {10, 0, 8},
                             {10, -2, 8},     {-5, 10, 8},
                             {10, 10, 48},    {10, 10, 2},
                             {10, 10, 0},     {kMaxPageSide + 1, 1, 8},
                             {1, 1 << 30, 8}, {kMaxPageSide, kMaxPageSide, 32}};
  const size_t count = sizeof hostile / sizeof hostile[0];
  StringList expected{kProcessEvent};
  for (size_t i = 0; i < count; ++i) {
    Dsm().Queue(DG_IMAGE, DAT_IMAGEINFO, MSG_GET,
                ImageInfo(hostile[i].width, hostile[i].length, hostile[i].bits, TWPT_GRAY));
    Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(1));
    expected.insert(expected.end(), {kImageInfo, kEndXfer});
  }
  MemoryPage good = GreyPage(0);
  QueuePage(good);
  RunBatch();
  StringList expectedEvents(count, "error 0 1 10");
  expectedEvents.insert(expectedEvents.end(), {"progress 0 1/1", "progress 0 2/1", "acquire 0", "disable 0"});
  EXPECT_EQ(events, expectedEvents);
  StringList goodTrace = PageTrace(good);
  expected.insert(expected.end(), goodTrace.begin(), goodTrace.end());
  expected.push_back(kDisable);
  EXPECT_EQ(Trace(), expected);
}

TEST_F(TransferTest, UnpaddedRowsAreCopiedRowByRow) {
  MemoryPage grey;
  grey.width = 3;
  grey.length = 3;
  grey.bytesPerRow = 3; // the source does not pad its rows to 4 bytes
  grey.strips = {Sequence(5), Sequence(4, 6)};
  grey.pendingAfter = 1;
  MemoryPage rgb;
  rgb.width = 3;
  rgb.length = 2;
  rgb.bitsPerPixel = 24;
  rgb.pixelType = TWPT_RGB;
  rgb.bytesPerRow = 9; // the bitmap's rows are 12 bytes
  rgb.strips = {Sequence(18)};
  QueuePage(grey);
  QueuePage(rgb);
  RunBatch();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].rows, (std::vector<std::vector<uint8_t>>{{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}}));
  EXPECT_EQ(pages[1].rows,
            (std::vector<std::vector<uint8_t>>{{3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0},
                                               {12, 11, 10, 15, 14, 13, 18, 17, 16, 0, 0, 0}}));
}

TEST_F(TransferTest, AnAcquireHandlersExceptionFinishesTheProtocolFirst) {
  twain->OnTwainAcquire = [](TKestraTwain *, int, TTwainBitmap &image, bool &) {
    EXPECT_NE(image.Handle(), nullptr);
    throw std::runtime_error("page handler");
  };
  MemoryPage first = GreyPage(2); // two more pages pending: they are dropped
  QueuePage(first);
  Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_DSEVENT, MSG_XFERREADY));
  MSG msg = {};
  EXPECT_THROW(source->ProcessEvent(msg), std::runtime_error);
  EXPECT_EQ(Trace(), Join({{kProcessEvent}, PageTrace(first), {kReset, kDisable}}));
  EXPECT_FALSE(source->Enabled());
  EXPECT_TRUE(source->Loaded());
  EXPECT_EQ(events.back(), "disable 0");
  EXPECT_EQ(::GetObjectType(progressImage), 0u); // the page bitmap was released with its object
}

TEST_F(TransferTest, AnExceptionWithPagesLeftSendsEndXferResetAndDisable) {
  bool thrown = false;
  twain->OnAcquireProgress = [&](TTwainSource *, int, HBITMAP, int current, int) {
    if (current == 1 && !thrown) {
      thrown = true;
      throw std::runtime_error("progress handler");
    }
  };
  MemoryPage page = GreyPage(3);
  page.strips = {Sequence(4), Sequence(4, 5)};
  QueuePage(page);
  Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, Pending(0));
  Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_DSEVENT, MSG_XFERREADY));
  // Through the window, as the message loop delivers it.
  EXPECT_EQ(::SendMessageA(twain->VirtualWindow(), WM_USER + 9, 0, 0), 0);
  StringList expected{kProcessEvent, kImageInfo, kSetupMem, kCapGet, kCapGet};
  expected.insert(expected.end(), {kSetupMem, kMemXfer, kEndXfer, kReset, kDisable});
  EXPECT_EQ(Trace(), expected);
  EXPECT_FALSE(source->Enabled());
  EXPECT_EQ(events, StringList{"disable 0"});
  EXPECT_THROW(RethrowParkedTwainException(), std::runtime_error);
  EXPECT_EQ(::GetObjectType(progressImage), 0u); // the partly filled page was released
}

// ---- native transfer ----

namespace {

// A packed 8-bit grey DIB of `width` x `height` with pixel value = row * 16 + column.
HGLOBAL MakeGreyDib(LONG width, LONG height, DWORD clrUsed = 256, size_t cut = 0) {
  size_t stride = (static_cast<size_t>(width) * 8 + 31) / 32 * 4;
  size_t size = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD) + stride * static_cast<size_t>(height) - cut;
  HGLOBAL block = ::GlobalAlloc(GHND, size);
  uint8_t *p = static_cast<uint8_t *>(::GlobalLock(block));
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 8;
  header.biClrUsed = clrUsed;
  std::memcpy(p, &header, sizeof header);
  RGBQUAD *colors = reinterpret_cast<RGBQUAD *>(p + sizeof header);
  for (int i = 0; i < 256 && sizeof header + (i + 1) * sizeof(RGBQUAD) <= size; ++i)
    colors[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
  ::GlobalUnlock(block);
  return block;
}

} // namespace

TEST_F(TransferTest, NativeTransferDeliversADeviceBitmapAndFreesTheDib) {
  source->TransferMode = ttmNative;
  HGLOBAL dib = MakeGreyDib(5, 3);
  Dsm().Queue(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, Native(dib));
  std::vector<BITMAP> seen;
  twain->OnTwainAcquire = [&](TKestraTwain *, int, TTwainBitmap &image, bool &) {
    BITMAP bitmap{};
    ::GetObjectA(image.Handle(), sizeof bitmap, &bitmap);
    seen.push_back(bitmap);
    handles.push_back(image.Handle());
  };
  RunBatch();
  EXPECT_EQ(Trace(), (StringList{kProcessEvent, "IMAGE/IMAGENATIVEXFER/GET", kEndXfer, kDisable}));
  const TRecordedCall &request = Dsm().Calls()[1];
  EXPECT_EQ(request.As<TW_UINT32>(), 0u); // the handle is 0 before the request
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].bmWidth, 5);
  EXPECT_EQ(seen[0].bmHeight, 3);
  EXPECT_EQ(::GetObjectType(handles[0]), 0u);
  EXPECT_EQ(::GlobalFlags(dib), static_cast<UINT>(GMEM_INVALID_HANDLE)); // freed
}

TEST_F(TransferTest, NativeDibsThatCannotBeReadFailCleanly) {
  source->TransferMode = ttmNative;
  HGLOBAL tooShort = MakeGreyDib(64, 64, 256, 100);       // pixel data cut short
  HGLOBAL tooManyColors = MakeGreyDib(4, 4, 0x10000000u); // a colour table larger than the block
  HGLOBAL headerless = ::GlobalAlloc(GHND, 8);            // not even a header
  for (HGLOBAL dib : {tooShort, tooManyColors, headerless}) {
    Dsm().Queue(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, Native(dib));
    Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(1));
  }
  Dsm().Queue(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, Native(MakeGreyDib(2, 2)));
  RunBatch();
  EXPECT_EQ(events, (StringList{"error 0 1 10", "error 0 1 10", "error 0 1 10", "acquire 0", "disable 0"}));
  for (HGLOBAL dib : {tooShort, tooManyColors, headerless})
    EXPECT_EQ(::GlobalFlags(dib), static_cast<UINT>(GMEM_INVALID_HANDLE));
}

TEST_F(TransferTest, NativeFailureIsReported) {
  source->TransferMode = ttmNative;
  Dsm().Queue(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, Rc(TWRC_FAILURE));
  Dsm().Queue(DG_CONTROL, DAT_STATUS, MSG_GET, Status(TWCC_OPERATIONERROR));
  RunBatch();
  EXPECT_EQ(Trace(), (StringList{kProcessEvent, "IMAGE/IMAGENATIVEXFER/GET", kStatus, kEndXfer, kDisable}));
  EXPECT_EQ(events, (StringList{"error 0 1 5", "disable 0"}));
}

TEST(DibColorCountTest, Rules) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biBitCount = 8;
  EXPECT_EQ(TTwainSource::DibColorCount(&header), 256u);
  header.biClrUsed = 17;
  EXPECT_EQ(TTwainSource::DibColorCount(&header), 17u);
  header.biClrUsed = 0;
  header.biBitCount = 1;
  EXPECT_EQ(TTwainSource::DibColorCount(&header), 2u);
  header.biBitCount = 4;
  EXPECT_EQ(TTwainSource::DibColorCount(&header), 16u);
  header.biBitCount = 24;
  EXPECT_EQ(TTwainSource::DibColorCount(&header), 0u);
  BITMAPCOREHEADER core{};
  core.bcSize = sizeof core;
  core.bcBitCount = 4;
  EXPECT_EQ(TTwainSource::DibColorCount(&core), 16u);
}

// ---- file transfer ----

TEST_F(TransferTest, FileTransferReportsTheNameAndFormat) {
  source->TransferMode = ttmFile;
  std::vector<std::string> files;
  twain->OnSourceFileTransfer = [&](TTwainSource *sender, int index, const char(&fileName)[256],
                                    TTwainFormat format, bool &) {
    EXPECT_EQ(sender, source);
    files.push_back(std::string(fileName) + " " + std::to_string(format) + " " + std::to_string(index));
  };
  Dsm().Queue(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, FileSetup("C:\\scan\\page1.jpg", TWFF_JFIF));
  Dsm().Queue(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, Rc(TWRC_XFERDONE));
  Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(1));
  Dsm().Queue(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, Rc(TWRC_FAILURE)); // reported as no name
  Dsm().Queue(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, Rc(TWRC_XFERDONE));
  RunBatch();
  EXPECT_EQ(Trace(),
            (StringList{kProcessEvent, "CONTROL/SETUPFILEXFER/GET", "IMAGE/IMAGEFILEXFER/GET", kEndXfer,
                        "CONTROL/SETUPFILEXFER/GET", "IMAGE/IMAGEFILEXFER/GET", kEndXfer, kDisable}));
  EXPECT_EQ(Dsm().Calls()[2].pData, nullptr);
  EXPECT_EQ(files, (StringList{"C:\\scan\\page1.jpg " + std::to_string(tfJPEG) + " 0",
                               " " + std::to_string(tfUnknown) + " 0"}));
  EXPECT_EQ(events, (StringList{"setupfile 0", "setupfile 0", "disable 0"}));
}

TEST_F(TransferTest, FileNameWithoutATerminatorIsCut) {
  source->TransferMode = ttmFile;
  std::string seen;
  twain->OnSourceFileTransfer = [&](TTwainSource *, int, const char(&fileName)[256], TTwainFormat, bool &) {
    seen = fileName;
  };
  TW_SETUPFILEXFER setup;
  std::memset(&setup, 'x', sizeof setup);
  setup.Format = TWFF_BMP;
  Dsm().Queue(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, Record(setup));
  Dsm().Queue(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, Rc(TWRC_XFERDONE));
  RunBatch();
  EXPECT_EQ(seen, std::string(255, 'x'));
}

TEST(FormatFromTwainTest, Mapping) {
  EXPECT_EQ(TTwainSource::FormatFromTwain(TWFF_TIFF), tfTIFF);
  EXPECT_EQ(TTwainSource::FormatFromTwain(TWFF_PICT), tfPict);
  EXPECT_EQ(TTwainSource::FormatFromTwain(TWFF_BMP), tfBMP);
  EXPECT_EQ(TTwainSource::FormatFromTwain(TWFF_XBM), tfXBM);
  EXPECT_EQ(TTwainSource::FormatFromTwain(TWFF_JFIF), tfJPEG);
  EXPECT_EQ(TTwainSource::FormatFromTwain(TWFF_FPX), tfFPX);
  EXPECT_EQ(TTwainSource::FormatFromTwain(TWFF_TIFFMULTI), tfTIFFMulti);
  EXPECT_EQ(TTwainSource::FormatFromTwain(TWFF_PNG), tfPNG);
  EXPECT_EQ(TTwainSource::FormatFromTwain(TWFF_SPIFF), tfSPIFF);
  EXPECT_EQ(TTwainSource::FormatFromTwain(TWFF_EXIF), tfEXIF);
  EXPECT_EQ(TTwainSource::FormatFromTwain(10), tfUnknown);
  EXPECT_EQ(TTwainSource::FormatFromTwain(0xFFFF), tfUnknown);
}

TEST_F(TransferTest, ARefusedEndXferIsTriedAgainThenLeavesTheSourceWhereItIsUntilTheNextEnable) {
  Dsm().ClearScript();
  Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_DSEVENT, MSG_XFERREADY));
  Dsm().Queue(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, ImageInfo(4, 2, 8, TWPT_GRAY));
  Dsm().SetDefault(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, SetupMem(0, 0, 4096));
  Dsm().Queue(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, Strip(Sequence(8), TWRC_XFERDONE, 4));
  Dsm().SetDefault(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(5, TWRC_FAILURE));
  Dsm().SetDefault(DG_CONTROL, DAT_STATUS, MSG_GET, Status(TWCC_SEQERROR));
  MSG msg = {};
  EXPECT_TRUE(source->ProcessEvent(msg));
  // In state 7 only MSG_ENDXFER leads out: tried a bounded number of times, nothing else sent.
  EXPECT_EQ(Dsm().CountOf(DG_IMAGE, DAT_IMAGEINFO, MSG_GET), 1u);
  EXPECT_EQ(Dsm().CountOf(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER), 6u);
  EXPECT_EQ(Dsm().CountOf(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS), 0u);
  EXPECT_EQ(pages.size(), 1u);
  EXPECT_EQ(events.back(), "error 0 1 11");
  EXPECT_TRUE(source->Enabled());
  EXPECT_TRUE(source->Stranded());
  EXPECT_EQ(Dsm().StateOf(source->IdentityRecord()->Id), 7);
  // The source accepts it again: the next enable steps back from state 7 first.
  Dsm().SetDefault(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(0));
  Dsm().ClearCalls();
  EXPECT_TRUE(source->Enable(false, false));
  EXPECT_EQ(Trace(),
            (StringList{kEndXfer, kDisable, "CONTROL/CAPABILITY/SET", "CONTROL/USERINTERFACE/ENABLEDS"}));
  EXPECT_FALSE(source->Stranded());
}

TEST_F(TransferTest, CloseRequestsDuringABatchEndItInOrderAndNothingNests) {
  MemoryPage first = GreyPage(2);
  MemoryPage second = GreyPage(1);
  QueuePage(first);
  QueuePage(second);
  // A simplex source without feeder control: the page in transfer is the whole sheet.
  Dsm().SetDefault(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, CapOneValue(TWTY_BOOL, 0));
  bool pumped = false;
  Dsm().onCall = [&](const TRecordedCall &call) {
    if (pumped || !call.Is(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET))
      return;
    pumped = true;
    // A driver that pumps messages inside the transfer: its notification comes again, the
    // buttons and the timer are used, and a handler closes the source and the source manager.
    Dsm().Queue(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, Event(TWRC_DSEVENT, MSG_XFERREADY));
    MSG msg = {};
    EXPECT_TRUE(source->ProcessEvent(msg));
    EXPECT_TRUE(source->Enable(false, false)); // already enabled: nothing
    EXPECT_FALSE(source->Close());
    twain->SetSourceManagerLoaded(false);
    EXPECT_TRUE(twain->SourceManagerLoaded());
    EXPECT_TRUE(twain->Busy());
  };
  bool idle = false;
  twain->OnIdle = [&] { idle = true; };
  RunBatch();
  // The page in transfer arrived; the next one was never begun.
  EXPECT_EQ(pages.size(), 1u);
  EXPECT_EQ(Dsm().CountOf(DG_IMAGE, DAT_IMAGEINFO, MSG_GET), 1u);
  const StringList trace = Trace();
  // Feeder control, then the sides asked, before the rest is dropped.
  const std::string kGetCurrent = "CONTROL/CAPABILITY/GETCURRENT";
  ASSERT_GE(trace.size(), 7u);
  EXPECT_EQ(StringList(trace.end() - 7, trace.end()),
            (StringList{kEndXfer, kGetCurrent, kGetCurrent, kGetCurrent, kReset, kDisable,
                        "CONTROL/IDENTITY/CLOSEDS"}));
  EXPECT_FALSE(source->Loaded());
  EXPECT_FALSE(twain->Busy());
  // The source manager closes once the manager is idle, through its hidden window.
  MSG message;
  while (::PeekMessageA(&message, twain->VirtualWindow(), 0, 0, PM_REMOVE))
    ::DispatchMessageA(&message);
  EXPECT_TRUE(idle);
  EXPECT_FALSE(twain->SourceManagerLoaded());
  EXPECT_EQ(Trace().back(), "CONTROL/PARENT/CLOSEDSM");
}

// A batch asked to end during a page ends between sheets: a front is followed by its back, then the
// rest stays in the feeder. A source that feeds from its feeder is told to stop it and says what is
// still in its path; the others are reset once the sheet is complete. The sides are the source's
// word, else they alternate from a front, unless the source scans one side.
TEST_F(TransferTest, AnEndAskedDuringASheetFinishesItFirst) {
  struct Case {
    const char *name;
    int endDuringPage;                  // the end is asked during this page's first strip
    std::vector<TAnswer> current;       // MSG_GETCURRENT answers, in the order they are asked
    TAnswer stop;                       // MSG_STOPFEEDER's answer, where it is sent
    std::vector<uint16_t> pendingAfter; // each page's MSG_ENDXFER Count: the pages fetched
    uint16_t sideOfFirst;               // TWEI_PAGESIDE of the first page, 0: not asked
    bool reset;                         // the rest is dropped with MSG_RESET
    size_t failedPage = 0;              // this page (from 1) fails before its first strip
  };
  const TAnswer on = CapOneValue(TWTY_BOOL, 1), off = CapOneValue(TWTY_BOOL, 0), refused = Rc(TWRC_FAILURE);
  const std::vector<uint16_t> unknownThenNone = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0};
  const Case cases[] = {
      {"the stopped feeder's count", 1, {on}, Pending(1), {5, 0}, 0, false},
      {"Count -1: unknown, fetched until MSG_ENDXFER says 0",
       1,
       {on},
       Pending(0xFFFF),
       unknownThenNone,
       0,
       false},
      {"a long paper path: two sheets behind the front", 1, {on}, Pending(5), {9, 4, 3, 2, 1, 0}, 0, false},
      {"no feeder control, duplex as an enumeration",
       1,
       {off, off, CapEnumUint16({0, 1}, 1, 0, TWTY_BOOL)},
       refused,
       {5, 4},
       0,
       true},
      {"a stop the source refuses", 1, {on, on}, refused, {5, 4}, 0, true},
      {"simplex as an enumeration",
       1,
       {off, off, CapEnumUint16({0, 1}, 0, 1, TWTY_BOOL)},
       refused,
       {5},
       0,
       true},
      {"asked during a back", 2, {off, off, on}, refused, {5, 4}, 0, true},
      {"a first page the source calls a back", 1, {off, off}, refused, {5}, TWCS_BOTTOM, true},
      // The failed page has no side: the front before it must not lend it its own.
      {"a failed page after a front", 1, {off, off, on}, refused, {5, 4}, TWCS_TOP, true, 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Dsm().ClearScript();
    Dsm().ClearCalls();
    pages.clear();
    source->AskPageSide = c.sideOfFirst != 0;
    for (size_t i = 0; i < c.pendingAfter.size(); ++i) {
      if (i + 1 != c.failedPage) {
        QueuePage(GreyPage(c.pendingAfter[i]));
        continue;
      }
      Dsm().Queue(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, Rc(TWRC_FAILURE));
      Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, Pending(c.pendingAfter[i]));
    }
    for (const TAnswer &answer : c.current)
      Dsm().Queue(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, answer);
    Dsm().Queue(DG_CONTROL, DAT_PENDINGXFERS, MSG_STOPFEEDER, c.stop);
    if (c.sideOfFirst) {
      TAnswer side;
      side.bytes = {1,
                    0,
                    0,
                    0,
                    0x45,
                    0x12,
                    static_cast<uint8_t>(TWTY_UINT16),
                    0,
                    1,
                    0,
                    0,
                    0,
                    static_cast<uint8_t>(c.sideOfFirst),
                    0,
                    0,
                    0};
      Dsm().Queue(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, side);
    }
    int strips = 0;
    Dsm().onCall = [&](const TRecordedCall &call) {
      if (call.Is(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET) && ++strips == c.endDuringPage) {
        EXPECT_TRUE(twain->RequestBatchEnd());
      }
    };
    RunBatch();
    Dsm().onCall = nullptr;
    EXPECT_EQ(pages.size(), c.pendingAfter.size() - (c.failedPage ? 1 : 0));
    EXPECT_EQ(Dsm().CountOf(DG_IMAGE, DAT_IMAGEINFO, MSG_GET), c.pendingAfter.size());
    EXPECT_EQ(Dsm().CountOf(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT), c.current.size());
    EXPECT_EQ(Dsm().CountOf(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET), c.reset ? 1u : 0u);
    EXPECT_FALSE(source->Enabled());
    EXPECT_EQ(Trace().back(), kDisable);
    // Ready for the next batch.
    Dsm().ClearScript();
    Dsm().ClearCalls();
    MSG idle;
    while (::PeekMessageA(&idle, twain->VirtualWindow(), 0, 0, PM_REMOVE))
      ::DispatchMessageA(&idle);
    ASSERT_TRUE(source->Enable(false, false));
  }
}

// A strict source tells the side only once ICAP_EXTIMAGEINFO was set TRUE before the enable; one
// that refuses the set has no side to tell; one that does not offer the capability is asked all the
// same, and a page it has no side for does not cost the next page theirs.
TEST_F(TransferTest, PageSidesFromStrictAndLenientSources) {
  auto sideAnswer = [](uint16_t side) {
    TAnswer answer;
    answer.bytes = {
        1, 0, 0, 0, 0x45, 0x12, static_cast<uint8_t>(TWTY_UINT16), 0, 1, 0, 0, 0, static_cast<uint8_t>(side),
        0, 0, 0};
    return answer;
  };
  struct Case {
    const char *name;
    int offered; // 0: not; 1: to MSG_GETCURRENT; 2: only to MSG_GET
    TW_UINT16 setRc;
    std::vector<TAnswer> sides; // DAT_EXTIMAGEINFO answers
    std::vector<TPageSide> delivered;
  };
  const Case cases[] = {
      {"offered and set",
       1,
       TWRC_SUCCESS,
       {sideAnswer(TWCS_TOP), sideAnswer(TWCS_BOTTOM)},
       {TPageSide::front, TPageSide::back}},
      {"offered, the set refused", 1, TWRC_FAILURE, {}, {TPageSide::unknown, TPageSide::unknown}},
      {"offered only to MSG_GET",
       2,
       TWRC_SUCCESS,
       {sideAnswer(TWCS_TOP), sideAnswer(TWCS_BOTTOM)},
       {TPageSide::front, TPageSide::back}},
      {"not offered, one page without a side",
       0,
       TWRC_SUCCESS,
       {Rc(TWRC_FAILURE), sideAnswer(TWCS_BOTTOM)},
       {TPageSide::unknown, TPageSide::back}},
  };
  std::vector<TPageSide> delivered;
  twain->OnTwainAcquire = [&](TKestraTwain *, int, TTwainBitmap &image, bool &) {
    delivered.push_back(image.Side);
  };
  source->AskPageSide = true;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(source->Disable());
    Dsm().ClearScript();
    Dsm().ClearCalls();
    delivered.clear();
    if (c.offered)
      Dsm().Queue(DG_CONTROL, DAT_CAPABILITY, c.offered == 1 ? MSG_GETCURRENT : MSG_GET,
                  CapOneValue(TWTY_BOOL, 0));
    Dsm().Queue(DG_CONTROL, DAT_CAPABILITY, MSG_SET, Rc(TWRC_SUCCESS)); // the transfer mechanism
    Dsm().Queue(DG_CONTROL, DAT_CAPABILITY, MSG_SET, Rc(c.setRc));
    ASSERT_TRUE(source->Enable(false, false));
    EXPECT_EQ(Dsm().CountOf(DG_CONTROL, DAT_CAPABILITY, MSG_SET), c.offered ? 2u : 1u);
    QueuePage(GreyPage(1));
    QueuePage(GreyPage(0));
    for (const TAnswer &answer : c.sides)
      Dsm().Queue(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, answer);
    RunBatch();
    EXPECT_EQ(delivered, c.delivered);
    EXPECT_EQ(Dsm().CountOf(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET), c.sides.size());
    ASSERT_TRUE(source->Enable(false, false));
  }
}
