// The road of one page file to disk: nothing under its final name before every byte is there,
// missing folders made, no file ever replaced, and failures sorted into waiting and refused.
#include "image/FreeBitmap.h"
#include "writer/PageFile.h"
#include "writer/PageJournal.h"
#include "writer/PageStamp.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string Contents(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TPageBytesProducer Bytes(const std::string &bytes) {
  return [bytes](TPageFileSink &sink) { return sink.Write(bytes.data(), bytes.size()); };
}

// Removes a folder chain a test made inside its TempFolder.
struct MadeFolders {
  std::vector<std::string> files, folders;
  ~MadeFolders() {
    for (const std::string &f : files)
      ::DeleteFileA(f.c_str());
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
      ::RemoveDirectoryA(it->c_str());
  }
};

} // namespace

TEST(PageFile, TheFinalNameAppearsOnlyWhenEveryByteIsOnDisk) {
  TempFolder folder;
  const std::string name = folder.File("Scan20260101000000000F.jpg");
  std::vector<std::string> seenWhileWriting;
  const TPageWriteResult written = WritePageFile(name, [&](TPageFileSink &sink) {
    seenWhileWriting = folder.Files();
    return sink.Write("first half,", 11) && sink.Write("second half", 11);
  });
  ASSERT_TRUE(written.Written()) << written.Reason;
  EXPECT_EQ(seenWhileWriting, std::vector<std::string>{"Scan20260101000000000F.jpg.partial"});
  EXPECT_EQ(folder.Files(), std::vector<std::string>{"Scan20260101000000000F.jpg"});
  EXPECT_EQ(Contents(name), "first half,second half");

  // A producer that gives up leaves nothing behind, not even the partial file.
  const TPageWriteResult refused =
      WritePageFile(folder.File("Scan20260101000000001F.jpg"),
                    [](TPageFileSink &sink) { return sink.Write("x", 1) && false; });
  EXPECT_EQ(refused.Outcome, TPageWriteOutcome::Refused);
  EXPECT_EQ(folder.Files(), std::vector<std::string>{"Scan20260101000000000F.jpg"});
}

// An earlier run, a clock set back or the same millisecond: the stamp moves on by 1 ms until
// the name is free, and what was on disk stays as it was.
TEST(PageFile, AFileOfTheSameNameIsNeverReplaced) {
  TempFolder folder;
  MadeFolders made;
  const std::string chain = folder.File("new\\chain");
  made.folders = {folder.File("new"), chain};
  const std::string first = chain + "\\Scan20251231235959999B.jpg";
  const std::string second = chain + "\\Scan20260101000000000B.jpg";
  const std::string third = chain + "\\Scan20260101000000001B.jpg";
  made.files = {first, second, third};

  EXPECT_EQ(WritePageFile(first, Bytes("one")).FinalName, first); // the missing chain is made
  EXPECT_EQ(WritePageFile(second, Bytes("two")).FinalName, second);
  EXPECT_EQ(WritePageFile(first, Bytes("three")).FinalName, third);
  EXPECT_EQ(Contents(first), "one");
  EXPECT_EQ(Contents(second), "two");
  EXPECT_EQ(Contents(third), "three");

  // A name of another form keeps its form with a counter.
  EXPECT_EQ(WritePageFile(folder.File("page.jpg"), Bytes("a")).FinalName, folder.File("page.jpg"));
  EXPECT_EQ(WritePageFile(folder.File("page.jpg"), Bytes("b")).FinalName, folder.File("page(1).jpg"));
}

TEST(PageFile, WhatCanWorkLaterWaitsAndWhatNeverCanIsRefused) {
  TempFolder folder;
  TFreeWinBitmap colour(FIT_BITMAP, 8, 8, 24), blackAndWhite(FIT_BITMAP, 8, 8, 1);
  struct Case {
    TPageWriteResult result;
    TPageWriteOutcome outcome;
    const char *reason;
  } cases[] = {
      {colour.WriteToFile("Scan20260101000000000F.jpg"), TPageWriteOutcome::Waiting,
       "no output folder is given"},
      // Wine's drive letters end at Z:; a letter with no drive behind it is a vanished share.
      {colour.WriteToFile("Q:\\gone\\Scan20260101000000000F.jpg"), TPageWriteOutcome::Waiting,
       "the folder is unreachable"},
      {blackAndWhite.WriteToFile(folder.File("page.jpg")), TPageWriteOutcome::Refused,
       "JPEG cannot hold a 1-bit image"},
      {colour.WriteToFile(folder.File("page.unknownext")), TPageWriteOutcome::Refused,
       "no image format for this file name"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.reason);
    EXPECT_EQ(c.result.Outcome, c.outcome);
    EXPECT_EQ(c.result.Reason, c.reason);
  }
  EXPECT_TRUE(folder.Files().empty());
}

TEST(PageFile, AJpegKeepsThePagesResolution) {
  TempFolder folder;
  TFreeWinBitmap page(FIT_BITMAP, 16, 16, 24);
  FreeImage_SetDotsPerMeterX(page.Image(), 11811); // 300 dpi
  FreeImage_SetDotsPerMeterY(page.Image(), 7874);  // 200 dpi
  ASSERT_TRUE(page.SaveToFile(folder.File("page.jpg")));
  FIBITMAP *loaded = FreeImage_Load(FIF_JPEG, folder.File("page.jpg").c_str(), 0);
  ASSERT_NE(loaded, nullptr);
  EXPECT_NEAR(FreeImage_GetDotsPerMeterX(loaded), 11811, 1);
  EXPECT_NEAR(FreeImage_GetDotsPerMeterY(loaded), 7874, 1);
  FreeImage_Unload(loaded);
}

TEST(PageStamp, OneMillisecondLaterCarriesIntoTheNextYearAndLeavesOtherNamesAlone) {
  EXPECT_EQ(PageNameOneMillisecondLater("C:\\Out\\Scan20251231235959999B.jpg"),
            "C:\\Out\\Scan20260101000000000B.jpg");
  EXPECT_EQ(PageNameOneMillisecondLater("Scan20240228235959999F.jpg"), "Scan20240229000000000F.jpg");
  EXPECT_EQ(PageNameOneMillisecondLater("C:\\Scan2024\\page.jpg"), "");
  EXPECT_EQ(PageNameOneMillisecondLater("C:\\Out\\Scan2025123123595999xB.jpg"), "");
}

TEST(PageFile, BytesReachTheFileInTheOrderGivenWhateverThePieceSizes) {
  TempFolder folder;
  const size_t gather = TPageFileSink::kGatherBytes;
  const std::vector<std::vector<size_t>> cases = {
      {10, 20000},                 // a large piece after small bytes still waiting
      {gather / 4 + 1, 3, gather}, // large, small, then one as large as the buffer
      {gather - 1, 2, 1},          // small pieces that overflow the buffer
  };
  for (const std::vector<size_t> &pieces : cases) {
    std::string expected;
    for (size_t size : pieces)
      expected += std::string(size, static_cast<char>('a' + expected.size() % 26));
    const std::string name = folder.File("Scan20260101000000000F.jpg");
    ASSERT_TRUE(WritePageFile(name, [&](TPageFileSink &sink) {
                  size_t at = 0;
                  for (size_t size : pieces)
                    at += sink.Write(expected.data() + at, size) ? size : 0;
                  return true;
                }).Written());
    EXPECT_TRUE(Contents(name) == expected) << pieces[0] << ", " << pieces[1];
    ::DeleteFileA(name.c_str());
  }
}

TEST(PageJournal, ReadsThePagesNeverWrittenUpToItsLastWholeLine) {
  const struct {
    const char *bytes;
    std::vector<std::string> notWritten, claims;
  } cases[] = {
      {"Q 1 20260101000000000 C:\\o\\Scan20260101000000000F.jpg\nQ 2 20260101000000001 C:\\my "
       "o\\Scan20260101000000000B.jpg\n"
       "W 1\n",
       {"C:\\my o\\Scan20260101000000000B.jpg"},
       {}},
      // cut by a power cut while a line was appended
      {"Q 1 20260101000000000 C:\\o\\Scan20260101000000000F.jpg\nQ 2 20260101000000001 "
       "C:\\o\\Scan20260101000000001F.jpg",
       {"C:\\o\\Scan20260101000000000F.jpg"},
       {}},
      // a page put aside keeps its claim's leftovers; a back claimed with its front is ours too
      {"Q 1 20260101000000000 C:\\o\\Scan20260101000000000F.jpg\nC 1 C:\\o\\Scan20260101000000000F.jpg\nC 0 "
       "C:\\o\\Scan20260101000000000B.jpg\nA 1\nW 12345678901\nQ x 2 n\nQ 1234567890 2 m\nQ 3 t\n\nC",
       {},
       {"C:\\o\\Scan20260101000000000B.jpg", "C:\\o\\Scan20260101000000000F.jpg"}},
      // names the station never gives, folders no page used, and lines of an older form are read past
      {"Q 1 20260101000000000 C:\\o\\Scan20260101000000000F.jpg\nQ 2 t "
       "C:\\Users\\anna\\Documents\\thesis.docx\n"
       "Q 3 t C:\\o\\..\\Scan20260101000000000F.jpg\nC 1 C:\\Users\\anna\\Documents\\thesis.docx\n"
       "C 1 C:\\Users\\anna\\Documents\\Scan20260101000000000F.jpg\nC 1 "
       "C:\\o\\..\\o\\Scan20260101000000000F.jpg\n"
       "C 1 \\\\server\\share\\Scan20260101000000000F.jpg\nF C:\\o\\...\nC 1 "
       "C:\\o\\...\\Scan20260101000000000F.jpg\n"
       "C C:\\o\\Scan20260101000000000F.jpg\nC 1 C:\\o\\Scan20260101000000000F.jpgx\nC 9 "
       "C:\\o\\Scan20260101000000000B.jpg\n"
       "C 1 C:\\o\\sub\\Scan20260101000000000F.jpg\nC 1 o\\Scan20260101000000000F.jpg\n",
       {"C:\\o\\Scan20260101000000000F.jpg"},
       {}},
      // a folder noted for pages sent away from their own (the Blank folder, another given)
      {"Q 1 t Scan20260101000000000F.jpg\nF \\\\server\\share\\scans\nC 1 "
       "\\\\server\\share\\scans\\Scan20260101000000000F.jpg\n",
       {"Scan20260101000000000F.jpg"},
       {"\\\\server\\share\\scans\\Scan20260101000000000F.jpg"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::string past = std::string(c.bytes) + "\n"; // a line's end just past what is read
    const TJournalReading reading = ReadJournal(past.data(), past.size() - 1);
    std::vector<std::string> names;
    for (const TJournalPage &page : reading.NotWritten)
      names.push_back(page.FileName);
    EXPECT_EQ(names, c.notWritten);
    EXPECT_EQ(reading.Claims, c.claims);
  }
}

// A journal written to harm: a user's document (with and without a NUL cutting the ".partial"
// off), a ".." path and a share no page used. The start contacts only the station's own names.
TEST(PageJournal, TheStartTouchesNothingButTheStationsOwnNames) {
  const std::string own = "C:\\o\\Scan20260101000000000F.jpg";
  const std::string nul(1, '\0');
  const std::string bytes =
      "Q 1 20260101000000000 " + own + "\nC 1 C:\\Users\\anna\\Documents\\thesis.docx\n" +
      "C 1 C:\\Users\\anna\\Documents\\thesis.docx" + nul + ".partial\n" + "C 1 " + own + nul +
      "\\..\\..\\thesis.docx\nC 1 C:\\o\\..\\Users\\anna\\Scan20260101000000000F.jpg\n" +
      "C 1 \\\\server\\share\\Scan20260101000000000F.jpg\nC 1 " + own + "\n";
  TJournalReading reading = ReadJournal(bytes.data(), bytes.size());
  std::vector<std::string> contacted;
  SettleOnDisk(reading, {[&](const std::string &path) {
                           contacted.push_back("look " + path);
                           return false;
                         },
                         [&](const std::string &path) { contacted.push_back("remove " + path); }});
  EXPECT_EQ(contacted, (std::vector<std::string>{"look " + own, "remove " + own + ".partial"}));
  ASSERT_EQ(reading.NotWritten.size(), 1u);
  EXPECT_EQ(reading.NotWritten[0].FileName, own);
}

// What stations killed mid-write leave: their journals, a page's ".partial" and a page moved onto
// its name before its written line. The next station names exactly the page not on disk, removes
// the leftovers and both journals, so that no page is named at two starts; a journal of a station
// still running is not touched; a folder that cannot take a journal says so.
TEST(PageJournal, TheNextStartNamesWhatACrashLeftAndRemovesItsLeftovers) {
  TempFolder folder;
  const std::string lost = folder.File("Scan20260101000000000F.jpg");
  const std::string movedIn = folder.File("Scan20260101000000000B.jpg");
  const std::string otherStations = folder.File("Scan20260101000000005F.jpg.partial");
  for (const std::string &file : {lost + ".partial", movedIn, otherStations})
    std::ofstream(file, std::ios::binary) << "bytes";
  std::ofstream(folder.File("pages.journal"), std::ios::binary)
      << "Q 1 20260101101112000 " << lost << "\nC 1 " << lost << "\nC 0 " << movedIn << "\nQ 2 2026";
  std::ofstream(folder.File("pages-3.journal"), std::ios::binary)
      << "Q 7 20260101101112001 " << movedIn << "\nC 7 " << movedIn << "\n";
  {
    TPageJournal journal(folder.Path(), {});
    journal.SettleLeftByACrash();
    ASSERT_EQ(journal.LeftByACrash().NotWritten.size(), 1u);
    EXPECT_EQ(journal.LeftByACrash().NotWritten[0].FileName, lost);
    EXPECT_EQ(journal.LeftByACrash().NotWritten[0].QueuedAt, "20260101101112000");
    // A page sent into its Blank folder: the folder is noted, so a crash would remove its claim.
    journal.Claimed(journal.Queued(lost), folder.File("Blank\\Scan20260101000000000F.jpg"));
    const std::string own = Contents(folder.File("pages-2.journal"));
    EXPECT_EQ(ReadJournal(own.data(), own.size()).Claims,
              std::vector<std::string>{folder.File("Blank\\Scan20260101000000000F.jpg")});
    TPageJournal running(folder.Path(), {});
    running.SettleLeftByACrash();
    EXPECT_TRUE(running.LeftByACrash().NotWritten.empty());
    std::vector<std::string> files = folder.Files();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files,
              (std::vector<std::string>{"Scan20260101000000000B.jpg", "Scan20260101000000005F.jpg.partial",
                                        "pages-2.journal", "pages.journal"}));
  }
  TPageJournal again(folder.Path(), {});
  again.SettleLeftByACrash();
  EXPECT_TRUE(again.LeftByACrash().NotWritten.empty());

  TPageJournal nowhere(folder.File("missing\\folder"), {});
  EXPECT_EQ(nowhere.OpenProblem(), "the folder is unreachable");
  nowhere.Written(nowhere.Queued(lost));
}
