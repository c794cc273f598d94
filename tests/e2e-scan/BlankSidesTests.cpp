// Blank sides set aside, never lost: eight duplex sheets whose backs 2, 5 and 7 are bare paper,
// scanned with "Set blank sides aside" ticked and not, and the window's counts of the batch; and
// a Blank folder that cannot be had, which no page may wait for.
#include "tests/e2e-scan/ScanStation.h"

#include "app/ControlIds.h"

#include <algorithm>
#include <fstream>

using namespace e2e;
using namespace e2escan;
using namespace station;

namespace {

// The files of a folder and of its Blank folder (but a file named Blank), pages in scanning order.
std::vector<ScannedPage> AllSides(const std::string &folder) {
  std::vector<ScannedPage> all = ScannedPages(folder + "\\Blank");
  for (const ScannedPage &page : ScannedPages(folder))
    if (page.path != folder + "\\Blank")
      all.push_back(page);
  std::sort(all.begin(), all.end(), [](const ScannedPage &a, const ScannedPage &b) {
    return a.stamp != b.stamp ? a.stamp < b.stamp : a.side == 'F' && b.side != 'F';
  });
  return all;
}

struct BlankAsideCase {
  const char *name;
  bool ticked;
  size_t inFolder, inBlank;
  const char *counts;
};

const BlankAsideCase kCases[] = {
    {"ticked", true, 13, 3, "This batch: 8 sheets, 16 pages, 3 blank"},
    {"off: every page as without the box", false, 16, 0, "This batch: 8 sheets, 16 pages, 0 blank"},
};

class BlankSidesTest : public ScanStationTest, public ::testing::WithParamInterface<BlankAsideCase> {};

TEST_P(BlankSidesTest, EightSheetsWithThreeBlankBacks) {
  const BlankAsideCase &c = GetParam();
  SCOPED_TRACE(c.name);
  const std::string blankFolder = OutputFolder + "\\Blank";
  for (const std::string &name : FilesIn(blankFolder))
    ::DeleteFileA((blankFolder + "\\" + name).c_str());
  ::RemoveDirectoryA(blankFolder.c_str());

  Start(SmallPages(8).Set("blank_pages", "4,10,14"));
  TypeOutputFolder();
  if (Station.IsTicked(idCbBlankAside) != c.ticked)
    Station.Click(idCbBlankAside);
  ASSERT_TRUE(WaitFor([&] { return Station.IsTicked(idCbBlankAside) == c.ticked; }));
  Station.Click(idBtGo);
  ASSERT_TRUE(WaitFor([&] {
    return ScannedPages(OutputFolder).size() == c.inFolder && ScannedPages(blankFolder).size() == c.inBlank;
  })) << ScannedPages(OutputFolder).size()
      << " + " << ScannedPages(blankFolder).size() << " pages";
  ASSERT_TRUE(WaitFor([&] { return Station.Text(idLbCounts).rfind(c.counts, 0) == 0; }))
      << Station.Text(idLbCounts);
  CloseStation();

  // Every side under the name it has without the box; the blank ones are the backs 2, 5 and 7.
  const std::vector<ScannedPage> all = AllSides(OutputFolder);
  ASSERT_EQ(all.size(), 16u);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].side, i % 2 ? 'B' : 'F') << all[i].path;
    const bool setAside = all[i].path.find("\\Blank\\") != std::string::npos;
    EXPECT_EQ(setAside, c.ticked && (i == 3 || i == 9 || i == 13)) << all[i].path;
  }
}

INSTANTIATE_TEST_SUITE_P(Box, BlankSidesTest, ::testing::ValuesIn(kCases));

// A Blank folder that cannot be had, with the box ticked: the blank side goes among the other
// pages under its own name and the status line says why; no page waits for it, and Auto goes on
// from sheet to sheet. Three duplex sheets fed one a batch by Auto; sheet 2's back is bare paper.
struct BlankFolderFault {
  const char *name;
  const char *folder; // "{out}": the test's own folder; "{longest}": the longest it may be
  const char *status; // how the status line begins
  bool setAside; // the blank back is in Blank\ after all
};

const BlankFolderFault kFaults[] = {
    {"a file named Blank", "{out}", "Blank sides cannot be set aside: a file named Blank is in the way",
     false},
    // N: lets files in but no folder (scripts/fault-drives.sh), as a share may.
    {"no right to make folders", "N:\\", "Blank sides cannot be set aside: no right to make the folder Blank",
     false},
    {"the longest folder taken", "{longest}", "1 blank side set aside in ", true},
};

class BlankFolderFaultTest : public ScanStationTest,
                             public ::testing::WithParamInterface<BlankFolderFault> {};

TEST_P(BlankFolderFaultTest, TheBlankSideGoesAmongThePagesAndNothingWaits) {
  const BlankFolderFault &c = GetParam();
  SCOPED_TRACE(c.name);
  std::string folder = c.folder;
  if (folder == "{out}") {
    folder = OutputFolder;
    std::ofstream(OutputFolder + "\\Blank") << "a file, where the Blank folder would be";
  } else if (folder == "{longest}") {
    // With the box ticked, the page's ".partial" in Blank\ takes the whole of MAX_PATH (259).
    folder = OutputFolder + "\\" + std::string(259 - 41 - OutputFolder.size() - 1, 'x');
    for (const std::string &inside : {folder + "\\Blank", folder}) { // a run before
      for (const std::string &name : FilesIn(inside))
        ::DeleteFileA((inside + "\\" + name).c_str());
      ::RemoveDirectoryA(inside.c_str());
    }
  } else if (!::CreateDirectoryA("N:\\probe", nullptr) && ::GetLastError() == ERROR_ACCESS_DENIED) {
    for (const std::string &name : FilesIn("N:"))
      ::DeleteFileA(("N:\\" + name).c_str());
  } else {
    ::RemoveDirectoryA("N:\\probe");
    GTEST_SKIP() << "no drive that refuses folders: "
                 << ReadFileText(WindowsPath(TOVIK_FAULT_DRIVES) + "\\no-folders.txt");
  }
  std::string look = folder; // the folder the pages are looked for in
  if (look.back() == '\\')
    look.pop_back();

  Start(SmallPages(3).Set("sheets_per_batch", 1).Set("blank_pages", "4"));
  Station.Click(idCbBlankAside);
  ASSERT_TRUE(WaitFor([&] { return Station.IsTicked(idCbBlankAside); }));
  TypeOutputFolder(folder);
  Station.ClickWithMouse(idCbAuto);
  ASSERT_TRUE(WaitFor([&] { return AllSides(look).size() >= 6; })) << AllSides(look).size() << " pages";
  ASSERT_TRUE(WaitForLog("CONTROL/USERINTERFACE/DISABLEDS", 3)) << "Auto did not go on from sheet to sheet";
  EXPECT_TRUE(WaitFor([&] { return Station.Text(idLbStatus).rfind(c.status, 0) == 0; }))
      << Station.Text(idLbStatus);
  EXPECT_TRUE(WaitFor([&] { return Station.Text(idLbCounts).find("Waiting: 0") != std::string::npos; }))
      << Station.Text(idLbCounts);
  CloseStation();

  // Each side once under its sheet's stamp, nothing else (no ".partial"), the blank one where said.
  const std::vector<ScannedPage> all = AllSides(look);
  ASSERT_EQ(all.size(), 6u);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].side, i % 2 ? 'B' : 'F') << all[i].path;
    EXPECT_EQ(all[i].stamp, all[i - i % 2].stamp) << all[i].path;
    EXPECT_EQ(all[i].path.find("\\Blank\\") != std::string::npos, c.setAside && i == 3) << all[i].path;
  }
  if (c.folder[0] == 'N')
    for (const ScannedPage &page : all)
      ::DeleteFileA(page.path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Faults, BlankFolderFaultTest, ::testing::ValuesIn(kFaults));

} // namespace
