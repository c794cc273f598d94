#include "bench/BenchClock.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

double NowMs() {
  static const double ticksPerMs = [] {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / ticksPerMs;
}

double TTimings::Median() const {
  if (Samples.empty())
    return 0;
  std::vector<double> sorted = Samples;
  std::sort(sorted.begin(), sorted.end());
  const size_t middle = sorted.size() / 2;
  return sorted.size() % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

double TTimings::Sum() const { return std::accumulate(Samples.begin(), Samples.end(), 0.0); }

double TTimings::Mean() const { return Samples.empty() ? 0 : Sum() / static_cast<double>(Samples.size()); }

void PrintTimings(const std::string &label, const TTimings &timings) {
  std::printf("  %-44s median %8.2f ms  mean %8.2f ms  (n=%u)\n", label.c_str(), timings.Median(),
              timings.Mean(), static_cast<unsigned>(timings.Samples.size()));
}

double ClockReadMs() {
  static const double cost = [] {
    TTimings samples;
    for (int round = 0; round < 15; ++round) {
      const double start = NowMs();
      volatile double last = 0;
      for (int i = 0; i < 1000; ++i)
        last = NowMs();
      samples.Add((last - start) / 1000.0);
    }
    return samples.Median();
  }();
  return cost;
}
