#include "image/uSaveThread.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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

// A writer that only wakes on its signal: anything written proves the signal woke it.
TSaveThread::Options SignalOnly(WriteLog &log) {
  TSaveThread::Options options;
  options.WakeIntervalMs = INFINITE;
  options.Writer = [&log](TSaveRec &rec, std::string &) {
    log.Written(rec.FileName);
    return true;
  };
  return options;
}

} // namespace

TEST(SaveThread, WritesQueuedPagesOnItsSignalInArrivalOrder) {
  WriteLog log;
  TSaveThread writer(SignalOnly(log));
  std::vector<std::string> expected;
  for (int i = 0; i < 25; ++i) {
    expected.push_back("page" + std::to_string(i));
    writer.QueuePage(Page(expected.back()));
  }
  ASSERT_TRUE(Eventually([&] { return log.WrittenCount() == expected.size(); }));
  EXPECT_EQ(log.written, expected);

  writer.QueuePage(Page("later")); // queued while the writer waits
  ASSERT_TRUE(Eventually([&] { return log.WrittenCount() == expected.size() + 1; }));
}

TEST(SaveThread, DestroyingAnIdleWriterWakesItWithoutTheTimeout) {
  WriteLog log;
  { TSaveThread writer(SignalOnly(log)); } // with no time-out, only the signal can end it
  EXPECT_TRUE(log.written.empty());
}

TEST(SaveThread, DestructionWritesEveryPageStillQueued) {
  TempFolder folder;
  std::vector<std::string> names;
  {
    TSaveThread writer;
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

TEST(SaveThread, AFailingPageIsReportedAndTheNextOneWritten) {
  TempFolder folder;
  WriteLog log;
  {
    TSaveThread writer([&](const std::string &name, const std::string &reason) {
      std::lock_guard<std::mutex> lock(log.mutex);
      log.failed.emplace_back(name, reason);
    });
    writer.QueuePage(Page(folder.File("missing\\a.jpg")));
    writer.QueuePage(Page(folder.File("bw.jpg"), 16, 16, 1));
    writer.QueuePage(Page(folder.File("good.jpg")));
  }
  ASSERT_EQ(log.failed.size(), 2u);
  EXPECT_EQ(log.failed[0].first, folder.File("missing\\a.jpg"));
  EXPECT_NE(log.failed[0].second.find("does not exist"), std::string::npos) << log.failed[0].second;
  EXPECT_EQ(log.failed[1].first, folder.File("bw.jpg"));
  EXPECT_NE(log.failed[1].second.find("1-bit"), std::string::npos) << log.failed[1].second;
  EXPECT_EQ(folder.Files(), std::vector<std::string>{"good.jpg"});
}

TEST(SaveThread, AnExceptionIsShownOnceAndLaterPagesAreStillWritten) {
  WriteLog log;
  {
    TSaveThread::Options options = SignalOnly(log);
    options.Writer = [&log](TSaveRec &rec, std::string &) -> bool {
      if (rec.FileName == "bad")
        throw std::runtime_error("Disk on fire");
      log.Written(rec.FileName);
      return true;
    };
    options.ErrorBox = [&log](const std::string &message) {
      std::lock_guard<std::mutex> lock(log.mutex);
      log.boxes.push_back(message);
    };
    TSaveThread writer(options);
    writer.QueuePage(Page("first"));
    writer.QueuePage(Page("bad"));
    writer.QueuePage(Page("after"));
  }
  EXPECT_EQ(log.boxes, std::vector<std::string>{"Disk on fire"});
  EXPECT_EQ(log.written, (std::vector<std::string>{"first", "after"}));
}

TEST(SaveThread, BackpressureKeepsTheQueueWithinItsBudget) {
  const size_t pageBytes = 64 * 3 * 64; // a 64 x 64 RGB page, rows already 4-byte aligned
  std::atomic<bool> open{false};
  WriteLog log;
  TSaveThread::Options options;
  options.BudgetBytes = pageBytes * 3;
  options.Writer = [&](TSaveRec &rec, std::string &) {
    while (!open)
      ::Sleep(1);
    log.Written(rec.FileName);
    return true;
  };
  TSaveThread writer(options);

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
