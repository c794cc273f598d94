// The TWAIN layer against Wine's source manager and the virtual KV-S scanner: enumeration, a
// whole batch through the hidden window and the message loop, every pixel checked against the
// scanner's pattern, cancel and faults, native and file transfer, and the triplets the scanner
// logged.
#include "tests/support/ScannerScenario.h"
#include "tests/support/SectionContents.h"
#include "sources/virtual-scanner/Pattern.h"

#include "twain/KestraTwain.h"
#include "twain/KestraTwainUtils.h"
#include "twain/TwainBitmap.h"
#include "twain/TwainSource.h"
#include "twain/VirtualWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using testsupport::ScannerScenario;
using StringList = std::vector<std::string>;

namespace {

using Page = testsupport::SectionContents;

Page ReadSection(HBITMAP bitmap) { return testsupport::ReadSectionContents(bitmap); }

class IntegrationTest : public ::testing::Test {
protected:
  void SetUp() override { logPath = testsupport::FreshTempFile("twain-integration.log"); }

  void TearDown() override {
    twain.reset();
    testsupport::UseScenarioFile("");
  }

  // Installs the scenario, loads TWAIN_32.DLL, opens the source manager and the first KV-S
  // source, and records every event.
  void Start(ScannerScenario scenario, TTwainTransferMode mode = ttmMemory) {
    scenario.Log(logPath).Install("twain-integration.ini");
    twain = std::make_unique<TKestraTwain>();
    ASSERT_TRUE(twain->LoadTwainLibrary());
    twain->SetSourceManagerLoaded(true);
    ASSERT_TRUE(twain->SourceManagerLoaded());
    for (int i = 0; i < twain->SourceCount(); ++i)
      if (twain->Source(i)->ProductName().find("KV-S") != std::string::npos) {
        source = twain->Source(i);
        break;
      }
    ASSERT_NE(source, nullptr) << "sane.ds is not the virtual scanner: build sources/virtual-scanner";
    ASSERT_TRUE(source->Open());
    source->TransferMode = mode;
    twain->OnTwainAcquire = [this](TKestraTwain *, int, TTwainBitmap &image, bool &cancel) {
      DIBSECTION section;
      if (::GetObjectA(image.Handle(), sizeof section, &section) == static_cast<int>(sizeof section)) {
        pages.push_back(ReadSection(image.Handle()));
      } else {
        BITMAP bitmap{};
        ::GetObjectA(image.Handle(), sizeof bitmap, &bitmap);
        Page page;
        page.width = bitmap.bmWidth;
        page.height = bitmap.bmHeight;
        page.bitCount = bitmap.bmBitsPixel;
        pages.push_back(page);
      }
      events.push_back("acquire");
      if (onAcquire)
        onAcquire(cancel);
    };
    twain->OnAcquireProgress = [this](TTwainSource *, int, HBITMAP, int, int) { ++progressReports; };
    twain->OnAcquireError = [this](TKestraTwain *, int, int errorCode, int additional) {
      events.push_back("error " + std::to_string(errorCode) + " " + std::to_string(additional));
    };
    twain->OnAcquireCancel = [this](TKestraTwain *, int) { events.push_back("cancel"); };
    twain->OnSourceDisable = [this](TKestraTwain *, int) {
      events.push_back("disable");
      batchOver = true;
    };
    twain->OnSourceFileTransfer = [this](TTwainSource *, int, const char(&fileName)[256], TTwainFormat format,
                                         bool &) {
      files.push_back(fileName);
      formats.push_back(format);
      events.push_back("file");
    };
  }

  // Enables the source and runs the message loop until the batch ends (the source is disabled).
  void RunBatch(DWORD timeoutMs = 20000) {
    batchOver = false;
    ASSERT_TRUE(source->Enable(false, false));
    Pump([this] { return batchOver; }, timeoutMs);
    EXPECT_TRUE(batchOver) << "the batch did not end";
  }

  // The application's message loop, as the station runs it: parked exceptions are taken after
  // each dispatched message.
  void Pump(const std::function<bool()> &done, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (!done() && ::GetTickCount() - start < timeoutMs) {
      MSG msg;
      bool any = false;
      while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        any = true;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
        try {
          RethrowParkedTwainException();
        } catch (const std::exception &e) {
          loopErrors.push_back(e.what());
        }
        if (done())
          return;
      }
      if (!any)
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
  }

  // Names of the triplets the scanner received ("in"), in order.
  StringList Received() const {
    StringList names;
    for (const auto &t : testsupport::ReadTripletLog(logPath))
      if (t.direction == "in")
        names.push_back(t.names);
    return names;
  }

  static ScannerScenario Scenario(int sheets = 2) {
    ScannerScenario s;
    s.Devices({"KV-S1027C Virtual"}).Set("sheets", sheets).Set("sides", 2).Set("width", 21).Set("height", 7);
    s.Set("dialog", "scan").Set("preferred_buffer", 64);
    return s;
  }

  std::string logPath;
  std::unique_ptr<TKestraTwain> twain;
  TTwainSource *source = nullptr;
  std::vector<Page> pages;
  StringList events;
  StringList files;
  std::vector<TTwainFormat> formats;
  StringList loopErrors;
  std::function<void(bool &)> onAcquire;
  int progressReports = 0;
  bool batchOver = false;
};

int SideOf(int page) { return (page - 1) % 2; }

} // namespace

TEST_F(IntegrationTest, ListsTheVirtualDevicesThroughWinesSourceManager) {
  ScannerScenario s = Scenario();
  s.Devices({"KV-S1027C Virtual", "KV-S2048 Second"});
  s.Log(logPath).Install("twain-integration.ini");
  TKestraTwain manager;
  ASSERT_TRUE(manager.LoadTwainLibrary());
  manager.SetSourceManagerLoaded(true);
  ASSERT_TRUE(manager.SourceManagerLoaded());
  StringList names;
  for (int i = 0; i < manager.SourceCount(); ++i)
    names.push_back(manager.Source(i)->ProductName());
  EXPECT_NE(std::find(names.begin(), names.end(), "KV-S1027C Virtual"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "KV-S2048 Second"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "GPhoto2 Camera"), names.end()) << "Wine's own source";
  EXPECT_EQ(manager.Source(manager.SourceCount()), nullptr);

  // The source manager is the one in the Windows directory, the first place looked in.
  const std::string windows = GetKnownDirectory(dkWindows);
  EXPECT_EQ(FindTwainDirectory(), windows);
  char loaded[MAX_PATH] = {};
  ASSERT_GT(::GetModuleFileNameA(::GetModuleHandleA("twain_32.dll"), loaded, MAX_PATH), 0u);
  auto upper = [](std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
  };
  EXPECT_EQ(upper(ExtractDirectory(loaded)), upper(windows));
  manager.SetSourceManagerLoaded(false);
  EXPECT_FALSE(manager.SourceManagerLoaded());
}

TEST_F(IntegrationTest, RgbDuplexBatchArrivesPixelForPixel) {
  Start(Scenario(2));
  RunBatch();
  ASSERT_EQ(pages.size(), 4u);
  for (int p = 0; p < 4; ++p) {
    const Page &page = pages[static_cast<size_t>(p)];
    ASSERT_EQ(page.width, 21);
    ASSERT_EQ(page.height, 7);
    ASSERT_EQ(page.bitCount, 24);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 21; ++x) {
        const vscan::Rgb want = vscan::RgbPixel(p + 1, SideOf(p + 1), x, y);
        const uint8_t *pixel = &page.rows[static_cast<size_t>(y)][static_cast<size_t>(3 * x)];
        ASSERT_EQ(pixel[0], want.b) << "page " << p + 1 << " x " << x << " y " << y;
        ASSERT_EQ(pixel[1], want.g);
        ASSERT_EQ(pixel[2], want.r);
      }
  }
  EXPECT_EQ(progressReports, 4 * 7);
  EXPECT_EQ(events, (StringList{"acquire", "acquire", "acquire", "acquire", "disable"}));
  EXPECT_FALSE(source->Enabled());
  EXPECT_TRUE(source->Loaded());
  StringList received = Received();
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.back(), "CONTROL/USERINTERFACE/DISABLEDS");
  EXPECT_EQ(std::count(received.begin(), received.end(), "CONTROL/PENDINGXFERS/ENDXFER"), 4);
  EXPECT_EQ(std::count(received.begin(), received.end(), "CONTROL/PENDINGXFERS/RESET"), 0);
  // The enable carried the hidden window and false as 0.
  for (const auto &t : testsupport::ReadTripletLog(logPath))
    if (t.direction == "in" && t.names == "CONTROL/USERINTERFACE/ENABLEDS") {
      EXPECT_EQ(t.Note("ShowUI"), "0");
      EXPECT_NE(t.Note("hParent"), "");
    }
}

TEST_F(IntegrationTest, GreyRowsNotPaddedAndSplitAcrossStrips) {
  ScannerScenario s = Scenario(1);
  s.Set("pixel_type", "gray").Set("bit_depth", 8).Set("width", 13).Set("pad_rows", 0).Set("strip_bytes", 10);
  Start(s);
  RunBatch();
  ASSERT_EQ(pages.size(), 2u);
  for (int p = 0; p < 2; ++p)
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 13; ++x)
        ASSERT_EQ(pages[static_cast<size_t>(p)].rows[static_cast<size_t>(y)][static_cast<size_t>(x)],
                  vscan::GrayLevel(p + 1, SideOf(p + 1), x, y, 8))
            << "page " << p + 1 << " x " << x << " y " << y;
  ASSERT_EQ(pages[0].colors.size(), 256u);
  EXPECT_EQ(pages[0].colors[128].rgbGreen, 128);
}

TEST_F(IntegrationTest, FourBitGreyPages) {
  ScannerScenario s = Scenario(1);
  s.Set("pixel_type", "gray").Set("bit_depth", 4).Set("sides", 1).Set("width", 11);
  Start(s);
  RunBatch();
  ASSERT_EQ(pages.size(), 1u);
  const Page &page = pages[0];
  ASSERT_EQ(page.bitCount, 4);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 11; ++x)
      ASSERT_EQ(vscan::ReadSample(page.rows[static_cast<size_t>(y)].data(), 4, x),
                vscan::GrayLevel(1, 0, x, y, 4))
          << "x " << x << " y " << y;
}

TEST_F(IntegrationTest, PalettePages) {
  ScannerScenario s = Scenario(1);
  s.Set("pixel_type", "palette").Set("bit_depth", 8).Set("sides", 1);
  Start(s);
  RunBatch();
  ASSERT_EQ(pages.size(), 1u);
  const Page &page = pages[0];
  ASSERT_EQ(page.bitCount, 8);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 21; ++x)
      ASSERT_EQ(page.rows[static_cast<size_t>(y)][static_cast<size_t>(x)],
                vscan::PaletteIndex(1, 0, x, y, 8));
  ASSERT_GE(page.colors.size(), 256u);
  for (unsigned i = 0; i < 256; ++i) {
    const vscan::Rgb want = vscan::GeneratedPaletteColor(i, 256);
    ASSERT_EQ(page.colors[i].rgbRed, want.r) << i;
    ASSERT_EQ(page.colors[i].rgbGreen, want.g) << i;
    ASSERT_EQ(page.colors[i].rgbBlue, want.b) << i;
  }
}

TEST_F(IntegrationTest, BlackAndWhiteVanillaHasWhiteFirst) {
  ScannerScenario s = Scenario(1);
  s.Set("pixel_type", "bw").Set("bit_depth", 1).Set("pixel_flavor", "vanilla").Set("sides", 1);
  // A driver that answers the flavour and the unit as one-values: neither inverted nor 0 dpi.
  s.Set("one_value_caps", 1);
  Start(s);
  RunBatch();
  ASSERT_EQ(pages.size(), 1u);
  const Page &page = pages[0];
  EXPECT_EQ(page.header.biXPelsPerMeter, 3937); // 100 dpi
  ASSERT_EQ(page.colors.size(), 2u);
  EXPECT_EQ(page.colors[0].rgbRed, 255);
  EXPECT_EQ(page.colors[1].rgbRed, 0);
  // What a reader sees through the table is the picture: white where the pattern is white.
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 21; ++x) {
      unsigned sample = vscan::ReadSample(page.rows[static_cast<size_t>(y)].data(), 1, x);
      bool white = page.colors[sample].rgbRed == 255;
      ASSERT_EQ(white, vscan::BwLevel(1, 0, x, y) == 1) << "x " << x << " y " << y;
    }
}

TEST_F(IntegrationTest, CancelOnTheFirstPageResetsAndDisables) {
  Start(Scenario(3));
  onAcquire = [](bool &cancel) { cancel = true; };
  RunBatch();
  EXPECT_EQ(pages.size(), 1u);
  StringList received = Received();
  auto endXfer = std::find(received.begin(), received.end(), "CONTROL/PENDINGXFERS/ENDXFER");
  ASSERT_NE(endXfer, received.end());
  ASSERT_LT(endXfer + 2, received.end());
  EXPECT_EQ(*(endXfer + 1), "CONTROL/PENDINGXFERS/RESET");
  EXPECT_EQ(*(endXfer + 2), "CONTROL/USERINTERFACE/DISABLEDS");
  EXPECT_EQ(events, (StringList{"acquire", "disable"}));
}

TEST_F(IntegrationTest, TheSourceCancelsAtPageTwo) {
  ScannerScenario s = Scenario(2);
  s.Set("cancel_at_page", 2);
  Start(s);
  RunBatch();
  EXPECT_EQ(events, (StringList{"acquire", "cancel", "disable"}));
  EXPECT_FALSE(source->Enabled());
}

TEST_F(IntegrationTest, AFailedPageIsReportedAndTheOthersArrive) {
  ScannerScenario s = Scenario(2);
  s.Fault("IMAGE/IMAGEMEMXFER/GET page=2 rc=FAILURE cc=PAPERJAM");
  Start(s);
  RunBatch();
  EXPECT_EQ(events, (StringList{"acquire", "error 1 20", "acquire", "acquire", "disable"}));
  EXPECT_EQ(pages.size(), 3u);
}

TEST_F(IntegrationTest, NativeTransfer) {
  Start(Scenario(1), ttmNative);
  RunBatch();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].width, 21);
  EXPECT_EQ(pages[0].height, 7);
  StringList received = Received();
  EXPECT_EQ(std::count(received.begin(), received.end(), "IMAGE/IMAGENATIVEXFER/GET"), 2);
}

TEST_F(IntegrationTest, FileTransfer) {
  ScannerScenario s = Scenario(1);
  s.Set("file_name", testsupport::FreshTempFile("twain-integration-{page}.bmp"));
  Start(s, ttmFile);
  RunBatch();
  ASSERT_EQ(files.size(), 2u);
  for (const std::string &file : files) {
    EXPECT_NE(::GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES) << file;
    ::DeleteFileA(file.c_str());
  }
  EXPECT_EQ(events, (StringList{"file", "file", "disable"}));
}

TEST_F(IntegrationTest, AHandlersExceptionReachesTheLoopAndTheSourceIsNotStuck) {
  Start(Scenario(3));
  onAcquire = [](bool &) { throw std::runtime_error("page handler failed"); };
  RunBatch();
  EXPECT_EQ(loopErrors, StringList{"page handler failed"});
  EXPECT_EQ(pages.size(), 1u);
  EXPECT_FALSE(source->Enabled());
  StringList received = Received();
  ASSERT_GE(received.size(), 3u);
  EXPECT_EQ(received[received.size() - 3], "CONTROL/PENDINGXFERS/ENDXFER");
  EXPECT_EQ(received[received.size() - 2], "CONTROL/PENDINGXFERS/RESET");
  EXPECT_EQ(received.back(), "CONTROL/USERINTERFACE/DISABLEDS");
  // The source can be enabled again at once.
  onAcquire = nullptr;
  EXPECT_TRUE(source->Enable(false, false));
}

TEST_F(IntegrationTest, CancelInTheScannersDialogGivesAcquireCancelThenTheDisable) {
  ScannerScenario s = Scenario(2);
  s.Set("dialog", "cancel");
  Start(s);
  ASSERT_TRUE(source->Enable(true, false));
  Pump([this] { return batchOver; }, 20000);
  EXPECT_EQ(events, (StringList{"cancel", "disable"}));
  EXPECT_TRUE(pages.empty());
  EXPECT_TRUE(source->Loaded());
  EXPECT_FALSE(source->Enabled());
  StringList received = Received();
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.back(), "CONTROL/USERINTERFACE/DISABLEDS");
  bool asked = false;
  for (const auto &t : testsupport::ReadTripletLog(logPath))
    asked = asked || (t.direction == "out" && t.names == "CONTROL/NULL/CLOSEDSREQ");
  EXPECT_TRUE(asked) << "the scanner never asked to be closed";
}

TEST_F(IntegrationTest, ABatchRunInsideTheDriversModalEnableLeavesTheSourceReadyForTheNext) {
  ScannerScenario s = Scenario(1);
  s.Set("modal_enable", 1).Set("refills", 1);
  Start(s);
  // The driver's own loop runs the whole batch, and its disable, before MSG_ENABLEDS returns.
  EXPECT_FALSE(source->Enable(false, false));
  EXPECT_EQ(pages.size(), 2u);
  EXPECT_FALSE(source->Enabled());
  EXPECT_FALSE(twain->Busy());
  // The next start works the same way.
  EXPECT_FALSE(source->Enable(false, false));
  EXPECT_EQ(pages.size(), 4u);
  const auto log = testsupport::ReadTripletLog(logPath);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().Note("state"), "4");
}

TEST_F(IntegrationTest, ClosingTheManagerDisablesAndClosesTheSource) {
  Start(Scenario(1));
  ASSERT_TRUE(source->Enable(false, false));
  twain->OnTwainAcquire = nullptr;
  twain.reset(); // before any notification was handled
  StringList received = Received();
  ASSERT_GE(received.size(), 2u);
  EXPECT_EQ(received[received.size() - 2], "CONTROL/USERINTERFACE/DISABLEDS");
  EXPECT_EQ(received.back(), "CONTROL/IDENTITY/CLOSEDS");
}
