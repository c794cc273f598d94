// The page pipeline's speed and memory against the machine's floor: A4 pages at 300 dpi, RGB and
// grey, from the virtual scanner at full speed through Wine's source manager, memory transfer,
// the station's page hand-off and its writer down to JPEG files.
//
// Usage: pipeline_bench [pages] [--rgb | --grey] [--strip BYTES] [--jpeg] [--long] [--copy-pages]
//                       [--no-spare-sections] [--encoders N] [--blank-aside | --plain]
//                       [--drawing-scanner]
//   pages (default 200, both sides counted) per run; the memory check also runs a quarter of it.
//   --strip sets the scanner's preferred transfer buffer (default: the scanner's own, 16384).
//   --rgb or --grey runs one colour mode only, so its memory figures are its own.
//   --jpeg also runs the same pages sent as JPEG the scanner compressed, beside them uncompressed.
//   --copy-pages has the page handler copy every page, and --no-spare-sections makes no spare page
//   section beside the scan, as the station did before: each measures one speed-up on its own.
//   --blank-aside has the writer look for blank sides as with the station's box ticked; --plain
//   leaves out the counts line and the small pictures of the last sheet, as the station was before.
//   --long runs only one long batch of `pages` (e.g. 1000) as the station scans it, and compares
//   the peak private bytes at its end with the peak up to page 200: a page's memory must not stay.
//   --encoders sets the threads that encode ahead of the writer (default: as the station sizes
//   them from the processor count); each mode also runs with the writer alone, for comparison.
//   --drawing-scanner has the virtual scanner draw every side on this PC, which costs about what
//   an encode does; by default it draws one sheet and sends it again, so that, as with a real
//   device, the PC's share of the scanner is the copy into the station's buffers.
#include "bench/BenchClock.h"
#include "bench/Floor.h"
#include "bench/MemorySampler.h"
#include "bench/PatternPage.h"
#include "bench/PipelineRun.h"
#include "bench/ProgressWindow.h"
#include "bench/StripCopyTime.h"
#include "bench/TempFolder.h"
#include "writer/uSaveThread.h"

#include <FreeImage.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

struct TArguments {
  int Pages = 200;
  uint32_t StripBytes = 0;
  // Colour modes to run; each in a process of its own keeps one mode's heap out of the other's
  // memory figures.
  bool Rgb = true;
  bool Grey = true;
  bool Jpeg = false;
  bool Long = false;
  bool CopyPages = false;
  bool NoSpareSections = false;
  size_t Encoders = EncodersForThisMachine();
  bool BlankAside = false;
  bool Plain = false;
  bool DrawingScanner = false;
};

// Whole duplex sheets: the scanner feeds sheets, two pages each.
int EvenPages(int pages) { return std::max(2, (pages + 1) / 2 * 2); }

TArguments ParseArguments(int argc, char **argv) {
  TArguments arguments;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rgb") == 0)
      arguments.Grey = false;
    else if (std::strcmp(argv[i], "--grey") == 0)
      arguments.Rgb = false;
    else if (std::strcmp(argv[i], "--jpeg") == 0)
      arguments.Jpeg = true;
    else if (std::strcmp(argv[i], "--long") == 0)
      arguments.Long = true;
    else if (std::strcmp(argv[i], "--copy-pages") == 0)
      arguments.CopyPages = true;
    else if (std::strcmp(argv[i], "--no-spare-sections") == 0)
      arguments.NoSpareSections = true;
    else if (std::strcmp(argv[i], "--encoders") == 0 && i + 1 < argc)
      arguments.Encoders = static_cast<size_t>(std::strtoul(argv[++i], nullptr, 0));
    else if (std::strcmp(argv[i], "--blank-aside") == 0)
      arguments.BlankAside = true;
    else if (std::strcmp(argv[i], "--drawing-scanner") == 0)
      arguments.DrawingScanner = true;
    else if (std::strcmp(argv[i], "--plain") == 0)
      arguments.Plain = true;
    else if (std::strcmp(argv[i], "--strip") == 0 && i + 1 < argc)
      arguments.StripBytes = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
    else if (std::atoi(argv[i]) > 0)
      arguments.Pages = EvenPages(std::atoi(argv[i]));
  }
  return arguments;
}

double Megabytes(size_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

unsigned Processors() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return info.dwNumberOfProcessors;
}

double PagesPerSecond(const TPipelineResult &r) { return r.PagesWritten / (r.EndToEndMs / 1000.0); }

// The user-interface thread's own time a page (the scanner's and the source manager's included),
// without its waits for room in the writer's queue.
double UiOwnMs(const TPipelineResult &r) {
  return r.PagesDelivered > 0 ? (r.UiMs - r.QueueMs) / r.PagesDelivered : 0.0;
}

// What `processors` of this machine's speed can reach: each encodes at one encoder's rate, less
// the share the user-interface thread takes, which itself can go no faster than its own time a page.
double MachineLimit(unsigned processors, double encodeMs, double uiMs) {
  return std::min(processors * 1000.0 / (encodeMs + uiMs), 1000.0 / uiMs);
}

// What Windows reports as PrivateUsage; Wine reports it as PagefileUsage (and PrivateUsage 0).
size_t PrivateBytes(const TMemoryPeaks &peaks) { return std::max(peaks.PrivateUsage, peaks.PagefileUsage); }

struct TFloor {
  double MemcpyMs = 0;
  double EncodeMs = 0;
};

// The floor's own samples, taken before the runs and again after each: the neighbours of this
// machine come and go, and a floor of one moment would make every ratio of a later run wrong.
class TFloorMeter {
public:
  TFloorMeter(bool rgb, uint32_t stripBytes)
      : Image(NewPatternPage(kA4Width, kA4Height, rgb ? 24 : 8, 1)), Rgb(rgb), StripBytes(stripBytes) {}
  ~TFloorMeter() { FreeImage_Unload(Image); }
  TFloorMeter(const TFloorMeter &) = delete;
  TFloorMeter &operator=(const TFloorMeter &) = delete;

  void Sample(int copies, int encodes) {
    // The copies are cheap and noisy: more of them steady the median.
    for (int i = 0; i < copies; ++i)
      Copy.Add(TimeMemcpyMs(Image));
    // Each from memory too: the writer's pages were scanned hundreds of megabytes ago.
    for (int i = 0; i < encodes; ++i) {
      EvictCaches();
      Encode.Add(TimeJpegEncodeMs(Image));
    }
  }
  TFloor Floor() const { return {Copy.Median(), Encode.Median()}; }
  void PrintFirst() {
    TTimings strips;
    for (int i = 0; i < 5; ++i)
      strips.Add(TimeStripCopyMs(kA4Width, kA4Height, Rgb ? 24 : 8, StripBytes ? StripBytes : 16384));
    std::printf("\nFloor for one %s page: memcpy %.2f ms (median of %zu), FreeImage JPEG encode to memory "
                "%.2f ms (of %zu); sampled again after every run\n",
                Rgb ? "RGB" : "grey", Copy.Median(), Copy.Samples.size(), Encode.Median(),
                Encode.Samples.size());
    std::printf("  (the layer's strip copy alone, no TWAIN, into touched rows: %.2f ms = %.2f x memcpy)\n",
                strips.Median(), strips.Median() / Copy.Median());
  }

private:
  FIBITMAP *Image;
  bool Rgb;
  uint32_t StripBytes;
  TTimings Copy, Encode;
};

void PrintRun(const TPipelineConfig &config, const TPipelineResult &r, const TFloor &floor) {
  std::printf("\n%s%s, %d pages (%d duplex sheets), progress handler %s, the writer and %zu encoders; floor "
              "so far: memcpy %.2f ms, encode %.2f ms:\n",
              config.Rgb ? "RGB 24-bit" : "Grey 8-bit", config.Jpeg ? " sent as the scanner's JPEG" : "",
              config.Pages, (config.Pages + 1) / 2, config.Progress ? "on (real progress control)" : "off",
              config.Encoders, floor.MemcpyMs, floor.EncodeMs);
  if (!r.Completed)
    std::printf("  NOT COMPLETE: %s (delivered %d, written %d, transfer errors %d)\n", r.Failure.c_str(),
                r.PagesDelivered, r.PagesWritten, r.TransferErrors);
  const double pages = r.PagesDelivered > 0 ? r.PagesDelivered : 1;
  // Waiting for room in the writer's queue is the writer's pace, not work of the station's.
  const double ui = r.UiMs / pages, source = r.SourceMs / pages, wait = r.QueueMs / pages,
               ours = ui - source - wait;
  std::printf("  UI thread per page, whole batch dispatch       %8.2f ms\n", ui);
  std::printf("    inside source manager + scanner (%5.0f strips) %8.2f ms\n", r.Strips / pages, source);
  std::printf("    waiting for room in the writer's queue        %8.2f ms\n", wait);
  std::printf("    ours: transfer, strip copy, progress, hand-off %8.2f ms  = %.2f x memcpy\n", ours,
              ours / floor.MemcpyMs);
  std::printf("    page handler (name, import; without the wait) %8.2f ms  (import %.2f = %.2f x memcpy)\n",
              r.HandlerMs / pages - wait, r.ImportMs / pages, r.ImportMs / pages / floor.MemcpyMs);
  if (config.Progress)
    std::printf(
        "    progress handler (%5.0f reports a page passed) %8.2f ms  = %.1f%% of ours; %.2f paints a "
        "page, %.2f ms each\n",
        r.ProgressCalls / pages, r.ProgressMs / pages, 100.0 * r.ProgressMs / pages / ours, r.Paints / pages,
        r.Paints ? r.PaintMs / r.Paints : 0.0);
  std::printf("    rest: transfer loop and strip copy             %8.2f ms\n",
              ours - (r.HandlerMs / pages - wait) - r.ProgressMs / pages);
  std::printf("  writer per page (%s) median %8.2f ms  mean %8.2f ms  = %.2f x encode\n",
              config.Encoders ? "write, most encoded ahead" : "encode + write           ",
              r.WriterMs.Median(), r.WriterMs.Mean(), r.WriterMs.Median() / floor.EncodeMs);
  std::printf(
      "  end to end: %.2f pages/s (%.1f s from Enable to the last file); writer-bound floor %.2f pages/s\n",
      r.PagesWritten / (r.EndToEndMs / 1000.0), r.EndToEndMs / 1000.0, 1000.0 / floor.EncodeMs);
  std::printf("  peak private bytes %.0f MB (PagefileUsage; PrivateUsage %.0f MB), peak working set %.0f MB, "
              "peak queued pixels %.0f MB\n",
              Megabytes(PrivateBytes(r.Memory)), Megabytes(r.Memory.PrivateUsage),
              Megabytes(r.Memory.WorkingSet), Megabytes(r.PeakQueuedBytes));
}

// The station's pipeline with its encoders against the writer alone, in the same run, and against
// what the machine's processors can reach.
void PrintAgainstTheWriterAlone(const TPipelineResult &pool, const TPipelineResult &alone, size_t encoders,
                                const TFloor &floor) {
  const unsigned processors = Processors();
  const double ui = UiOwnMs(pool), limit = MachineLimit(processors, floor.EncodeMs, ui);
  std::printf("  => end to end with the writer and %zu encoders %.2f pages/s = %.2f x the writer alone (%.2f "
              "pages/s) in this run; %.0f%% of the machine's limit %.2f pages/s (%u processors at one "
              "encoder's %.2f pages/s, less the UI thread's %.2f ms a page)\n",
              encoders, PagesPerSecond(pool), PagesPerSecond(pool) / PagesPerSecond(alone),
              PagesPerSecond(alone), 100.0 * PagesPerSecond(pool) / limit, limit, processors,
              1000.0 / floor.EncodeMs, ui);
  std::printf(
      "     peak private bytes %.0f MB with the encoders, %.0f MB with the writer alone; pages waiting "
      "at most %.0f MB of the %.0f MB budget (%.0f MB alone)\n",
      Megabytes(PrivateBytes(pool.Memory)), Megabytes(PrivateBytes(alone.Memory)),
      Megabytes(pool.PeakQueuedBytes), Megabytes(kQueueBudgetBytes), Megabytes(alone.PeakQueuedBytes));
  std::printf(
      "     a PC of this machine's speed per core would reach %.2f pages/s with 4 processors, %.2f with "
      "8 (the UI thread alone allows %.2f)\n",
      MachineLimit(4, floor.EncodeMs, ui), MachineLimit(8, floor.EncodeMs, ui), 1000.0 / ui);
}

// Every page once, each back on its front's stamp: "Scan" + 17 digits + "F"/"B" + ".jpg".
void PrintSheets(const std::vector<std::string> &names) {
  std::map<std::string, std::string> sides; // stamp -> the sides written under it
  size_t unnamed = 0;
  for (const std::string &name : names) {
    if (name.size() != 26 || name.compare(0, 4, "Scan") != 0 || name.compare(22, 4, ".jpg") != 0)
      ++unnamed;
    else
      sides[name.substr(4, 17)] += name[21];
  }
  size_t paired = 0;
  for (const auto &stamp : sides)
    paired += stamp.second == "FB" || stamp.second == "BF";
  std::printf("  => %zu files: %zu sheets with front and back on one stamp, %zu stamps otherwise, %zu files "
              "not named as pages\n",
              names.size(), paired, sides.size() - paired, unnamed);
}

TPipelineResult Run(TPipelineConfig config, const TArguments &arguments, const TBenchFolder &folder,
                    const TProgressWindow &window, TFloorMeter &floor, bool print = true) {
  config.StripBytes = arguments.StripBytes;
  config.CopyPages = arguments.CopyPages;
  config.NoSpareSections = arguments.NoSpareSections;
  config.ProgressBar = window.Bar();
  config.CountsLabel = window.CountsLabel();
  config.BlankAside = arguments.BlankAside;
  config.Plain = arguments.Plain;
  config.DrawingScanner = arguments.DrawingScanner;
  config.OutputFolder = folder.Path();
  TPipelineResult result = RunPipeline(config);
  floor.Sample(5, 3);
  if (print)
    PrintRun(config, result, floor.Floor());
  if (config.MarkPage)
    PrintSheets(folder.FileNames());
  folder.Empty();
  return result;
}

} // namespace

int main(int argc, char **argv) {
  const TArguments arguments = ParseArguments(argc, argv);
  FreeImage_Initialise(TRUE);
  {
    TBenchFolder folder("tovik-pipeline-bench");
    TProgressWindow window;
    const PROCESS_MEMORY_COUNTERS_EX start = ProcessMemory();
    std::printf("pipeline_bench: A4 at 300 dpi (%d x %d), %d pages a run, scanner strips %s\n", kA4Width,
                kA4Height, arguments.Pages,
                arguments.StripBytes ? (std::to_string(arguments.StripBytes) + " bytes").c_str()
                                     : "of its default size");
    std::printf("The scanner %s\n", arguments.DrawingScanner
                                        ? "draws every side on this PC (about an encode's work a page)"
                                        : "draws one sheet and sends it again: this PC only copies, as "
                                          "with a real device");
    std::printf("Private bytes at start %.0f MB; queue budget of the writer %.0f MB\n",
                Megabytes(start.PrivateUsage), Megabytes(kQueueBudgetBytes));
    const int small = std::max(2, arguments.Pages / 4 / 2 * 2); // whole duplex sheets
    for (bool rgb : {true, false}) {
      if ((rgb && !arguments.Rgb) || (!rgb && !arguments.Grey))
        continue;
      TFloorMeter floor(rgb, arguments.StripBytes);
      floor.Sample(15, 5);
      floor.PrintFirst();
      TPipelineConfig config;
      config.Encoders = arguments.Encoders;
      config.Rgb = rgb;
      config.Pages = arguments.Pages;
      config.Progress = true;
      if (arguments.Long) {
        config.MarkPage = arguments.Pages >= 400 ? 200 : arguments.Pages / 5;
        const TPipelineResult run = Run(config, arguments, folder, window, floor);
        const double mark = Megabytes(PrivateBytes(run.MemoryAtMark)),
                     end = Megabytes(PrivateBytes(run.Memory));
        std::printf(
            "  => long batch: %d of %d pages written; peak private bytes %.0f MB up to page %d, %.0f MB "
            "at the end (%.3f x); of it pages waiting for the writer at most %.0f MB up to page %d, %.0f MB "
            "in the whole batch\n",
            run.PagesWritten, config.Pages, mark, config.MarkPage, end, mark > 0 ? end / mark : 0.0,
            Megabytes(run.PeakQueuedBytesAtMark), config.MarkPage, Megabytes(run.PeakQueuedBytes));
        continue;
      }
      const TPipelineResult withProgress = Run(config, arguments, folder, window, floor);
      config.Encoders = 0;
      const TPipelineResult alone = Run(config, arguments, folder, window, floor);
      config.Encoders = arguments.Encoders;
      PrintAgainstTheWriterAlone(withProgress, alone, arguments.Encoders, floor.Floor());
      // One pair moves with whatever else the machine does in those seconds: two more pairs, and
      // the median of the three ratios.
      TTimings ratios;
      ratios.Add(PagesPerSecond(withProgress) / PagesPerSecond(alone));
      for (int pair = 0; pair < 2; ++pair) {
        const double pool = PagesPerSecond(Run(config, arguments, folder, window, floor, false));
        config.Encoders = 0;
        ratios.Add(pool / PagesPerSecond(Run(config, arguments, folder, window, floor, false)));
        config.Encoders = arguments.Encoders;
      }
      std::printf(
          "  => the pool against the writer alone in %zu pairs of runs: %.2f, %.2f, %.2f x; median %.2f x\n",
          ratios.Samples.size(), ratios.Samples[0], ratios.Samples[1], ratios.Samples[2], ratios.Median());
      config.Progress = false;
      const TPipelineResult without = Run(config, arguments, folder, window, floor);
      const double pages = arguments.Pages;
      std::printf("  => progress reports cost %.2f ms a page on the UI thread (%.2f with, %.2f without)\n",
                  (withProgress.UiMs - without.UiMs) / pages, withProgress.UiMs / pages,
                  without.UiMs / pages);
      config.Pages = small;
      const TPipelineResult fewer = Run(config, arguments, folder, window, floor);
      std::printf("  => peak private bytes: %.0f MB for %d pages, %.0f MB for %d pages\n",
                  Megabytes(PrivateBytes(fewer.Memory)), small, Megabytes(PrivateBytes(without.Memory)),
                  arguments.Pages);
      if (arguments.Jpeg) {
        config.Pages = arguments.Pages;
        config.Jpeg = true;
        const TPipelineResult jpeg = Run(config, arguments, folder, window, floor);
        config.Jpeg = false;
        auto perSecond = [](const TPipelineResult &r) { return r.PagesWritten / (r.EndToEndMs / 1000.0); };
        std::printf("  => the scanner's JPEG beside the same pages uncompressed (progress off): %.2f vs %.2f "
                    "pages/s; writer %.2f vs %.2f ms a page (median); inside the source manager and the "
                    "scanner %.2f vs %.2f ms a page\n",
                    perSecond(jpeg), perSecond(without), jpeg.WriterMs.Median(), without.WriterMs.Median(),
                    jpeg.SourceMs / pages, without.SourceMs / pages);
      }
    }
    const PROCESS_MEMORY_COUNTERS_EX end = ProcessMemory();
    std::printf("\nAs Wine reports them at the end: PrivateUsage %.0f MB, PagefileUsage %.0f MB, "
                "PeakPagefileUsage %.0f MB, WorkingSetSize %.0f MB, PeakWorkingSetSize %.0f MB\n",
                Megabytes(end.PrivateUsage), Megabytes(end.PagefileUsage), Megabytes(end.PeakPagefileUsage),
                Megabytes(end.WorkingSetSize), Megabytes(end.PeakWorkingSetSize));
  }
  FreeImage_DeInitialise();
  return 0;
}
