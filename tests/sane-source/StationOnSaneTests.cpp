// TovikScan.exe on a SANE device through the bridge, driven through its window: a feeder batch,
// a lineart page and a page of undetermined length, each the JPEG scanimage's page makes, and a jam
// shown in the status line.
#include "tests/sane-source/SaneCases.h"

#include "app/ControlIds.h"
#include "tests/fixtures/station-driver/StationDriver.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace e2e;
using namespace sanetest;
using namespace station;

namespace {

constexpr size_t kFeederSheets = 10; // SANE's frontend tester empties its feeder after ten

struct Unload {
  void operator()(FIBITMAP *bitmap) const { FreeImage_Unload(bitmap); }
};
using Bitmap = std::unique_ptr<FIBITMAP, Unload>;

class FreeImageEnvironment : public ::testing::Environment {
public:
  void SetUp() override { FreeImage_Initialise(TRUE); }
  void TearDown() override { FreeImage_DeInitialise(); }
};
const auto *const kFreeImage = ::testing::AddGlobalTestEnvironment(new FreeImageEnvironment);

// scanimage's page as the station would write it: black and white as 8-bit grey, then the same
// JPEG encoder and settings, read back.
Bitmap ReferenceJpeg(const std::string &pnmPath, const std::string &folder) {
  Bitmap pnm(FreeImage_Load(FreeImage_GetFileType(pnmPath.c_str(), 0), pnmPath.c_str(), 0));
  if (pnm && FreeImage_GetBPP(pnm.get()) == 1)
    pnm.reset(FreeImage_ConvertToGreyscale(pnm.get()));
  const std::string jpeg = folder + "\\reference.jpeg";
  if (!pnm || !FreeImage_Save(FIF_JPEG, pnm.get(), jpeg.c_str(), 0))
    return nullptr;
  return Bitmap(FreeImage_Load(FIF_JPEG, jpeg.c_str(), 0));
}

bool SamePixels(FIBITMAP *a, FIBITMAP *b) {
  if (!a || !b || FreeImage_GetWidth(a) != FreeImage_GetWidth(b) ||
      FreeImage_GetHeight(a) != FreeImage_GetHeight(b) || FreeImage_GetBPP(a) != FreeImage_GetBPP(b))
    return false;
  const unsigned line = FreeImage_GetLine(a);
  for (unsigned y = 0; y < FreeImage_GetHeight(a); ++y)
    if (std::memcmp(FreeImage_GetScanLine(a, int(y)), FreeImage_GetScanLine(b, int(y)), line) != 0)
      return false;
  return true;
}

// The station on one scan case: a batch with Go.. into `folder`, then closed.
void ScanWithStation(const std::string &name, const std::string &folder, size_t pages) {
  UseCase(name);
  StationDriver station(WindowsPath(TOVIK_SCAN_EXE));
  ASSERT_TRUE(station.Start());
  ASSERT_TRUE(station.WaitUntilShown());
  ASSERT_TRUE(station.IsEnabled(idBtGo)) << "the station found no KV-S scanner through the bridge";
  station.SetText(idEDir, folder);
  station.Click(idBtGo);
  ASSERT_TRUE(WaitFor([&] { return FilesIn(folder, "Scan*.jpg").size() >= pages; }))
      << FilesIn(folder, "Scan*.jpg").size() << " pages; status: " << station.Text(idLbStatus);
  EXPECT_EQ(station.Text(idLbStatus), "");
  ASSERT_TRUE(station.Close());
  // The next station in this prefix starts with its usual folder.
  ::WritePrivateProfileStringA("Main", "eDir", "C:\\ProgramData\\Tovik\\TovikScan",
                               "C:\\ProgramData\\Tovik\\TovikScan\\config.ini");
}

void ExpectPagesLikeScanimage(const std::string &name, const std::string &folder) {
  const Bitmap reference = ReferenceJpeg(CasePath(name, ".pnm"), folder);
  ASSERT_TRUE(reference);
  for (const std::string &page : FilesIn(folder, "Scan*.jpg")) {
    const std::string path = folder + "\\" + page;
    const Bitmap written(FreeImage_Load(FIF_JPEG, path.c_str(), 0));
    EXPECT_TRUE(SamePixels(written.get(), reference.get())) << page << " differs from scanimage's page";
  }
}

TEST(StationOnSane, WritesLineartAndUndeterminedLengthPagesAsScanimageGivesThem) {
  for (const char *name : {"lineart", "hand-scanner"}) {
    SCOPED_TRACE(name);
    const std::string folder = EmptyTempFolder(std::string("tovik-sane-") + name);
    ScanWithStation(name, folder, 1);
    EXPECT_EQ(FilesIn(folder, "Scan*.jpg").size(), 1u);
    ExpectPagesLikeScanimage(name, folder);
  }
}

TEST(StationOnSane, ScansTheFeederPixelExactAndShowsAJamInTheStatusLine) {
  const std::string folder = EmptyTempFolder("tovik-sane-station");
  ScanWithStation("feeder", folder, kFeederSheets);
  EXPECT_EQ(FilesIn(folder, "Scan*.jpg").size(), kFeederSheets);
  ExpectPagesLikeScanimage("feeder", folder);

  UseCase("jam");
  StationDriver station(WindowsPath(TOVIK_SCAN_EXE));
  ASSERT_TRUE(station.Start());
  ASSERT_TRUE(station.WaitUntilShown());
  station.Click(idBtGo);
  // The code first, then what the person does about the jam.
  EXPECT_TRUE(WaitFor([&] { return station.Text(idLbStatus).rfind("Twain Status:1,20 Paper jam", 0) == 0; }))
      << "status: " << station.Text(idLbStatus);
  // Not stuck: Go works again and the station closes.
  EXPECT_TRUE(station.IsEnabled(idBtGo));
  EXPECT_TRUE(station.Close());
}

} // namespace
