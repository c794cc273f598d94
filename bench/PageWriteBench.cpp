// How long one A4 page takes to reach disk through the station's bitmap wrapper, beside what the
// machine cannot go below: a memcpy of the page and FreeImage's JPEG encode of the same pixels.
//
// Usage: page_write_bench [repetitions] [--encode-only]
//   --encode-only prints only the encode line; run with JSIMD_FORCENONE=1 to see the encode
//   without libjpeg-turbo's SIMD routines.
#include "bench/BenchClock.h"
#include "bench/DeviceBitmap.h"
#include "bench/Floor.h"
#include "bench/PatternPage.h"
#include "bench/TempFolder.h"
#include "image/FreeBitmap.h"
#include "writer/PageFile.h"
#include "writer/PageJournal.h"

#include <FreeImage.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct TArguments {
  int Repetitions = 5;
  bool EncodeOnly = false;
};

TArguments ParseArguments(int argc, char **argv) {
  TArguments arguments;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--encode-only") == 0)
      arguments.EncodeOnly = true;
    else if (std::atoi(argv[i]) > 0)
      arguments.Repetitions = std::atoi(argv[i]);
  }
  return arguments;
}

// GetDIBits as the import calls it, into an image that is already allocated (and written once).
double TimeGetDIBitsMs(HBITMAP section, FIBITMAP *image) {
  win::WindowDC screen(nullptr);
  TStopwatch watch;
  ::GetDIBits(screen.get(), section, 0, FreeImage_GetHeight(image), FreeImage_GetBits(image),
              FreeImage_GetInfo(image), DIB_RGB_COLORS);
  return watch.ElapsedMs();
}

std::string SimdSetting() {
  const char *value = std::getenv("JSIMD_FORCENONE");
  return value && std::strcmp(value, "1") == 0 ? "SIMD off (JSIMD_FORCENONE=1)" : "SIMD as built";
}

// The crash journal's part of one page: the three lines the station appends for it (queued, its
// name claimed, written), each handed to the system before the call returns.
TTimings TimeJournalPerPageMs(const TBenchFolder &folder, int pages) {
  TTimings perPage;
  TPageJournal journal(folder.Path(), {});
  const std::string name = folder.Path() + "\\Scan20260101000000000F.jpg";
  for (int i = 0; i < pages; ++i) {
    TStopwatch watch;
    const unsigned page = journal.Queued(name);
    journal.Claimed(page, name);
    journal.Written(page);
    perPage.Add(watch.ElapsedMs());
  }
  return perPage;
}

// One flush of a journal's line to the disk, which the journal does at most once a second.
TTimings TimeJournalFlushMs(const TBenchFolder &folder, int flushes) {
  TTimings each;
  win::UniqueFile file(::CreateFileA((folder.Path() + "\\flushed.journal").c_str(), GENERIC_WRITE, 0, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  const std::string line = "W 123\n";
  for (int i = 0; i < flushes; ++i) {
    DWORD written = 0;
    ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    TStopwatch watch;
    ::FlushFileBuffers(file.get());
    each.Add(watch.ElapsedMs());
  }
  return each;
}

// The median time of the page's SaveToFile; 0 when it could not be measured.
double BenchDepth(const char *title, int bpp, const TArguments &arguments, const TBenchFolder &folder) {
  FIBITMAP *image = NewPatternPage(kA4Width, kA4Height, bpp, 1);
  if (!image) {
    std::printf("%s: no memory for the page\n", title);
    return 0;
  }
  const double megabytes = static_cast<double>(PixelBytes(image)) / (1024.0 * 1024.0);
  TTimings copy, encode, import, save, allocate, copyBits, file;
  size_t encodedBytes = 0;
  for (int i = 0; i < arguments.Repetitions; ++i) {
    encode.Add(TimeJpegEncodeMs(image, &encodedBytes));
    if (arguments.EncodeOnly)
      continue;
    copy.Add(TimeMemcpyMs(image));
    win::UniqueBitmap section = NewDibSectionOf(image);
    TStopwatch allocateWatch;
    FIBITMAP *fresh = FreeImage_Allocate(kA4Width, kA4Height, bpp);
    allocate.Add(allocateWatch.ElapsedMs());
    copyBits.Add(TimeGetDIBitsMs(section.get(), fresh));
    FreeImage_Unload(fresh);
    TFreeWinBitmap page;
    TStopwatch importWatch;
    page.ImportDeviceBitmap(section.get());
    import.Add(importWatch.ElapsedMs());
    const std::string fileName = folder.Path() + "\\page" + std::to_string(i) + ".jpg";
    TStopwatch saveWatch;
    const bool saved = page.SaveToFile(fileName);
    save.Add(saveWatch.ElapsedMs());
    if (!saved)
      std::printf("  (SaveToFile failed for %s)\n", fileName.c_str());
    // The same number of bytes through the page file alone: what the writer adds to the encode.
    const std::vector<char> bytes(encodedBytes, 'x');
    TStopwatch fileWatch;
    WritePageFile(folder.Path() + "\\bytes" + std::to_string(i) + ".jpg",
                  [&](TPageFileSink &sink) { return sink.Write(bytes.data(), bytes.size()); });
    file.Add(fileWatch.ElapsedMs());
  }
  FreeImage_Unload(image);

  std::printf("%s, %d x %d, %.1f MB of pixels, JPEG %.2f MB, %s:\n", title, kA4Width, kA4Height, megabytes,
              static_cast<double>(encodedBytes) / (1024.0 * 1024.0), SimdSetting().c_str());
  PrintTimings("FreeImage JPEG encode to memory", encode);
  if (arguments.EncodeOnly)
    return 0;
  PrintTimings("memcpy of the page", copy);
  PrintTimings("ImportDeviceBitmap (DIB section -> wrapper)", import);
  PrintTimings("  of it: FreeImage_Allocate of the page", allocate);
  PrintTimings("  of it: GetDIBits into an allocated page", copyBits);
  PrintTimings("TFreeWinBitmap::SaveToFile (.jpg)", save);
  PrintTimings("  of it: the page file (same bytes, flushed)", file);
  std::printf("  %-44s %.2f x encode, %.2f x memcpy\n", "SaveToFile against the floor",
              save.Median() / encode.Median(), save.Median() / copy.Median());
  std::printf("  %-44s %.2f x memcpy\n", "import against the floor", import.Median() / copy.Median());
  return save.Median();
}

} // namespace

int main(int argc, char **argv) {
  const TArguments arguments = ParseArguments(argc, argv);
  FreeImage_Initialise(TRUE);
  {
    TBenchFolder folder("tovik-page-write-bench");
    std::printf("page_write_bench: A4 at 300 dpi, %d repetitions (medians and means of the same run)\n",
                arguments.Repetitions);
    const double rgbSave = BenchDepth("RGB page", 24, arguments, folder);
    const double greySave = BenchDepth("Grey page", 8, arguments, folder);
    if (!arguments.EncodeOnly && rgbSave > 0 && greySave > 0) {
      const TTimings journal = TimeJournalPerPageMs(folder, 200);
      const TTimings flush = TimeJournalFlushMs(folder, 50);
      std::printf("Crash journal (three lines a page, a flush to disk at most once a second):\n");
      PrintTimings("journal lines of one page", journal);
      PrintTimings("one flush of the journal to disk", flush);
      // At the writer's pace a second holds 1000 / write pages: each page's share of one flush.
      for (const auto &depth : {std::make_pair("RGB", rgbSave), std::make_pair("grey", greySave)}) {
        const double perPage = journal.Mean() + flush.Mean() * depth.second / 1000;
        std::printf("  %-44s %.3f ms a page, %.2f %% of the %s page's write\n", "journal against the writer",
                    perPage, 100 * perPage / depth.second, depth.first);
      }
    }
  }
  FreeImage_DeInitialise();
  return 0;
}
