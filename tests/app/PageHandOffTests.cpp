// The page handler: sides, stamps, names, the copy of the page and a failing copy.
#include "app/PageNaming.h"

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>
#include <vector>

namespace {

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms) {
  SYSTEMTIME t = {};
  t.wYear = year;
  t.wMonth = month;
  t.wDay = day;
  t.wHour = hour;
  t.wMinute = minute;
  t.wSecond = second;
  t.wMilliseconds = ms;
  return t;
}

// A 24-bit DIB section whose pixel at (x, y) has blue x, green y and red 200.
HBITMAP MakePage(int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void *bits = nullptr;
  HBITMAP page = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const int stride = (width * 3 + 3) & ~3;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      BYTE *p = static_cast<BYTE *>(bits) + y * stride + x * 3;
      p[0] = BYTE(x);
      p[1] = BYTE(y);
      p[2] = 200;
    }
  return page;
}

class PageHandOffTest : public ::testing::Test {
protected:
  std::string Folder = "C:\\Out";
  std::deque<SYSTEMTIME> Times;
  SYSTEMTIME LastTime = At(2024, 1, 1, 0, 0, 0, 0);
  std::vector<std::unique_ptr<TSaveRec>> Queued;
  win::UniqueBitmap Page{MakePage(4, 3)};

  TPageHandOff Handler{[this] { return Folder; },
                       [this](std::unique_ptr<TSaveRec> rec) { Queued.push_back(std::move(rec)); },
                       [this] {
                         // The scripted times, then the last one again.
                         if (!Times.empty()) {
                           LastTime = Times.front();
                           Times.pop_front();
                         }
                         return LastTime;
                       }};

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto &rec : Queued)
      names.push_back(rec->FileName);
    return names;
  }
  void Pages(int count) {
    for (int i = 0; i < count; ++i)
      Handler.HandlePage(Page.get());
  }
};

TEST_F(PageHandOffTest, FrontTakesANewStampAndItsBackKeepsIt) {
  Times = {At(2024, 3, 5, 7, 8, 9, 4), At(2024, 3, 5, 7, 8, 10, 120), At(2024, 12, 31, 23, 59, 58, 999)};
  Pages(3); // a batch with an odd number of pages
  Pages(1); // the next batch starts with the back of the last front
  Pages(1);
  EXPECT_EQ(Names(), (std::vector<std::string>{
                         "C:\\Out\\Scan20240305070809004F.jpg",
                         "C:\\Out\\Scan20240305070809004B.jpg",
                         "C:\\Out\\Scan20240305070810120F.jpg",
                         "C:\\Out\\Scan20240305070810120B.jpg",
                         "C:\\Out\\Scan20241231235958999F.jpg",
                     }));
  EXPECT_TRUE(Handler.BackSide);
}

TEST_F(PageHandOffTest, FolderIsTakenFromTheFieldForEveryPage) {
  Times = {At(2024, 1, 2, 3, 4, 5, 6)};
  Folder = "D:\\Scans\\";
  Pages(1);
  Folder = "E:\\Other";
  Pages(1);
  Folder = ""; // not the root of the current drive: the name alone, which waits for a folder
  Pages(1);
  EXPECT_EQ(Names(), (std::vector<std::string>{
                         "D:\\Scans\\Scan20240102030405006F.jpg",
                         "E:\\Other\\Scan20240102030405006B.jpg",
                         "Scan20240102030405007F.jpg",
                     }));
}

TEST_F(PageHandOffTest, FrontsInTheSameMillisecondGetDistinctStamps) {
  Times = {At(2023, 12, 31, 23, 59, 59, 998)}; // the clock then stands still
  Pages(6);
  EXPECT_EQ(Names(), (std::vector<std::string>{
                         "C:\\Out\\Scan20231231235959998F.jpg",
                         "C:\\Out\\Scan20231231235959998B.jpg",
                         "C:\\Out\\Scan20231231235959999F.jpg",
                         "C:\\Out\\Scan20231231235959999B.jpg",
                         "C:\\Out\\Scan20240101000000000F.jpg",
                         "C:\\Out\\Scan20240101000000000B.jpg",
                     }));
}

TEST_F(PageHandOffTest, ClockSetBackDoesNotReuseAnEarlierStamp) {
  Times = {At(2024, 6, 1, 12, 0, 0, 500), At(2024, 6, 1, 11, 0, 0, 0), At(2024, 6, 1, 12, 0, 0, 500),
           At(2024, 6, 1, 12, 30, 0, 0)};
  for (int front = 0; front < 4; ++front)
    Pages(2);
  EXPECT_EQ(Names()[0], "C:\\Out\\Scan20240601120000500F.jpg");
  EXPECT_EQ(Names()[2], "C:\\Out\\Scan20240601120000501F.jpg");
  EXPECT_EQ(Names()[4], "C:\\Out\\Scan20240601120000502F.jpg");
  EXPECT_EQ(Names()[6], "C:\\Out\\Scan20240601123000000F.jpg"); // a clock ahead again is used as is
}

TEST_F(PageHandOffTest, QueuedRecordHoldsItsOwnCopyOfThePage) {
  Pages(1);
  Page.reset(); // the layer destroys the page as soon as the handler returns
  ASSERT_EQ(Queued.size(), 1u);
  FIBITMAP *image = Queued[0]->Bitmap.Image();
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(FreeImage_GetWidth(image), 4u);
  ASSERT_EQ(FreeImage_GetHeight(image), 3u);
  ASSERT_EQ(FreeImage_GetBPP(image), 24u);
  for (unsigned y = 0; y < 3; ++y)
    for (unsigned x = 0; x < 4; ++x) {
      RGBQUAD pixel;
      ASSERT_TRUE(FreeImage_GetPixelColor(image, x, y, &pixel));
      EXPECT_EQ(pixel.rgbBlue, x);
      EXPECT_EQ(pixel.rgbGreen, y);
      EXPECT_EQ(pixel.rgbRed, 200);
    }
}

TEST(PageHandOff, FailingCopyQueuesNothingAndKeepsTheSide) {
  std::vector<std::string> queued;
  bool fail = false;
  SYSTEMTIME now = At(2024, 2, 29, 10, 0, 0, 0);
  TPageHandOff handler([] { return std::string("C:\\Out"); },
                       [&](std::unique_ptr<TSaveRec> rec) { queued.push_back(rec->FileName); },
                       [&] { return now; },
                       [&](TSaveRec &, const TScannedPage &) {
                         if (fail)
                           throw std::runtime_error("Error: GetDIBits failed");
                       });
  auto expectFailure = [&](bool backSideBefore) {
    fail = true;
    try {
      handler.HandlePage(nullptr);
      ADD_FAILURE() << "the failed copy did not leave the handler";
    } catch (const std::runtime_error &e) {
      EXPECT_STREQ(e.what(), "Error: GetDIBits failed");
    }
    EXPECT_EQ(handler.BackSide, backSideBefore);
    fail = false;
  };

  expectFailure(false); // a front
  handler.HandlePage(nullptr);
  expectFailure(true); // its back
  handler.HandlePage(nullptr);
  EXPECT_EQ(queued, (std::vector<std::string>{"C:\\Out\\Scan20240229100000001F.jpg",
                                              "C:\\Out\\Scan20240229100000001B.jpg"}));
}

// A back takes its front's stamp only when it comes right after that front in the same batch:
// after lost pages, or the first page of a batch after the last front of the one before, it takes
// a stamp of its own and names no other sheet's front. Front and back carry their sheet's number
// ("+": a back is to follow), and a front whose back will not come is told as its sheet's end.
TEST(PageHandOff, ABackIsPairedOnlyWithTheFrontRightBeforeIt) {
  struct Page {
    unsigned batch, index;
    const char *name;
    bool simplex;
  };
  const Page pages[] = {
      {1, 0, "Scan20240101000000001F.jpg 1+", false},
      {1, 3, "Scan20240101000000002B.jpg 2", false}, // its front and the back before it were lost
      {2, 0, "Scan20240101000000003F.jpg 3+", false},
      {3, 1, "Scan20240101000000004B.jpg 4", false}, // the first page of the next batch was lost
      {4, 0, "Scan20240101000000005F.jpg 5+", false},
      {4, 1, "Scan20240101000000005B.jpg 5", false},
      {5, 0, "Scan20240101000000006F.jpg 6", true},
      {6, 0, "Scan20240101000000007F.jpg 7+", false}, // the last page of its batch
  };
  std::vector<std::string> queued;
  std::vector<unsigned> ended;
  WORD ms = 0;
  TPageHandOff handler(
      [] { return std::string(); },
      [&](std::unique_ptr<TSaveRec> rec) {
        queued.push_back(rec->FileName + " " + std::to_string(rec->Sheet) + (rec->BackFollows ? "+" : ""));
      },
      [&] { return At(2024, 1, 1, 0, 0, 0, ++ms); }, [](TSaveRec &, const TScannedPage &) {});
  handler.OnSheetEnded = [&](unsigned sheet) { ended.push_back(sheet); };
  std::vector<std::string> expected;
  for (const Page &page : pages) {
    TScannedPage scanned;
    scanned.Batch = page.batch;
    scanned.IndexInBatch = page.index;
    scanned.Simplex = page.simplex;
    handler.HandlePage(scanned);
    expected.push_back(page.name);
  }
  handler.EndBatch();
  EXPECT_EQ(queued, expected);
  EXPECT_EQ(ended, (std::vector<unsigned>{1, 3, 7}));
}

} // namespace

// A page the station cannot copy (no image could be made from it) is not queued empty.
TEST_F(PageHandOffTest, PageThatCannotBeCopiedRaisesAndQueuesNothing) {
  Pages(1);
  EXPECT_THROW(Handler.HandlePage(nullptr), std::runtime_error);
  EXPECT_TRUE(Handler.BackSide);
  Pages(1);
  ASSERT_EQ(Queued.size(), 2u);
  EXPECT_TRUE(Queued[1]->Bitmap.HasImage());
}
