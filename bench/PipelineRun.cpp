#include "bench/PipelineRun.h"

#include "app/BatchCounts.h"
#include "app/PageNaming.h"
#include "app/ProgressBar.h"
#include "app/ScannerChoice.h"
#include "bench/ProgressWindow.h"
#include "bench/TimedSourceManager.h"
#include "tests/support/ScannerScenario.h"
#include "twain/KestraTwain.h"
#include "twain/PageSectionKeeper.h"
#include "twain/TwainBitmap.h"
#include "twain/TwainSource.h"
#include "twain/VirtualWindow.h"
#include "writer/SideWriter.h"
#include "writer/uSaveThread.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace {

constexpr double kGiveUpMs = 15 * 60 * 1000.0;

std::string InstallScenario(const TPipelineConfig &config) {
  testsupport::ScannerScenario scenario;
  scenario.Set("sheets", (config.Pages + 1) / 2)
      .Set("sides", config.Pages > 1 ? 2 : 1)
      .Set("width", 2480)
      .Set("height", 3508)
      .Set("resolution", 300)
      .Set("pixel_type", config.Rgb ? "rgb" : "gray")
      .Set("time_per_page_ms", 0)
      .Set("compression", config.Jpeg ? "jpeg" : "none");
  if (!config.DrawingScanner)
    scenario.Set("drawn_sides", 2);
  if (config.StripBytes)
    scenario.Set("preferred_buffer", static_cast<long long>(config.StripBytes));
  return scenario.Install("tovik-pipeline-bench.ini");
}

TTwainSource *OpenScanner(TKestraTwain &twain) {
  int chosen = FirstCompatibleScanner(twain.SourceCount(), [&](int i) {
    TTwainSource *source = twain.Source(i);
    if (!source)
      return std::string();
    const char *name = source->IdentityRecord()->ProductName;
    return std::string(name, strnlen(name, sizeof source->IdentityRecord()->ProductName));
  });
  TTwainSource *scanner = chosen >= 0 ? twain.Source(chosen) : nullptr;
  if (!scanner || !scanner->Open())
    return nullptr;
  scanner->TransferMode = ttmMemory;
  return scanner;
}

} // namespace

TPipelineResult RunPipeline(const TPipelineConfig &config) {
  TPipelineResult result;
  InstallScenario(config);

  volatile LONG written = 0;
  volatile LONG failed = 0;
  double lastWriteEnd = 0;
  TSaveThread::Options options;
  options.Encoders = config.Encoders;
  // The station's own writer (SaveToFile through FreeImage), timed page by page.
  // The station's writer: each side's small picture, and a look for blank sides when asked.
  TSideWriterOptions sides;
  sides.Written = [](TSideWritten &&) {};
  const TSaveThread::TPageWriter sideWriter = SideWriter(sides);
  options.Writer = [&](TSaveRec &rec) {
    TStopwatch watch;
    TPageWriteResult saved = config.Plain ? WritePage(rec) : sideWriter(rec);
    result.WriterMs.Add(watch.ElapsedMs());
    lastWriteEnd = NowMs();
    ::InterlockedIncrement(saved.Written() ? &written : &failed);
    return saved;
  };
  options.ErrorBox = [&](const std::string &message) {
    std::printf("  writer error: %s\n", message.c_str());
    ::InterlockedIncrement(&failed);
  };
  TSaveThread writer(options);
  std::unique_ptr<TPageSectionKeeper> spares; // as the station keeps them
  if (!config.NoSpareSections)
    spares = std::make_unique<TPageSectionKeeper>();

  TPageHandOff pages([&] { return config.OutputFolder; },
                     [&](std::unique_ptr<TSaveRec> rec) {
                       rec->SetBlankAside = config.BlankAside;
                       TStopwatch watch;
                       writer.QueuePage(std::move(rec));
                       result.QueueMs += watch.ElapsedMs();
                     },
                     TPageHandOff::LocalClock,
                     [&](TSaveRec &rec, const TScannedPage &page) {
                       TStopwatch watch;
                       TPageHandOff::ImportWithGdi(rec, page);
                       result.ImportMs += watch.ElapsedMs();
                     });
  TPageProgress progress(config.ProgressBar);
  TBatchCounts counts;
  TCountsLine countsLine(config.CountsLabel);
  if (!config.Plain)
    progress.SetCompanion([&] { countsLine.Paint(); });

  TKestraTwain twain;
  twain.LoadTwainLibrary();
  if (!TimeSourceManager(twain)) {
    result.Failure = "TWAIN_32.DLL not loaded";
    return result;
  }
  twain.SetSourceManagerLoaded(true);
  TTwainSource *scanner = OpenScanner(twain);
  if (!scanner) {
    result.Failure = "no KV-S scanner";
    return result;
  }
  TMemorySampler *sampling = nullptr; // from Enable on
  twain.OnTwainAcquire = [&](TKestraTwain *, int, TTwainBitmap &image, bool &) {
    TStopwatch watch;
    TScannedPage page; // as the station's scanner link hands it on
    if (image.Jpeg().empty()) {
      page.Bitmap = image.Handle();
      if (!config.CopyPages)
        page.TakeBitmap = [&image] { return TakePageSection(image); };
    } else {
      page.Jpeg = &image.Jpeg();
    }
    page.Batch = image.Batch;
    page.IndexInBatch = image.IndexInBatch;
    pages.HandlePage(page);
    if (!config.Plain) {
      counts.Page(image.Batch, !pages.BackSide);
      countsLine.Set(counts.Text(writer.QueuedCount()));
    }
    result.HandlerMs += watch.ElapsedMs();
    if (++result.PagesDelivered == config.MarkPage && sampling) {
      result.MemoryAtMark = sampling->SoFar();
      result.PeakQueuedBytesAtMark = writer.PeakQueuedBytes();
    }
  };
  TProgressGate gate;
  if (config.Progress)
    // As the station: the gate drops most row reports where they arrive; what passes is timed.
    twain.OnStripsProgress = [&](TTwainSource *, int, HBITMAP, int current, int total) {
      if (!gate.Pass(current, total))
        return;
      TStopwatch watch;
      progress.Show(current, total);
      result.ProgressMs += watch.ElapsedMs();
      ++result.ProgressCalls;
    };
  twain.OnAcquireError = [&](TKestraTwain *, int, int, int) { ++result.TransferErrors; };

  TMemorySampler sampler;
  sampling = &sampler;
  TProgressWindow::ResetPaints();
  const double start = NowMs();
  scanner->Enable(false, false);
  ResetSourceTime(); // from here on, only what the notifications' dispatch spends in the source
  const HWND notifications = twain.VirtualWindow();
  for (;;) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      const bool timed = msg.hwnd == notifications;
      const double dispatchStart = timed ? NowMs() : 0;
      ::DispatchMessageA(&msg);
      if (timed)
        result.UiMs += NowMs() - dispatchStart;
      if (std::exception_ptr failure = TakeParkedTwainException()) {
        try {
          std::rethrow_exception(failure);
        } catch (const std::exception &e) {
          result.Failure = e.what();
        } catch (...) {
          result.Failure = "unknown exception";
        }
      }
    }
    const bool batchOver = !scanner->Enabled();
    if (batchOver && written + failed >= result.PagesDelivered)
      break;
    if (NowMs() - start > kGiveUpMs) {
      result.Failure = "gave up waiting";
      break;
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, batchOver ? 5 : 50, QS_ALLINPUT);
  }
  result.EndToEndMs = (written > 0 ? lastWriteEnd : NowMs()) - start;
  result.Memory = sampler.Stop();
  // The progress handler is timed a call at a time: the timing's own clock reads are not its cost.
  result.ProgressMs = std::max(0.0, result.ProgressMs - result.ProgressCalls * ClockReadMs());
  result.Paints = TProgressWindow::Paints().Count;
  result.PaintMs = TProgressWindow::Paints().Ms;
  result.PeakQueuedBytes = writer.PeakQueuedBytes();
  const TSourceTime source = SourceTime();
  result.SourceMs = source.Ms;
  result.Strips = source.Strips;
  result.PagesWritten = written;
  result.Completed = result.Failure.empty() && written == config.Pages;
  testsupport::UseScenarioFile("");
  return result;
}
