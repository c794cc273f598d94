#include "bench/Floor.h"

#include "bench/BenchClock.h"
#include "bench/PatternPage.h"

#include <cstring>
#include <memory>
#include <vector>

void EvictCaches() {
  // Three times the largest cache of this machine, and freed again: held, it would count in the
  // memory figures of the runs.
  std::vector<BYTE> scratch(96u << 20, 1);
  volatile BYTE sink = scratch[scratch.size() / 2];
  (void)sink;
}

double TimeMemcpyMs(FIBITMAP *image) {
  const size_t bytes = PixelBytes(image);
  static std::vector<BYTE> target;
  if (target.size() < bytes)
    target.assign(bytes, 1); // touched once, so page faults are not counted
  EvictCaches();
  TStopwatch watch;
  std::memcpy(target.data(), FreeImage_GetBits(image), bytes);
  const double ms = watch.ElapsedMs();
  // Keeps the copy from being optimised away.
  volatile BYTE sink = target[bytes / 2];
  (void)sink;
  return ms;
}

namespace {
struct MemoryClose {
  void operator()(FIMEMORY *memory) const { FreeImage_CloseMemory(memory); }
};
} // namespace

double TimeJpegEncodeMs(FIBITMAP *image, size_t *bytes) {
  std::unique_ptr<FIMEMORY, MemoryClose> memory(FreeImage_OpenMemory());
  TStopwatch watch;
  FreeImage_SaveToMemory(FIF_JPEG, image, memory.get(), 0);
  const double ms = watch.ElapsedMs();
  if (bytes)
    *bytes = static_cast<size_t>(FreeImage_TellMemory(memory.get()));
  return ms;
}
