// One batch through the station's real pipeline: the virtual scanner at full speed, Wine's source
// manager, memory transfer, the station's page hand-off and its writer, down to JPEG files.
#pragma once

#include "bench/BenchClock.h"
#include "bench/MemorySampler.h"

#include <windows.h>

#include <cstdint>
#include <string>

struct TPipelineConfig {
  bool Rgb = true;
  int Pages = 200;         // both sides counted, an even number: duplex sheets
  bool Progress = true;    // the station's progress bar handler, on a real progress control
  uint32_t StripBytes = 0; // the scanner's preferred buffer; 0 leaves the scanner's default
  bool Jpeg = false;       // the scanner sends JPEG it compressed itself (memory strips)
  // The scanner draws every side on the PC, at about an encode's cost. Otherwise it draws one
  // sheet and sends it again, so the PC only copies, as with a real device.
  bool DrawingScanner = false;
  HWND ProgressBar = nullptr;
  HWND CountsLabel = nullptr; // the station's counts, moved on page by page as it does
  bool BlankAside = false;    // the writer looks for blank sides, as with the station's box ticked
  bool Plain = false;         // no counts line, no small pictures, no look for blank sides
  std::string OutputFolder;
  int MarkPage = 0; // the memory peaks up to this page are kept too (0: none)
  // As the station did before: the page handler copies every page, and no spare page section is
  // made beside the scan. Each undoes one of the station's speed-ups, to measure it on its own.
  bool CopyPages = false;
  bool NoSpareSections = false;
  size_t Encoders = 0; // threads encoding ahead of the writer; 0: the writer encodes alone
};

struct TPipelineResult {
  bool Completed = false;
  std::string Failure;
  int PagesDelivered = 0;
  int PagesWritten = 0;
  int TransferErrors = 0;
  double UiMs = 0;     // dispatching the scanner's notifications: the whole batch
  double SourceMs = 0; // of that, inside the source manager and the data source
  uint64_t Strips = 0;
  double ImportMs = 0;   // page handler: ImportDeviceBitmap
  double QueueMs = 0;    // page handler: QueuePage
  double HandlerMs = 0;  // the whole page handler (naming, record, import, queue)
  double ProgressMs = 0; // inside the progress handler, less the timing's own clock reads
  uint64_t ProgressCalls = 0;
  int Paints = 0;        // positions the bar painted
  double PaintMs = 0;    // of ProgressMs, in those paints
  TTimings WriterMs;     // each page's save on the writer thread (only its write, once encoded ahead)
  double EndToEndMs = 0; // from Enable until the last file was written
  TMemoryPeaks Memory;
  TMemoryPeaks MemoryAtMark; // up to config.MarkPage
  size_t PeakQueuedBytesAtMark = 0;
  size_t PeakQueuedBytes = 0;
};

TPipelineResult RunPipeline(const TPipelineConfig &config);
