#include "writer/uSaveThread.h"

#include "writer/SideWriter.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

std::unique_ptr<TSaveRec> Page(const std::string &fileName, int width = 16, int height = 16, int bpp = 24) {
  auto rec = std::make_unique<TSaveRec>();
  rec->FileName = fileName;
  rec->Bitmap.AllocateImage(FIT_BITMAP, width, height, bpp);
  return rec;
}

// A side the encoder found blank, scanned with "Set blank sides aside" ticked.
std::unique_ptr<TSaveRec> BlankSide(const std::string &fileName) {
  std::unique_ptr<TSaveRec> rec = Page(fileName);
  rec->SetBlankAside = rec->Look.Done = rec->Look.Blank = true;
  return rec;
}

// The station's side writer around the writer's own (claims and all), telling why a blank side
// was not set aside.
std::function<TSaveThread::TPageWriter(TSaveThread::TPageWriter)> SetAside(std::vector<std::string> *told) {
  return [told](TSaveThread::TPageWriter write) {
    TSideWriterOptions sides;
    sides.Write = std::move(write);
    if (told)
      sides.NotSetAside = [told](const std::string &why) { told->push_back(why); };
    return SideWriter(std::move(sides));
  };
}

// Records what the writer did, in order, from the writer thread.
struct WriteLog {
  std::mutex mutex;
  std::vector<std::string> written;
  std::vector<std::pair<std::string, std::string>> failed;
  std::vector<std::string> boxes;

  void Written(const std::string &name) {
    std::lock_guard<std::mutex> lock(mutex);
    written.push_back(name);
  }
  size_t WrittenCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return written.size();
  }
};

// Waits for a condition that the writer thread makes true; generous, never a measurement.
template <typename Condition> bool Eventually(Condition condition) {
  for (int i = 0; i < 3000; ++i) {
    if (condition())
      return true;
    ::Sleep(10);
  }
  return condition();
}

std::string FileBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TPageWriteResult Wrote(const TSaveRec &rec) {
  return {TPageWriteOutcome::Written, std::string(), rec.FileName};
}

// A writer that only wakes on its signal: anything written proves the signal woke it.
TSaveThread::Options SignalOnly(WriteLog &log) {
  TSaveThread::Options options;
  options.WakeIntervalMs = INFINITE;
  options.Writer = [&log](TSaveRec &rec) {
    log.Written(rec.FileName);
    return Wrote(rec);
  };
  return options;
}

// Every rule of the writer holds whether one encoder or several work ahead of it.
class SaveThread : public ::testing::TestWithParam<size_t> {
protected:
  TSaveThread::Options With(TSaveThread::Options options) const {
    options.Encoders = GetParam();
    return options;
  }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Encoders, SaveThread, ::testing::Values(1, 3));

TEST_P(SaveThread, WritesQueuedPagesOnItsSignalInArrivalOrder) {
  WriteLog log;
  TSaveThread writer(With(SignalOnly(log)));
  std::vector<std::string> expected;
  for (int i = 0; i < 25; ++i) {
    expected.push_back("page" + std::to_string(i) + ".jpg");
    writer.QueuePage(Page(expected.back()));
  }
  ASSERT_TRUE(Eventually([&] { return log.WrittenCount() == expected.size(); }));
  EXPECT_EQ(log.written, expected);

  writer.QueuePage(Page("later")); // queued while the writer waits
  ASSERT_TRUE(Eventually([&] { return log.WrittenCount() == expected.size() + 1; }));
}

TEST_P(SaveThread, DestroyingAnIdleWriterWakesItWithoutTheTimeout) {
  // Shared with the destroying thread, which a writer that never wakes would keep for good: the
  // test then fails at its own deadline and leaves it behind.
  struct Shared {
    WriteLog log;
    std::unique_ptr<TSaveThread> writer;
    std::atomic<bool> ended{false};
  };
  auto shared = std::make_shared<Shared>();
  TSaveThread::Options options = SignalOnly(shared->log);
  options.WakeIntervalMs = 120000; // far beyond the wait below: only the signal can end it in time
  shared->writer = std::make_unique<TSaveThread>(With(options));
  std::thread destroy([shared] {
    shared->writer.reset();
    shared->ended = true;
  });
  const bool endedInTime = Eventually([&] { return shared->ended.load(); });
  endedInTime ? destroy.join() : destroy.detach();
  EXPECT_TRUE(endedInTime) << "the idle writer slept through its end";
}

TEST_P(SaveThread, DestructionWritesEveryPageStillQueued) {
  TempFolder folder;
  std::vector<std::string> names;
  {
    TSaveThread writer(With({}));
    for (int i = 0; i < 12; ++i) {
      names.push_back("Scan2026010100000000" + std::to_string(i) + "F.jpg");
      writer.QueuePage(Page(folder.File(names.back()), 300, 200));
    }
  }
  std::vector<std::string> files = folder.Files();
  std::sort(files.begin(), files.end());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(files, names);
}

TEST_P(SaveThread, APageTheFormatRefusesIsReportedAndTheNextOneWritten) {
  TempFolder folder;
  WriteLog log;
  {
    TSaveThread::Options options = With({});
    options.OnWriteFailed = [&](const std::string &name, const std::string &reason) {
      std::lock_guard<std::mutex> lock(log.mutex);
      log.failed.emplace_back(name, reason);
    };
    TSaveThread writer(options);
    writer.QueuePage(Page(folder.File("page.unknownext")));
    writer.QueuePage(Page(folder.File("bw.jpg"), 16, 16, 1));
    writer.QueuePage(Page(folder.File("good.jpg")));
  }
  ASSERT_EQ(log.failed.size(), 2u);
  EXPECT_EQ(log.failed[0].first, folder.File("page.unknownext"));
  EXPECT_EQ(log.failed[0].second, "no image format for this file name");
  EXPECT_EQ(log.failed[1].first, folder.File("bw.jpg"));
  EXPECT_EQ(log.failed[1].second, "JPEG cannot hold a 1-bit image");
  EXPECT_EQ(folder.Files(), std::vector<std::string>{"good.jpg"});
}

// Pages the encoder refuses, or that a failure threw away, are counted and named for the end.
TEST_P(SaveThread, PagesNeverWrittenAreCountedAndNamed) {
  WriteLog log;
  TSaveThread::Options options = SignalOnly(log);
  options.Writer = [&log](TSaveRec &rec) {
    if (rec.FileName == "thrown")
      throw std::runtime_error("Disk on fire");
    if (rec.FileName == "refused")
      return TPageWriteResult::Refusal("the page could not be encoded");
    log.Written(rec.FileName);
    return Wrote(rec);
  };
  options.ErrorBox = [](const std::string &) {};
  TSaveThread writer(With(options));
  for (const char *name : {"refused", "good", "thrown"})
    writer.QueuePage(Page(name));
  ASSERT_TRUE(Eventually([&] { return writer.State().Pages == 0; }));
  const TWriterState state = writer.State();
  EXPECT_EQ(state.Refused, 2u);
  EXPECT_EQ(state.NotWritten, (std::vector<std::string>{"refused", "thrown"}));
}

// Another station's names stand for every millisecond ahead: whole sheets, fronts alone, backs
// alone. Each sheet moves on to the first stamp at which both its names are free, and nothing of
// the other station's changes. A front whose back never comes, and a back whose front could not
// be written, leave no claimed name behind; such a back keeps its own stamp.
TEST_P(SaveThread, ASheetsFrontAndBackShareTheFirstStampAtWhichBothNamesAreFree) {
  TempFolder folder;
  const auto name = [&](int ms, char side) {
    char text[40];
    std::snprintf(text, sizeof text, "Scan2026010100000%04d%c.jpg", ms, side);
    return std::string(text);
  };
  std::vector<std::string> others;
  for (int ms = 0; ms < 30; ++ms)
    for (char side : {'F', 'B'})
      if (ms % 3 == 0 || (ms % 3 == 1) == (side == 'F')) {
        others.push_back(name(ms, side));
        FILE *other = std::fopen(folder.File(others.back()).c_str(), "wb");
        std::fputs("other", other);
        std::fclose(other);
      }
  std::vector<std::string> expected = others;
  {
    TSaveThread writer(With({}));
    const auto queue = [&](unsigned sheet, int ms, char side, int bpp = 24) {
      auto rec = Page(folder.File(name(ms, side)), 16, 16, bpp);
      rec->Sheet = sheet;
      rec->BackFollows = side == 'F';
      writer.QueuePage(std::move(rec));
    };
    for (unsigned sheet = 1; sheet <= 3; ++sheet) {
      queue(sheet, 0, 'F');
      queue(sheet, 0, 'B');
    }
    queue(4, 40, 'F');
    writer.EndSheet(4);
    queue(5, 50, 'F', 1); // JPEG cannot hold it
    queue(5, 50, 'B');
  }
  for (const std::string &page : {name(30, 'F'), name(30, 'B'), name(31, 'F'), name(31, 'B'), name(32, 'F'),
                                  name(32, 'B'), name(40, 'F'), name(50, 'B')})
    expected.push_back(page);
  std::vector<std::string> files = folder.Files();
  std::sort(files.begin(), files.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(files, expected);
  for (const std::string &other : others) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ::GetFileAttributesExA(folder.File(other).c_str(), GetFileExInfoStandard, &data);
    EXPECT_EQ(data.nFileSizeLow, 5u) << other;
  }
}

TEST_P(SaveThread, AnExceptionIsShownOnceAndLaterPagesAreStillWritten) {
  WriteLog log;
  {
    TSaveThread::Options options = SignalOnly(log);
    options.Writer = [&log](TSaveRec &rec) {
      if (rec.FileName == "bad")
        throw std::runtime_error("Disk on fire");
      log.Written(rec.FileName);
      return Wrote(rec);
    };
    options.ErrorBox = [&log](const std::string &message) {
      std::lock_guard<std::mutex> lock(log.mutex);
      log.boxes.push_back(message);
    };
    TSaveThread writer(With(options));
    writer.QueuePage(Page("first"));
    writer.QueuePage(Page("bad"));
    writer.QueuePage(Page("after"));
  }
  EXPECT_EQ(log.boxes, std::vector<std::string>{"Disk on fire"});
  EXPECT_EQ(log.written, (std::vector<std::string>{"first", "after"}));
}

TEST_P(SaveThread, BackpressureKeepsTheQueueWithinItsBudget) {
  const size_t pageBytes = 64 * 3 * 64; // a 64 x 64 RGB page, rows already 4-byte aligned
  std::atomic<bool> open{false};
  WriteLog log;
  TSaveThread::Options options;
  options.BudgetBytes = pageBytes * 3;
  options.Writer = [&](TSaveRec &rec) {
    while (!open)
      ::Sleep(1);
    log.Written(rec.FileName);
    return Wrote(rec);
  };
  TSaveThread writer(With(options));

  std::atomic<int> queued{0};
  std::thread producer([&] {
    for (int i = 0; i < 10; ++i) {
      writer.QueuePage(Page("p" + std::to_string(i), 64, 64, 24));
      ++queued;
    }
  });

  // The writer holds one page; the queue fills to its budget and the producer must wait.
  const bool filled = Eventually([&] { return writer.QueuedBytes() == options.BudgetBytes; });
  const int queuedWhileHeld = queued.load();
  open = true;
  producer.join();
  ASSERT_TRUE(filled);
  EXPECT_LT(queuedWhileHeld, 10);
  ASSERT_TRUE(Eventually([&] { return log.WrittenCount() == 10; }));
  EXPECT_LE(writer.PeakQueuedBytes(), options.BudgetBytes);
}

// Nothing can ever make room for a page larger than the whole budget: it goes into an empty
// queue at once, and the scan goes on.
TEST_P(SaveThread, APageLargerThanTheWholeBudgetGoesIntoAnEmptyQueueAtOnce) {
  WriteLog log;
  TSaveThread::Options options = SignalOnly(log);
  options.BudgetBytes = 1;
  int waits = 0;
  options.WaitForRoom = [&](HANDLE) { return ++waits, false; };
  TSaveThread writer(With(options));
  writer.QueuePage(Page("big"));
  EXPECT_EQ(waits, 0) << "the scan waited for room that never comes";
  ASSERT_TRUE(Eventually([&] { return log.WrittenCount() == 1; }));
}

// An encoded page holds only its JPEG in the queue, so the budget takes more pages while the writer
// is held; and each is written byte for byte as the writer alone writes it.
TEST_P(SaveThread, PagesEncodedAheadMakeRoomAndAreWrittenAsByTheWriterAlone) {
  auto patterned = [](const std::string &name, int bpp) {
    std::unique_ptr<TSaveRec> rec = Page(name, 64, 64, bpp);
    BYTE *bits = FreeImage_GetBits(rec->Bitmap.Image());
    for (unsigned i = 0; i < FreeImage_GetPitch(rec->Bitmap.Image()) * 64; ++i)
      bits[i] = static_cast<BYTE>(i * 7 % 251);
    return rec;
  };
  TempFolder ahead, alone;
  std::atomic<bool> open{false};
  TSaveThread::Options options = With({});
  options.BudgetBytes = 3 * 64 * 64 * 3;
  options.Writer = [&](TSaveRec &rec) {
    while (!open)
      ::Sleep(1);
    return WritePage(rec);
  };
  for (TempFolder *folder : {&ahead, &alone}) {
    if (folder == &alone)
      options.Encoders = 0, open = true;
    TSaveThread writer(options);
    std::thread producer([&] {
      for (int i = 0; i < 10; ++i)
        writer.QueuePage(patterned(folder->File("p" + std::to_string(i) + ".jpg"), i % 2 ? 8 : 24));
    });
    // The held writer has one page; the other nine fit only once encoded.
    const bool fitted = Eventually([&] { return open || writer.QueuedCount() == 9; });
    open = true;
    producer.join();
    EXPECT_TRUE(fitted) << "encoded pages are still counted as their pixels";
  }
  ASSERT_EQ(ahead.Files().size(), 10u);
  for (const std::string &name : ahead.Files())
    EXPECT_EQ(FileBytes(ahead.File(name)), FileBytes(alone.File(name))) << name;
}

namespace {

// A folder that cannot take pages until it is opened: every write into it waits, as on a full
// disk or a vanished share, and the writer records each attempt.
struct DeadFolder {
  std::atomic<bool> open{false};
  std::atomic<int> attempts{0};
  std::atomic<int> stateChanges{0};
  WriteLog log;

  TSaveThread::Options Options() {
    TSaveThread::Options options;
    options.FirstRetryMs = 5;
    options.MaxRetryMs = 20;
    options.OnStateChanged = [this] { ++stateChanges; };
    options.Writer = [this](TSaveRec &rec) {
      if (std::toupper(rec.FileName[0]) == 'S' && rec.FileName.compare(1, 2, ":\\") == 0 && !open) {
        ++attempts;
        return TPageWriteResult{TPageWriteOutcome::Waiting, "the disk is full", std::string()};
      }
      log.Written(rec.FileName);
      return Wrote(rec);
    };
    return options;
  }
  // The same on the test's own clock: retries after 100 ms, then twice as long, up to a second.
  std::atomic<DWORD> clock{1000};
  TSaveThread::Options ClockedOptions() {
    TSaveThread::Options options = Options();
    options.FirstRetryMs = 100;
    options.MaxRetryMs = 1000;
    options.WakeIntervalMs = 5;
    options.Clock = [this] { return clock.load(); };
    return options;
  }
};

} // namespace

TEST_P(SaveThread, APageThatWaitsHoldsBackOnlyThePagesOfItsFolder) {
  DeadFolder folder;
  TSaveThread::Options options = folder.Options();
  // A full queue before a dead folder: the station gives up the wait for room, so its batch
  // can end; the pages are taken over the budget, none lost.
  options.BudgetBytes = 1;
  int waitsGivenUp = 0;
  options.WaitForRoom = [&](HANDLE) { return ++waitsGivenUp, false; };
  TSaveThread writer(With(options));
  for (const char *name : {"S:\\1.jpg", "S:\\2.jpg", "C:\\3.jpg"})
    writer.QueuePage(Page(name));
  EXPECT_GE(waitsGivenUp, 1);
  ASSERT_TRUE(Eventually([&] { return folder.attempts >= 3; })) << "no retries";
  ASSERT_TRUE(Eventually([&] { return folder.log.WrittenCount() == 1; })) << "C: waited for S:";
  TWriterState state = writer.State();
  EXPECT_EQ(state.Pages, 2u);
  EXPECT_EQ(state.WaitReason, "the disk is full");
  EXPECT_EQ(state.WaitFolder, "S:");

  folder.open = true;
  ASSERT_TRUE(Eventually([&] { return folder.log.WrittenCount() == 3; }));
  EXPECT_EQ(folder.log.written, (std::vector<std::string>{"C:\\3.jpg", "S:\\1.jpg", "S:\\2.jpg"}));
  ASSERT_TRUE(Eventually([&] { return !writer.State().Waiting(); }));
  EXPECT_GE(folder.stateChanges, 2) << "the wait's start and end are announced";
}

// A folder is tried again after 1, 2, 4 ... seconds; once a page got through, a later wait starts
// again from the first delay. The writer's clock is the test's.
TEST_P(SaveThread, RetriesBackOffAndStartOverOnceAPageGotThrough) {
  DeadFolder folder;
  std::atomic<DWORD> &clock = folder.clock;
  TSaveThread::Options options = folder.ClockedOptions();
  TSaveThread writer(With(options));
  writer.QueuePage(Page("S:\\1.jpg"));
  ASSERT_TRUE(Eventually([&] { return writer.State().Waiting(); }));
  EXPECT_EQ(writer.State().RetryAt, 1100u);
  clock = 1100;
  ASSERT_TRUE(Eventually([&] { return folder.attempts == 2 && writer.State().RetryAt == 1300u; }))
      << writer.State().RetryAt;
  // The same folder given again, written another way: its pages keep waiting for it, tried now.
  clock = 1150;
  EXPECT_EQ(writer.SetOutputFolder("s:\\"), 0u);
  ASSERT_TRUE(Eventually([&] { return folder.attempts == 3 && writer.State().RetryAt == 1550u; }))
      << writer.State().RetryAt;
  EXPECT_EQ(writer.State().WaitFolder, "S:");

  folder.open = true;
  clock = 1550;
  ASSERT_TRUE(Eventually([&] { return folder.log.WrittenCount() == 1 && !writer.State().Waiting(); }));
  folder.open = false;
  writer.QueuePage(Page("S:\\2.jpg"));
  ASSERT_TRUE(Eventually([&] { return folder.attempts == 4 && writer.State().Waiting(); }));
  EXPECT_EQ(writer.State().RetryAt, 1650u) << "the delay was not reset after the page got through";
  // A share away for an hour is still tried every MaxRetryMs, not an hour later.
  for (DWORD delay : {200u, 400u, 800u, 1000u, 1000u}) {
    const DWORD due = writer.State().RetryAt;
    const int tried = folder.attempts;
    clock = due;
    ASSERT_TRUE(Eventually([&] {
      return folder.attempts == tried + 1 && writer.State().RetryAt == due + delay;
    })) << "after "
        << due << ": " << writer.State().RetryAt;
  }
}

// The person gives another folder while pages wait for one that cannot take them: they go there,
// in order and under their own names, and later pages for the old folder follow them.
TEST_P(SaveThread, PagesWaitingForAFolderGoToTheFolderGivenSince) {
  DeadFolder folder;
  TSaveThread::Options options = folder.Options();
  options.FirstRetryMs = options.MaxRetryMs = 60000; // only the folder given can end the wait
  TSaveThread writer(With(options));
  writer.QueuePage(Page("S:\\Out\\Scan1F.jpg"));
  writer.QueuePage(Page("S:\\Out\\Scan1B.jpg"));
  ASSERT_TRUE(Eventually([&] { return writer.State().Waiting(); }));

  EXPECT_EQ(writer.SetOutputFolder("C:\\New"), 2u);
  writer.QueuePage(Page("C:\\New\\Scan2F.jpg"));
  ASSERT_TRUE(Eventually([&] { return folder.log.WrittenCount() == 3; }));
  EXPECT_EQ(folder.log.written,
            (std::vector<std::string>{"C:\\New\\Scan1F.jpg", "C:\\New\\Scan1B.jpg", "C:\\New\\Scan2F.jpg"}));
  EXPECT_FALSE(writer.State().Waiting());
}

// The person goes back to a folder still away and then gives up on it again: the pages scanned
// for it meanwhile go to the folder given last, however the folder was written.
TEST_P(SaveThread, PagesOfAFolderGivenAgainAndGivenUpAgainGoToTheFolderGivenLast) {
  DeadFolder folder;
  TSaveThread::Options options = folder.Options();
  options.FirstRetryMs = options.MaxRetryMs = 60000; // only the folder given can end the wait
  TSaveThread writer(With(options));
  writer.QueuePage(Page("S:\\A\\1.jpg"));
  ASSERT_TRUE(Eventually([&] { return writer.State().Waiting(); }));
  EXPECT_EQ(writer.SetOutputFolder("C:\\B"), 1u);
  ASSERT_TRUE(Eventually([&] { return folder.log.WrittenCount() == 1 && !writer.State().Waiting(); }));

  EXPECT_EQ(writer.SetOutputFolder("s:\\a\\"), 0u);
  EXPECT_FALSE(writer.State().Waiting()) << "no page waits for it yet";
  writer.QueuePage(Page("s:\\a\\2.jpg"));
  writer.QueuePage(Page("s:\\a\\3.jpg"));
  ASSERT_TRUE(Eventually([&] { return folder.attempts == 2 && writer.State().Waiting(); }));
  EXPECT_EQ(writer.State().WaitFolder, "s:\\a");

  EXPECT_EQ(writer.SetOutputFolder("C:\\C"), 2u);
  ASSERT_TRUE(Eventually([&] { return folder.log.WrittenCount() == 3; }));
  EXPECT_EQ(folder.log.written, (std::vector<std::string>{"C:\\B\\1.jpg", "C:\\C\\2.jpg", "C:\\C\\3.jpg"}));
  EXPECT_FALSE(writer.State().Waiting());
  EXPECT_EQ(folder.attempts, 2);
}

// The disk fills between a page's claim and its bytes, and the person gives another folder: the
// page goes there whole under a name claimed there, and the first folder keeps nothing of it.
TEST_P(SaveThread, AClaimedPageWhoseWriteFailedGoesToTheFolderGivenSince) {
  TempFolder full, other;
  TSheetNames names;
  TSaveThread::Options options = With({});
  options.FirstRetryMs = options.MaxRetryMs = 60000; // only the folder given can end the wait
  options.Writer = [&](TSaveRec &rec) {
    const TPageWriteResult claimed = names.Claim(rec);
    if (claimed.Written() && rec.FileName.rfind(full.Path(), 0) == 0)
      return TPageWriteResult{TPageWriteOutcome::Waiting, "the disk is full", std::string()};
    return claimed.Written() ? WritePage(rec) : claimed;
  };
  TSaveThread writer(options);
  writer.QueuePage(Page(full.File("Scan20260101000000000F.jpg")));
  ASSERT_TRUE(Eventually([&] { return writer.State().Waiting(); }));
  EXPECT_EQ(full.Files(), std::vector<std::string>{"Scan20260101000000000F.jpg.partial"});

  EXPECT_EQ(writer.SetOutputFolder(other.Path()), 1u);
  ASSERT_TRUE(Eventually([&] { return writer.State().Pages == 0; }));
  EXPECT_EQ(other.Files(), std::vector<std::string>{"Scan20260101000000000F.jpg"});
  EXPECT_TRUE(full.Files().empty());
}

// A blank side set aside waits for its folder as any page of that folder does: tried again after
// the delay, not at once, and written into that folder's Blank folder once it is back.
TEST_P(SaveThread, ABlankSideWaitsForItsOwnFolderAndGoesIntoItsBlankFolder) {
  DeadFolder folder;
  std::atomic<DWORD> &clock = folder.clock;
  TSaveThread::Options options = folder.ClockedOptions();
  options.WrapWriter = SetAside(nullptr);
  TSaveThread writer(With(options));
  writer.QueuePage(BlankSide("S:\\Out\\Scan20260101000000000B.jpg"));
  ASSERT_TRUE(Eventually([&] { return writer.State().Waiting(); }));
  EXPECT_EQ(writer.State().WaitFolder, "S:\\Out");
  const int tried = folder.attempts;
  writer.QueuePage(Page("C:\\Out\\Scan20260101000000001F.jpg")); // passes the writer makes meanwhile
  ASSERT_TRUE(Eventually([&] { return folder.log.WrittenCount() == 1; }));
  EXPECT_EQ(folder.attempts, tried) << "tried again before its delay";

  folder.open = true;
  clock = writer.State().RetryAt;
  ASSERT_TRUE(Eventually([&] { return folder.log.WrittenCount() == 2; }));
  EXPECT_EQ(folder.log.written[1], "S:\\Out\\Blank\\Scan20260101000000000B.jpg");
}

// A file named Blank where the Blank folder would be: the blank back goes among the folder's pages
// under its front's stamp (moved on past another station's name), the reason is told, nothing
// waits, and no claimed name is left behind.
TEST_P(SaveThread, ABlankSideTheBlankFolderCannotTakeGoesAmongItsFoldersPages) {
  TempFolder folder;
  std::ofstream(folder.File("Blank")) << "not a folder";
  std::ofstream(folder.File("Scan20260101000000000F.jpg")) << "another station's";
  std::vector<std::string> told;
  TSaveThread::Options options = With({});
  options.WrapWriter = SetAside(&told);
  TSaveThread writer(options);
  auto front = Page(folder.File("Scan20260101000000000F.jpg"));
  auto back = BlankSide(folder.File("Scan20260101000000000B.jpg"));
  front->Sheet = back->Sheet = 1;
  front->BackFollows = true;
  writer.QueuePage(std::move(front));
  writer.QueuePage(std::move(back));
  ASSERT_TRUE(Eventually([&] { return writer.State().Pages == 0; })) << writer.State().WaitReason;
  std::vector<std::string> files = folder.Files();
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"Blank", "Scan20260101000000000F.jpg",
                                             "Scan20260101000000001B.jpg", "Scan20260101000000001F.jpg"}));
  EXPECT_EQ(told, std::vector<std::string>{"a file named Blank is in the way"});
  ::DeleteFileA(folder.File("Blank").c_str());
}

// A front whose back never comes: the back's name, claimed with the front's, is given back when
// the sheet ends, not left until the close.
TEST_P(SaveThread, TheBacksNameOfASheetThatEndsIsGivenBackAtOnce) {
  TempFolder folder;
  TSaveThread writer(With({}));
  auto front = Page(folder.File("Scan20260101000000000F.jpg"));
  front->Sheet = 1;
  front->BackFollows = true;
  writer.QueuePage(std::move(front));
  ASSERT_TRUE(Eventually([&] { return writer.State().Pages == 0; }));
  std::vector<std::string> files = folder.Files();
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files,
            (std::vector<std::string>{"Scan20260101000000000B.jpg.partial", "Scan20260101000000000F.jpg"}));
  writer.EndSheet(1);
  EXPECT_EQ(folder.Files(), std::vector<std::string>{"Scan20260101000000000F.jpg"});
}

// At the end nobody waits for a folder: one more try, then the page and every later page bound
// for that folder go into the unsaved folder under their own names; other folders still take theirs.
TEST_P(SaveThread, FinishingKeepsWhatCannotBeWrittenInTheUnsavedFolder) {
  DeadFolder folder;
  TSaveThread::Options options = folder.Options();
  options.FirstRetryMs = options.MaxRetryMs = 60000; // only the finish can cut the wait short
  options.UnsavedFolder = "U:\\Unsaved";
  TSaveThread writer(With(options));
  writer.QueuePage(Page("C:\\Out\\0.jpg"));
  ASSERT_TRUE(Eventually([&] { return folder.log.WrittenCount() == 1; }));
  for (const char *name : {"S:\\Out\\1.jpg", "C:\\Out\\2.jpg", "S:\\Out\\3.jpg"})
    writer.QueuePage(Page(name));
  ASSERT_TRUE(Eventually([&] { return writer.State().Waiting() && folder.log.WrittenCount() == 2; }));

  writer.Finish();
  ASSERT_TRUE(Eventually([&] { return writer.State().Finished(); }));
  EXPECT_EQ(folder.attempts, 2) << "one try while scanning, one more at the finish";
  EXPECT_EQ(folder.log.written, (std::vector<std::string>{"C:\\Out\\0.jpg", "C:\\Out\\2.jpg",
                                                          "U:\\Unsaved\\1.jpg", "U:\\Unsaved\\3.jpg"}));
  const TWriterState state = writer.State();
  EXPECT_EQ(state.Unsaved, 2u);
  EXPECT_EQ(state.Lost, 0u);
}

TEST_P(SaveThread, APageNamedWithoutAFolderWaitsUntilOneIsGiven) {
  TempFolder folder;
  TSaveThread::Options options = With({});
  options.FirstRetryMs = options.MaxRetryMs = 60000; // only the folder given can end the wait
  TSaveThread writer(options);
  writer.QueuePage(Page("Scan20260101000000000F.jpg"));
  ASSERT_TRUE(Eventually([&] { return writer.State().Waiting(); }));
  EXPECT_EQ(writer.State().WaitReason, "no output folder is given");

  writer.SetOutputFolder(folder.Path());
  ASSERT_TRUE(Eventually([&] { return writer.State().Pages == 0; }));
  EXPECT_EQ(folder.Files(), std::vector<std::string>{"Scan20260101000000000F.jpg"});
}
