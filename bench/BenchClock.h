// Timing for the benchmarks: the performance counter, and the median and mean of repeated runs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

double NowMs();

class TStopwatch {
public:
  TStopwatch() : Start(NowMs()) {}
  double ElapsedMs() const { return NowMs() - Start; }

private:
  double Start;
};

// What one clock read costs, measured once (a median of many). A TStopwatch's interval holds about
// one read, so that many short timings can be corrected for it.
double ClockReadMs();

struct TTimings {
  std::vector<double> Samples;
  void Add(double ms) { Samples.push_back(ms); }
  double Median() const;
  double Mean() const;
  double Sum() const;
};

// "label: median 12.34 ms, mean 12.56 ms (n=5)".
void PrintTimings(const std::string &label, const TTimings &timings);
