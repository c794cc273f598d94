// sane.ds driven directly through DS_Entry, as the source manager would: identities from the
// scenario, enable and notification, transfers checked pixel by pixel against the pattern,
// faults on demand and the feeder seen through CAP_FEEDERLOADED.
#include "DirectSource.h"

#include "sources/virtual-scanner/Pattern.h"
#include "tests/support/ScannerScenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace vstest;
using testsupport::ScannerScenario;

namespace {

// A scenario with a log, installed for the next MSG_OPENDS.
ScannerScenario Base(int sheets = 1) {
  ScannerScenario s;
  s.Set("sheets", sheets).Set("width", 13).Set("height", 6).Set("preferred_buffer", 64);
  return s;
}

class ScannerTest : public ::testing::Test {
protected:
  void TearDown() override { Source.Shutdown(); }

  void OpenWith(const ScannerScenario &scenario) {
    LogPath = testsupport::FreshTempFile("vscanner-tests.log");
    ScannerScenario s = scenario;
    s.Log(LogPath).Install("vscanner-tests.ini");
    ASSERT_TRUE(Source.Loaded()) << DataSourcePath();
    ASSERT_TRUE(Source.Open());
  }

  // Sets ICAP_XFERMECH (as an application must before a transfer other than native), enables
  // without UI and waits for the source's notification.
  TW_UINT16 EnableAndWait(TW_UINT16 mechanism = TWSX_MEMORY) {
    EXPECT_EQ(Source.SetMechanism(mechanism), TWRC_SUCCESS);
    EXPECT_TRUE(Source.Enable(false));
    return Source.WaitForNotification();
  }

  // Reads one page by memory transfer with a buffer of `bufferSize` bytes: all strips, in order.
  Reply ReadMemoryPage(TW_UINT32 bufferSize, std::vector<uint8_t> &bytes, TW_UINT32 &bytesPerRow) {
    std::vector<uint8_t> buffer(bufferSize);
    Reply r;
    for (int strip = 0; strip < 100000; ++strip) {
      TW_IMAGEMEMXFER xfer;
      std::memset(&xfer, 0xFF, sizeof xfer);
      xfer.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
      xfer.Memory.Length = bufferSize;
      xfer.Memory.TheMem = buffer.data();
      r = Source.Ask(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
      if (r.rc != TWRC_SUCCESS && r.rc != TWRC_XFERDONE)
        return r;
      EXPECT_LE(xfer.BytesWritten, bufferSize);
      bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + xfer.BytesWritten);
      bytesPerRow = xfer.BytesPerRow;
      if (r.rc == TWRC_XFERDONE)
        return r;
    }
    return r;
  }

  TW_UINT16 EndTransfer() {
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(Source.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    return pending.Count;
  }

  std::string FeederLoaded() {
    TW_CAPABILITY cap{CAP_FEEDERLOADED, TWON_DONTCARE16, nullptr};
    const Reply r = Source.Ask(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap);
    if (r.rc != TWRC_SUCCESS)
      return "cc" + std::to_string(r.cc);
    win::UniqueGlobal owned(cap.hContainer);
    win::GlobalLockGuard lock(owned.get());
    EXPECT_EQ(cap.ConType, TWON_ONEVALUE);
    EXPECT_GE(lock.size(), sizeof(TW_ONEVALUE));
    const auto *one = static_cast<const TW_ONEVALUE *>(lock.data());
    EXPECT_EQ(one->ItemType, TWTY_BOOL);
    return std::to_string(static_cast<TW_UINT16>(one->Item));
  }

  DirectSource Source;
  std::string LogPath;
};

TEST_F(ScannerTest, ListsEveryDeviceOnceThenTheFirstAgainAndStartsOverNextTime) {
  Base().Devices({"KV-S1027C Virtual", "KV-S1065C Virtual", "Flatbed"}).Install("vscanner-tests.ini");
  std::vector<std::string> names;
  for (int i = 0; i < 8; ++i)
    names.push_back(Source.NextIdentity());
  const std::vector<std::string> listing{"KV-S1027C Virtual", "KV-S1065C Virtual", "Flatbed",
                                         "KV-S1027C Virtual"};
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 4), listing);
  EXPECT_EQ(std::vector<std::string>(names.begin() + 4, names.end()), listing);

  // Without a scenario file: one KV-S device.
  testsupport::UseScenarioFile(testsupport::FreshTempFile("vscanner-missing.ini"));
  EXPECT_NE(Source.NextIdentity().find("KV-S"), std::string::npos);
  ASSERT_TRUE(Source.Open());
  EXPECT_NE(Source.NextIdentity().find("KV-S"), std::string::npos); // the open device's identity
}

TEST_F(ScannerTest, OpensTheDeviceNamedByTheApplicationAndKeepsTheIdGiven) {
  OpenWith(Base().Devices({"KV-S1027C Virtual", "KV-S1065C Virtual"}));
  Source.Shutdown();
  ASSERT_TRUE(Source.Open("KV-S1065C Virtual"));
  const auto log = testsupport::ReadTripletLog(LogPath);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().names, "CONTROL/ENTRYPOINT/SET");
  const auto &open = log[log.size() - 2];
  EXPECT_EQ(open.names, "CONTROL/IDENTITY/OPENDS");
  EXPECT_EQ(open.Note("name"), "KV-S1065C Virtual");
  EXPECT_EQ(open.Note("Id"), "7");
}

TEST_F(ScannerTest, TripletsOutOfSequenceAreRefusedWithSeqError) {
  OpenWith(Base());
  TW_IMAGEINFO info{};
  Reply r = Source.Ask(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
  EXPECT_EQ(r.rc, TWRC_FAILURE);
  EXPECT_EQ(r.cc, TWCC_SEQERROR);
  TW_USERINTERFACE ui{};
  r = Source.Ask(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  EXPECT_EQ(r.cc, TWCC_SEQERROR);
  ASSERT_TRUE(Source.Enable(false));
  EXPECT_FALSE(Source.Enable(false)); // already enabled
  TW_PENDINGXFERS pending{};          // state 5: no transfer to stop yet
  r = Source.Ask(DG_CONTROL, DAT_PENDINGXFERS, MSG_STOPFEEDER, &pending);
  EXPECT_EQ(r.cc, TWCC_SEQERROR);
  // The condition code is reported once.
  TW_STATUS status{};
  Source.Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
  EXPECT_EQ(status.ConditionCode, TWCC_SUCCESS);
}

TEST_F(ScannerTest, EnableWithoutUiNotifiesXferReadyFromTheMessageLoopAndLogsTheRequest) {
  OpenWith(Base());
  TW_USERINTERFACE ui{};
  ui.ShowUI = TWAIN_FALSE;
  ui.ModalUI = TWAIN_TRUE;
  ui.hParent = reinterpret_cast<HANDLE>(0x1234);
  ASSERT_EQ(Source.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
  EXPECT_TRUE(DirectSource::Notifications().empty()) << "notified inside MSG_ENABLEDS";
  EXPECT_EQ(Source.WaitForNotification(), MSG_XFERREADY);

  const auto log = testsupport::ReadTripletLog(LogPath);
  auto enable = std::find_if(log.begin(), log.end(),
                             [](auto &t) { return t.Is(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS); });
  ASSERT_NE(enable, log.end());
  EXPECT_EQ(enable->Note("ShowUI"), "0");
  EXPECT_EQ(enable->Note("ModalUI"), "65535");
  EXPECT_EQ(enable->Note("hParent"), "0x00001234");
  EXPECT_EQ(log.back().direction, "out");
  EXPECT_EQ(log.back().names, "CONTROL/NULL/XFERREADY");
}

TEST_F(ScannerTest, SettingsDialogAnsweredAutomaticallyScansOrAsksToClose) {
  OpenWith(Base().Set("dialog", "scan").Set("dialog_delay_ms", 10));
  ASSERT_TRUE(Source.Enable(true));
  EXPECT_NE(::FindWindowA(nullptr, "KV-S1027C Virtual settings"), nullptr);
  EXPECT_EQ(Source.WaitForNotification(), MSG_XFERREADY);
  Source.Shutdown();

  OpenWith(Base().Set("dialog", "cancel"));
  ASSERT_TRUE(Source.Enable(true));
  EXPECT_EQ(Source.WaitForNotification(), MSG_CLOSEDSREQ);
  TW_USERINTERFACE ui{};
  EXPECT_EQ(Source.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
  EXPECT_EQ(::FindWindowA(nullptr, "KV-S1027C Virtual settings"), nullptr);
}

TEST_F(ScannerTest, AnEmptyFeederAsksTheApplicationToClose) {
  OpenWith(Base(0));
  EXPECT_EQ(FeederLoaded(), "0");
  EXPECT_EQ(EnableAndWait(), MSG_CLOSEDSREQ);
}

struct FormatCase {
  const char *pixelType;
  int bits;
  bool padded;
  const char *flavor;
};

class MemoryTransferTest : public ScannerTest, public ::testing::WithParamInterface<FormatCase> {};

// One duplex sheet, both sides, every sample compared with the pattern; the palette (where there
// is one) compared with the generated colours.
TEST_P(MemoryTransferTest, DeliversBothSidesOfASheetAsThePatternSays) {
  const FormatCase f = GetParam();
  OpenWith(Base()
               .Set("pixel_type", f.pixelType)
               .Set("bit_depth", f.bits)
               .Set("pad_rows", f.padded ? 1 : 0)
               .Set("pixel_flavor", f.flavor));
  ASSERT_EQ(EnableAndWait(), MSG_XFERREADY);
  const vscan::PixelKind kind = std::string(f.pixelType) == "rgb"    ? vscan::PixelKind::Rgb
                                : std::string(f.pixelType) == "gray" ? vscan::PixelKind::Gray
                                : std::string(f.pixelType) == "bw"   ? vscan::PixelKind::Bw
                                                                     : vscan::PixelKind::Palette;
  const int bpp = f.bits;
  const bool vanilla = std::string(f.flavor) == "vanilla";

  TW_SETUPMEMXFER setup{};
  ASSERT_EQ(Source.Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
  EXPECT_EQ(setup.Preferred, 64u);

  for (int side = 0; side < 2; ++side) {
    TW_IMAGEINFO info{};
    ASSERT_EQ(Source.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(info.ImageWidth, 13);
    EXPECT_EQ(info.ImageLength, 6);
    EXPECT_EQ(info.BitsPerPixel, bpp);
    EXPECT_EQ(info.PixelType, static_cast<TW_INT16>(kind));
    EXPECT_EQ(info.XResolution.Whole, 100);

    if (kind == vscan::PixelKind::Palette) {
      TW_PALETTE8 palette{};
      ASSERT_EQ(Source.Call(DG_IMAGE, DAT_PALETTE8, MSG_GET, &palette), TWRC_SUCCESS);
      ASSERT_EQ(palette.NumColors, 1u << f.bits);
      for (unsigned i = 0; i < palette.NumColors; ++i) {
        const vscan::Rgb c = vscan::GeneratedPaletteColor(i, palette.NumColors);
        EXPECT_EQ(palette.Colors[i].Channel1, c.r);
        EXPECT_EQ(palette.Colors[i].Channel2, c.g);
        EXPECT_EQ(palette.Colors[i].Channel3, c.b);
      }
    }

    std::vector<uint8_t> bytes;
    TW_UINT32 bytesPerRow = 0;
    ASSERT_EQ(ReadMemoryPage(setup.Preferred, bytes, bytesPerRow).rc, TWRC_XFERDONE);
    const uint32_t expectedRow = f.padded ? (13 * bpp + 31) / 32 * 4 : (13 * bpp + 7) / 8;
    ASSERT_EQ(bytesPerRow, expectedRow);
    ASSERT_EQ(bytes.size(), expectedRow * 6u);
    const int page = side + 1;
    for (int y = 0; y < 6; ++y) {
      const uint8_t *row = bytes.data() + y * expectedRow;
      for (int x = 0; x < 13; ++x) {
        if (kind == vscan::PixelKind::Rgb) {
          const vscan::Rgb c = vscan::RgbPixel(page, side, x, y);
          const uint8_t *p = row + bpp / 8 * x;
          ASSERT_EQ(p[0], c.r) << "red first, x=" << x << " y=" << y;
          ASSERT_EQ(p[1], c.g);
          ASSERT_EQ(p[2], c.b);
          if (bpp == 32) {
            ASSERT_EQ(p[3], 255); // opaque
          }
        } else if (f.bits == 16) {
          const unsigned level = vscan::SampleValue(kind, 8, vanilla, page, side, x, y);
          ASSERT_EQ(row[2 * x] | (row[2 * x + 1] << 8), level * 257) << "little-endian, x=" << x;
        } else {
          ASSERT_EQ(vscan::ReadSample(row, f.bits, x),
                    vscan::SampleValue(kind, f.bits, vanilla, page, side, x, y))
              << "x=" << x << " y=" << y;
        }
      }
    }
    EXPECT_EQ(EndTransfer(), side == 0 ? 1 : 0);
  }
  TW_USERINTERFACE ui{};
  EXPECT_EQ(Source.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, MemoryTransferTest,
    ::testing::Values(FormatCase{"rgb", 24, true, "chocolate"}, FormatCase{"rgb", 24, false, "chocolate"},
                      FormatCase{"gray", 8, false, "chocolate"}, FormatCase{"gray", 4, true, "vanilla"},
                      FormatCase{"bw", 1, true, "chocolate"}, FormatCase{"bw", 1, false, "vanilla"},
                      FormatCase{"palette", 8, true, "chocolate"},
                      FormatCase{"palette", 4, false, "chocolate"}, FormatCase{"rgb", 32, false, "chocolate"},
                      FormatCase{"gray", 16, true, "vanilla"}));

TEST_F(ScannerTest, StripsOfAFixedSizeSplitRowsAndStillCarryThePage) {
  OpenWith(Base().Set("strip_bytes", 7).Set("pad_rows", 0));
  ASSERT_EQ(EnableAndWait(), MSG_XFERREADY);
  std::vector<uint8_t> bytes;
  TW_UINT32 bytesPerRow = 0;
  ASSERT_EQ(ReadMemoryPage(64, bytes, bytesPerRow).rc, TWRC_XFERDONE);
  ASSERT_EQ(bytes.size(), 13u * 3 * 6);
  const vscan::Rgb last = vscan::RgbPixel(1, 0, 12, 5);
  EXPECT_EQ(bytes[bytes.size() - 3], last.r);
  EXPECT_EQ(bytes[bytes.size() - 1], last.b);
  const auto log = testsupport::ReadTripletLog(LogPath);
  for (const auto &t : log) {
    if (t.Is(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET) && t.rc == TWRC_SUCCESS) {
      EXPECT_EQ(t.Note("BytesWritten"), "7");
    }
  }
}

// The benchmark's scanner: only the first sides are drawn, later ones repeat them in turn, and a
// blank side stays blank.
TEST_F(ScannerTest, DrawnSidesAreSentAgainInTurnAndABlankSideStaysBlank) {
  OpenWith(Base(3).Set("drawn_sides", 2).Set("blank_pages", 4));
  ASSERT_EQ(EnableAndWait(), MSG_XFERREADY);
  std::vector<std::vector<uint8_t>> pages(6);
  for (auto &page : pages) {
    TW_UINT32 bytesPerRow = 0;
    ASSERT_EQ(ReadMemoryPage(64, page, bytesPerRow).rc, TWRC_XFERDONE);
    EndTransfer();
  }
  EXPECT_NE(pages[0], pages[1]);
  EXPECT_EQ(pages[2], pages[0]);
  EXPECT_NE(pages[3], pages[1]);
  EXPECT_EQ(pages[4], pages[0]);
  EXPECT_EQ(pages[5], pages[1]);
}

TEST_F(ScannerTest, ABufferSmallerThanARowIsRefusedRatherThanOverrun) {
  OpenWith(Base());
  ASSERT_EQ(EnableAndWait(), MSG_XFERREADY);
  std::vector<uint8_t> buffer(16 + 8, 0xAB);
  TW_IMAGEMEMXFER xfer{};
  xfer.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
  xfer.Memory.Length = 16; // a row is 40 bytes
  xfer.Memory.TheMem = buffer.data();
  const Reply r = Source.Ask(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
  EXPECT_EQ(r.rc, TWRC_FAILURE);
  EXPECT_EQ(r.cc, TWCC_BADVALUE);
  EXPECT_EQ(buffer[0], 0xAB);
}

TEST_F(ScannerTest, APageTooLargeForTheProcessFailsWithLowMemory) {
  OpenWith(Base().Set("width", 65535).Set("height", 65535));
  ASSERT_EQ(EnableAndWait(), MSG_XFERREADY);
  std::vector<uint8_t> bytes;
  TW_UINT32 bytesPerRow = 0;
  const Reply r = ReadMemoryPage(1 << 20, bytes, bytesPerRow);
  EXPECT_EQ(r.rc, TWRC_FAILURE);
  EXPECT_EQ(r.cc, TWCC_LOWMEMORY);
}

TEST_F(ScannerTest, NativeTransferHandsOverABottomUpDibInBlueGreenRedOrder) {
  OpenWith(Base());
  // Native is the standard's default, and the only mechanism that transfers until another is set.
  ASSERT_TRUE(Source.Enable(false));
  ASSERT_EQ(Source.WaitForNotification(), MSG_XFERREADY);
  std::vector<uint8_t> refused;
  TW_UINT32 refusedRow = 0;
  const Reply r = ReadMemoryPage(4096, refused, refusedRow);
  EXPECT_EQ(r.rc, TWRC_FAILURE);
  EXPECT_EQ(r.cc, TWCC_SEQERROR);
  HGLOBAL handle = nullptr;
  ASSERT_EQ(Source.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_XFERDONE);
  win::UniqueGlobal owned(handle);
  win::GlobalLockGuard lock(owned.get());
  ASSERT_GE(lock.size(), sizeof(BITMAPINFOHEADER));
  const auto *header = static_cast<const BITMAPINFOHEADER *>(lock.data());
  EXPECT_EQ(header->biWidth, 13);
  EXPECT_EQ(header->biHeight, 6);
  EXPECT_EQ(header->biBitCount, 24);
  EXPECT_EQ(header->biXPelsPerMeter, 3937); // 100 dpi
  const size_t stride = 40;
  ASSERT_GE(lock.size(), sizeof(BITMAPINFOHEADER) + stride * 6);
  const auto *pixels = reinterpret_cast<const uint8_t *>(header + 1);
  for (int y : {0, 5})
    for (int x : {0, 9, 12}) {
      const uint8_t *p = pixels + (5 - y) * stride + 3 * x;
      const vscan::Rgb c = vscan::RgbPixel(1, 0, x, y);
      EXPECT_EQ(p[0], c.b);
      EXPECT_EQ(p[1], c.g);
      EXPECT_EQ(p[2], c.r);
    }
  EXPECT_EQ(EndTransfer(), 1);
}

TEST_F(ScannerTest, FileTransferWritesABmpUnderTheAnnouncedName) {
  const std::string file = testsupport::FreshTempFile("vscanner-page-{page}.bmp");
  OpenWith(Base().Set("file_name", file).Set("pixel_type", "gray").Set("unit", "centimeters"));
  ASSERT_EQ(EnableAndWait(TWSX_FILE), MSG_XFERREADY);
  TW_SETUPFILEXFER setup{};
  ASSERT_EQ(Source.Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);
  EXPECT_EQ(setup.Format, TWFF_BMP);
  const std::string announced = setup.FileName;
  EXPECT_NE(announced.find("vscanner-page-1.bmp"), std::string::npos);
  ::DeleteFileA(announced.c_str());
  ASSERT_EQ(Source.Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);

  std::ifstream in(announced, std::ios::binary);
  const std::vector<uint8_t> bmp((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bmp.size(), 14u + 40u + 1024u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  BITMAPINFOHEADER header;
  std::memcpy(&header, bmp.data() + 14, sizeof header);
  EXPECT_EQ(header.biBitCount, 8);
  EXPECT_EQ(header.biClrUsed, 256u);
  EXPECT_EQ(header.biXPelsPerMeter, 10000);   // 100 dots per centimetre
  const size_t top = 14 + 40 + 1024 + 16 * 5; // stride 16, top row stored last
  EXPECT_EQ(bmp[top + 9], vscan::GrayLevel(1, 0, 9, 0, 8));
  EXPECT_EQ(EndTransfer(), 1);
}

TEST_F(ScannerTest, FaultsOnDemandAnswerTheChosenCodesOnlyAtTheirPage) {
  OpenWith(Base()
               .Fault("IMAGE/IMAGEINFO/GET page=2 rc=FAILURE cc=BADVALUE")
               .Fault("CONTROL/CAPABILITY/GET once rc=CHECKSTATUS cc=BUMMER"));
  TW_CAPABILITY cap{ICAP_UNITS, TWON_DONTCARE16, nullptr};
  EXPECT_EQ(Source.Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_CHECKSTATUS);
  EXPECT_EQ(FeederLoaded(), "1"); // "once": the second read is answered normally

  ASSERT_EQ(EnableAndWait(), MSG_XFERREADY);
  TW_IMAGEINFO info{};
  EXPECT_EQ(Source.Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
  EXPECT_EQ(EndTransfer(), 1);
  const Reply r = Source.Ask(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
  EXPECT_EQ(r.rc, TWRC_FAILURE);
  EXPECT_EQ(r.cc, TWCC_BADVALUE);
  const auto log = testsupport::ReadTripletLog(LogPath);
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](auto &t) { return t.Note("fault") == "1"; }), 2);
}

TEST_F(ScannerTest, CancelAtAPageAnswersCancelAndResetDropsTheRest) {
  OpenWith(Base(3).Set("cancel_at_page", 2));
  ASSERT_EQ(EnableAndWait(), MSG_XFERREADY);
  std::vector<uint8_t> bytes;
  TW_UINT32 bpr = 0;
  ASSERT_EQ(ReadMemoryPage(64, bytes, bpr).rc, TWRC_XFERDONE);
  EXPECT_EQ(EndTransfer(), 5);
  bytes.clear();
  EXPECT_EQ(ReadMemoryPage(64, bytes, bpr).rc, TWRC_CANCEL);
  EXPECT_EQ(EndTransfer(), 4);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(Source.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 0);
  TW_USERINTERFACE ui{};
  EXPECT_EQ(Source.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
  EXPECT_EQ(FeederLoaded(), "1"); // the two sheets never pulled are still in the feeder
}

TEST_F(ScannerTest, APaperJamFailsThePageAndEndsTheBatch) {
  OpenWith(Base(2).Set("jam_at_page", 3));
  ASSERT_EQ(EnableAndWait(TWSX_NATIVE), MSG_XFERREADY);
  HGLOBAL handle = nullptr;
  for (int page = 1; page <= 2; ++page) {
    ASSERT_EQ(Source.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle), TWRC_XFERDONE);
    ::GlobalFree(handle);
    EndTransfer();
  }
  const Reply r = Source.Ask(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
  EXPECT_EQ(r.rc, TWRC_FAILURE);
  EXPECT_EQ(r.cc, TWCC_PAPERJAM);
  EXPECT_EQ(EndTransfer(), 0);
}

TEST_F(ScannerTest, FeederLoadedFollowsTheSheetsBatchByBatch) {
  OpenWith(Base(2).Set("sides", 1).Set("sheets_per_batch", 1));
  for (int batch = 0; batch < 2; ++batch) {
    EXPECT_EQ(FeederLoaded(), "1") << "batch " << batch;
    ASSERT_EQ(EnableAndWait(), MSG_XFERREADY);
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(Source.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
    EXPECT_EQ(pending.Count, 1);
    EXPECT_EQ(EndTransfer(), 0);
    TW_USERINTERFACE ui{};
    ASSERT_EQ(Source.Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
  }
  EXPECT_EQ(FeederLoaded(), "0");
  Source.Shutdown();

  OpenWith(Base().Set("feeder_loaded", 0));
  EXPECT_EQ(FeederLoaded(), "cc" + std::to_string(TWCC_CAPUNSUPPORTED));
}

TEST_F(ScannerTest, UnitsAndFlavorAreUint16EnumerationsWithTheScenarioAsCurrent) {
  OpenWith(Base().Set("unit", "centimeters").Set("pixel_flavor", "vanilla"));
  for (TW_UINT16 capNumber : {ICAP_UNITS, ICAP_PIXELFLAVOR}) {
    TW_CAPABILITY cap{capNumber, TWON_DONTCARE16, nullptr};
    ASSERT_EQ(Source.Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_SUCCESS);
    win::UniqueGlobal owned(cap.hContainer);
    win::GlobalLockGuard lock(owned.get());
    ASSERT_EQ(cap.ConType, TWON_ENUMERATION);
    ASSERT_GE(lock.size(), TW_ENUMERATION_HEADER_SIZE + 4);
    const auto *e = static_cast<const TW_ENUMERATION *>(lock.data());
    EXPECT_EQ(e->ItemType, TWTY_UINT16);
    ASSERT_EQ(e->NumItems, 2u);
    EXPECT_EQ(e->CurrentIndex, 1u);
    EXPECT_EQ(e->DefaultIndex, 1u); // the scenario's, to which MSG_RESET returns
    TW_UINT16 items[2];
    std::memcpy(items, e->ItemList, sizeof items);
    EXPECT_EQ(items[e->CurrentIndex], 1); // TWUN_CENTIMETERS, TWPF_VANILLA
  }
}

} // namespace
