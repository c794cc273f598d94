#include "bench/MemorySampler.h"

#include <algorithm>

PROCESS_MEMORY_COUNTERS_EX ProcessMemory() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters),
                         sizeof counters);
  return counters;
}

TMemorySampler::TMemorySampler(DWORD intervalMs)
    : IntervalMs(intervalMs), StopEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  Sample();
  Thread.reset(::CreateThread(nullptr, 0, &TMemorySampler::ThreadEntry, this, 0, nullptr));
}

TMemorySampler::~TMemorySampler() { Stop(); }

TMemoryPeaks TMemorySampler::Stop() {
  if (Thread) {
    ::SetEvent(StopEvent.get());
    ::WaitForSingleObject(Thread.get(), INFINITE);
    Thread.reset();
    Sample();
  }
  return SoFar();
}

DWORD WINAPI TMemorySampler::ThreadEntry(void *self) {
  auto *sampler = static_cast<TMemorySampler *>(self);
  while (::WaitForSingleObject(sampler->StopEvent.get(), sampler->IntervalMs) == WAIT_TIMEOUT)
    sampler->Sample();
  return 0;
}

TMemoryPeaks TMemorySampler::SoFar() {
  win::Lock lock(Guard);
  return Peaks;
}

void TMemorySampler::Sample() {
  const PROCESS_MEMORY_COUNTERS_EX now = ProcessMemory();
  win::Lock lock(Guard);
  Peaks.PrivateUsage = std::max<size_t>(Peaks.PrivateUsage, now.PrivateUsage);
  Peaks.PagefileUsage = std::max<size_t>(Peaks.PagefileUsage, now.PagefileUsage);
  Peaks.WorkingSet = std::max<size_t>(Peaks.WorkingSet, now.WorkingSetSize);
}
