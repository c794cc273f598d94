// The progress bar during a transfer: one report per row, few paints, always ending full.
#include "app/ProgressBar.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// A real progress control whose PBM_SETPOS messages are counted.
class CountedBar {
public:
  CountedBar() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    Bar = ::CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 433, 17, nullptr, nullptr,
                            ::GetModuleHandleA(nullptr), nullptr);
    Original =
        reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(Bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Count)));
    ::SetPropA(Bar, "counted", this);
  }
  ~CountedBar() { ::DestroyWindow(Bar); }

  int Maximum() const { return static_cast<int>(::SendMessageA(Bar, PBM_GETRANGE, FALSE, 0)); }
  int Position() const { return static_cast<int>(::SendMessageA(Bar, PBM_GETPOS, 0, 0)); }

  HWND Bar = nullptr;
  int Positions = 0;

private:
  static LRESULT CALLBACK Count(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *self = static_cast<CountedBar *>(::GetPropA(window, "counted"));
    if (self && message == PBM_SETPOS)
      ++self->Positions;
    return ::CallWindowProcA(self ? self->Original : ::DefWindowProcA, window, message, wParam, lParam);
  }
  WNDPROC Original = nullptr;
};

// Paints cost nothing on this clock, however busy the machine is.
double FreePaints() { return 0.0; }

// The reports the transfer gives for a page of `rows` rows: 1 .. rows, against rows - 1.
void ScanPage(TPageProgress &progress, int rows, DWORD &clock, DWORD msPerRow) {
  for (int row = 1; row <= rows; ++row) {
    progress.Show(row, rows - 1);
    clock += msPerRow;
  }
}

TEST(PageProgress, FastPagesArePaintedSeldomAndTheBarEndsWhereTheScanDid) {
  CountedBar bar;
  ASSERT_NE(bar.Bar, nullptr);
  DWORD clock = 1000;
  TPageProgress progress(
      bar.Bar, [&] { return clock; }, FreePaints);

  ScanPage(progress, 3508, clock, 0);
  EXPECT_EQ(bar.Maximum(), 3507);
  EXPECT_EQ(bar.Position(), bar.Maximum()) << "the first page of a batch ends full";
  EXPECT_EQ(bar.Positions, 2) << "its first row and its end";
  ScanPage(progress, 3508, clock, 0); // pages faster than the eye: no paint of their own
  ScanPage(progress, 3508, clock, 0);
  EXPECT_EQ(bar.Positions, 2);

  // A shorter page sets its own maximum and starts from its first row.
  progress.Show(1, 159);
  EXPECT_EQ(bar.Maximum(), 159);
  EXPECT_EQ(bar.Position(), 1);
  for (int row = 2; row <= 160; ++row)
    progress.Show(row, 159);
  EXPECT_EQ(bar.Position(), 1);
  progress.ShowPending(); // as the station does at the batch's end
  EXPECT_EQ(bar.Position(), 159);
  const int painted = bar.Positions;
  progress.ShowPending();
  EXPECT_EQ(bar.Positions, painted) << "a position already shown is not painted again";
}

TEST(PageProgress, SlowRowsAreEachShownAndPagesFedSlowlyEachEndFull) {
  CountedBar bar;
  DWORD clock = 0;
  TPageProgress progress(
      bar.Bar, [&] { return clock; }, FreePaints);
  ScanPage(progress, 50, clock, TPageProgress::kRepaintIntervalMs);
  EXPECT_EQ(bar.Positions, 49) << "each position once";
  EXPECT_EQ(bar.Position(), 49);

  // A clock of coarse ticks (Windows' GetTickCount) that moves on during a paint must not make
  // the paint look slow and hold the next positions back.
  {
    CountedBar coarse;
    DWORD ticks = 0;
    TPageProgress slowClock(
        coarse.Bar, [&] { return ticks += 16; }, FreePaints);
    for (int row = 1; row <= 10; ++row) {
      slowClock.Show(row, 100);
      ticks += TPageProgress::kRepaintIntervalMs;
    }
    EXPECT_EQ(coarse.Positions, 10);
  }

  // Where a paint costs 10 ms (a remote screen), positions within a page are shown 50 times as far
  // apart, so that painting takes at most a fiftieth of the scan.
  {
    CountedBar costly;
    DWORD ticks = 0;
    double paintClock = 0;
    TPageProgress slowPaints(
        costly.Bar, [&] { return ticks; }, [&] { return paintClock += 10; });
    for (int row = 1; row <= 20; ++row) {
      slowPaints.Show(row, 100);
      ticks += TPageProgress::kRepaintIntervalMs;
    }
    EXPECT_EQ(costly.Positions, 4) << "rows 1, 6, 11 and 16";
  }

  // A scanner that transfers fast but feeds a sheet every half second: every page ends full.
  for (int page = 0; page < 3; ++page) {
    clock += 500;
    bar.Positions = 0;
    ScanPage(progress, 3508, clock, 0);
    EXPECT_EQ(bar.Position(), 3507) << page;
    EXPECT_LE(bar.Positions, 2) << page;
  }
}

// The station drops most row reports before they reach the bar; what passes must still start
// each page, move evenly and end it, whatever the page's length.
TEST(ProgressGate, PassesEachPagesFirstRowEvenStepsAndItsLastRow) {
  TProgressGate gate;
  for (int rows : {3508, 3508, 50, 1, 7000}) {
    std::vector<int> passed;
    for (int row = 1; row <= rows; ++row)
      if (gate.Pass(row, rows - 1))
        passed.push_back(row);
    ASSERT_FALSE(passed.empty());
    EXPECT_EQ(passed.front(), 1) << rows;
    EXPECT_EQ(passed.back(), rows) << rows;
    EXPECT_LE(passed.size(), static_cast<size_t>(TProgressGate::kSteps) + 2) << rows;
    EXPECT_GE(passed.size(), static_cast<size_t>(std::min(rows, TProgressGate::kSteps / 2))) << rows;
    for (size_t i = 1; i < passed.size(); ++i)
      ASSERT_LE(passed[i] - passed[i - 1], rows / TProgressGate::kSteps + 1) << rows << " at " << passed[i];
  }
}

} // namespace
