// TovikScan.exe on a SANE device through the bridge, driven through its window: a feeder batch
// whose pages are the JPEGs scanimage's pages make, and a jam shown in the status line.
#include "tests/sane-source/SaneCases.h"

#include "app/ControlIds.h"
#include "tools/station-driver/StationDriver.h"

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

std::string TempFolder(const std::string &name) {
  char temp[MAX_PATH + 1] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + name;
  ::CreateDirectoryA(folder.c_str(), nullptr);
  for (const std::string &file : FilesIn(folder))
    ::DeleteFileA((folder + "\\" + file).c_str());
  return folder;
}

// scanimage's page as the station would write it: the same JPEG encoder and settings, read back.
Bitmap ReferenceJpeg(const std::string &pnmPath, const std::string &folder) {
  Bitmap pnm(FreeImage_Load(FreeImage_GetFileType(pnmPath.c_str(), 0), pnmPath.c_str(), 0));
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

TEST(StationOnSane, ScansTheFeederPixelExactAndShowsAJamInTheStatusLine) {
  const std::string folder = TempFolder("tovik-sane-station");
  {
    UseCase("feeder");
    StationDriver station(WindowsPath(TOVIK_SCAN_EXE));
    ASSERT_TRUE(station.Start());
    ASSERT_TRUE(station.WaitUntilShown());
    ASSERT_TRUE(station.IsEnabled(idBtGo)) << "the station found no KV-S scanner through the bridge";
    station.SetText(idEDir, folder);
    station.Click(idBtGo);
    ASSERT_TRUE(WaitFor([&] { return FilesIn(folder, "Scan*.jpg").size() >= kFeederSheets; }))
        << FilesIn(folder, "Scan*.jpg").size() << " pages; status: " << station.Text(idLbStatus);
    ASSERT_TRUE(station.Close());
    EXPECT_EQ(station.Text(idLbStatus), "");
  }
  const std::vector<std::string> pages = FilesIn(folder, "Scan*.jpg");
  EXPECT_EQ(pages.size(), kFeederSheets);
  const Bitmap reference = ReferenceJpeg(CasePath("feeder", ".pnm"), folder);
  ASSERT_TRUE(reference);
  for (const std::string &name : pages) {
    const std::string path = folder + "\\" + name;
    const Bitmap page(FreeImage_Load(FIF_JPEG, path.c_str(), 0));
    EXPECT_TRUE(SamePixels(page.get(), reference.get())) << name << " differs from scanimage's page";
  }

  UseCase("jam");
  StationDriver station(WindowsPath(TOVIK_SCAN_EXE));
  ASSERT_TRUE(station.Start());
  ASSERT_TRUE(station.WaitUntilShown());
  station.Click(idBtGo);
  EXPECT_TRUE(WaitFor([&] { return station.Text(idLbStatus) == "Twain Status:1,20"; }))
      << "status: " << station.Text(idLbStatus);
  // Not stuck: Go works again and the station closes.
  EXPECT_TRUE(station.IsEnabled(idBtGo));
  EXPECT_TRUE(station.Close());
}

} // namespace
