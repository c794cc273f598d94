// The process's private bytes, sampled by a thread of its own while a run goes on.
#pragma once

#include "win/Owners.h"

#include <windows.h>

#include <psapi.h>

#include <cstddef>

struct TMemoryPeaks {
  // Largest values seen of PROCESS_MEMORY_COUNTERS_EX. Wine 8 leaves PrivateUsage at 0 and
  // reports the process's private (anonymous) memory as PagefileUsage.
  size_t PrivateUsage = 0;
  size_t PagefileUsage = 0;
  size_t WorkingSet = 0;
};

// PROCESS_MEMORY_COUNTERS_EX of this process right now.
PROCESS_MEMORY_COUNTERS_EX ProcessMemory();

class TMemorySampler {
public:
  explicit TMemorySampler(DWORD intervalMs = 10);
  ~TMemorySampler();
  TMemorySampler(const TMemorySampler &) = delete;
  TMemorySampler &operator=(const TMemorySampler &) = delete;

  // Stops sampling and returns the peaks of the run.
  TMemoryPeaks Stop();
  // The peaks so far, while the run goes on.
  TMemoryPeaks SoFar();

private:
  static DWORD WINAPI ThreadEntry(void *self);
  void Sample();

  DWORD IntervalMs;
  win::CriticalSection Guard; // Peaks: written by the sampling thread, read by SoFar
  TMemoryPeaks Peaks;
  win::UniqueHandle StopEvent;
  win::UniqueHandle Thread;
};
