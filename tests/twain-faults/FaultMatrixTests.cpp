// The fault matrix: for every triplet the station sends from opening to closing, the strict
// virtual scanner fails it (TWRC_FAILURE with a condition code; TWRC_CANCEL where a transfer
// allows it), and the station's own scanner link, in process with Wine's source manager, runs
// "Go.." and a second "Go.." with paper. Each row holds when nothing crashes or hangs, every page
// the scanner delivered arrived, the failure reached the status line (where it is one the station
// reports), the source was back in state 4 after each batch and closed after shutdown, and the
// second batch worked wherever the failed triplet allows. It prints how many rows ran and held.
#include "app/ScannerLink.h"
#include "tests/support/ScannerScenario.h"
#include "twain/TwainRecords.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using testsupport::ScannerScenario;

namespace {

struct TFaultRow {
  const char *triplet;             // the failed triplet, as the scenario's fault key names it
  std::vector<std::string> faults; // scenario fault lines
  bool shown;                      // the failure reaches the status line
  bool secondBatchWorks;           // the failed triplet allows the next batch
  int stateAfterShutdown;          // 3 (closed) unless the source refuses to close
  // 4, or the state a source that keeps refusing to step back is left in after the first batch
  // (the layer's tries are bounded; the next "Go.." starts from there).
  int stateAfterFirst = 4;
};

// Each fault fires once (the `once` lines), or as often as it is listed: a driver that refuses a
// triplet again and again, then recovers.
std::vector<std::string> Times(int n, const std::string &line) { return std::vector<std::string>(n, line); }

const std::vector<TFaultRow> &Rows() {
  static const std::vector<TFaultRow> rows = {
      {"none", {}, false, true, 3},
      {"IDENTITY/OPENDS", {"CONTROL/IDENTITY/OPENDS once rc=FAILURE cc=MAXCONNECTIONS"}, true, true, 3},
      {"CAPABILITY/SET (ICAP_XFERMECH)",
       {"CONTROL/CAPABILITY/SET once rc=FAILURE cc=BADVALUE"},
       true,
       true,
       3},
      {"USERINTERFACE/ENABLEDS",
       {"CONTROL/USERINTERFACE/ENABLEDS once rc=FAILURE cc=OPERATIONERROR"},
       true,
       true,
       3},
      {"IMAGEINFO/GET", {"IMAGE/IMAGEINFO/GET page=2 rc=FAILURE cc=BUMMER"}, true, true, 3},
      {"SETUPMEMXFER/GET", {"CONTROL/SETUPMEMXFER/GET once rc=FAILURE cc=LOWMEMORY"}, false, true, 3},
      {"CAPABILITY/GET (page units)",
       {"CONTROL/CAPABILITY/GET once rc=FAILURE cc=CAPUNSUPPORTED"},
       false,
       true,
       3},
      {"IMAGEMEMXFER/GET first strip",
       {"IMAGE/IMAGEMEMXFER/GET page=2 once rc=FAILURE cc=PAPERJAM"},
       true,
       true,
       3},
      {"IMAGEMEMXFER/GET cancel",
       {"IMAGE/IMAGEMEMXFER/GET page=2 once rc=CANCEL cc=SUCCESS"},
       false,
       true,
       3},
      {"PENDINGXFERS/ENDXFER once",
       {"CONTROL/PENDINGXFERS/ENDXFER once rc=FAILURE cc=SEQERROR"},
       false,
       true,
       3},
      {"PENDINGXFERS/ENDXFER refused 6 times",
       Times(6, "CONTROL/PENDINGXFERS/ENDXFER once rc=FAILURE cc=SEQERROR"), true, true, 3, 7},
      {"PENDINGXFERS/RESET after a cancel",
       {"IMAGE/IMAGEMEMXFER/GET page=1 once rc=CANCEL cc=SUCCESS",
        "CONTROL/PENDINGXFERS/RESET once rc=FAILURE"},
       false,
       true,
       3},
      {"PENDINGXFERS/RESET refused 3 times",
       [] {
         std::vector<std::string> f = Times(3, "CONTROL/PENDINGXFERS/RESET once rc=FAILURE cc=SEQERROR");
         f.push_back("IMAGE/IMAGEMEMXFER/GET page=1 once rc=CANCEL cc=SUCCESS");
         return f;
       }(),
       false, true, 3},
      {"USERINTERFACE/DISABLEDS once",
       {"CONTROL/USERINTERFACE/DISABLEDS once rc=FAILURE cc=BUMMER"},
       false,
       true,
       3},
      {"USERINTERFACE/DISABLEDS refused 3 times",
       Times(3, "CONTROL/USERINTERFACE/DISABLEDS once rc=FAILURE cc=DENIED"), true, true, 3, 5},
      {"IDENTITY/CLOSEDS", {"CONTROL/IDENTITY/CLOSEDS rc=FAILURE cc=BUMMER"}, false, true, 4},
  };
  return rows;
}

class FaultMatrix : public ::testing::Test {
protected:
  void TearDown() override { testsupport::UseScenarioFile(""); }

  // The station's loop: messages offered to the scanner first, then dispatched.
  static void Pump(const std::function<bool()> &done, DWORD timeoutMs, bool &hung) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
      if (::GetTickCount() - start > timeoutMs) {
        hung = true;
        return;
      }
      MSG msg;
      while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!OfferScannerMessage(msg)) {
          ::TranslateMessage(&msg);
          ::DispatchMessageA(&msg);
        }
        try {
          RethrowScannerException();
        } catch (...) {
          hung = true; // nothing in these rows may raise
        }
      }
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    // Whatever the batch left posted (the manager's idle notice) is handled too.
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
      if (!OfferScannerMessage(msg))
        ::DispatchMessageA(&msg);
  }

  static std::string LastState(const std::vector<testsupport::LoggedTriplet> &log) {
    for (auto it = log.rbegin(); it != log.rend(); ++it)
      if (it->direction == "in" && !it->Note("state").empty())
        return it->Note("state");
    return "";
  }
  static size_t Delivered(const std::vector<testsupport::LoggedTriplet> &log) {
    size_t n = 0;
    for (const auto &t : log)
      n += t.direction == "in" && t.Is(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET) && t.rc == TWRC_XFERDONE;
    return n;
  }
};

TEST_F(FaultMatrix, EveryTripletFailedInTurn) {
  int run = 0, held = 0;
  for (const TFaultRow &row : Rows()) {
    SCOPED_TRACE(row.triplet);
    ++run;
    bool ok = true;
    auto check = [&](bool condition, const std::string &what) {
      EXPECT_TRUE(condition) << what;
      ok = ok && condition;
    };
    const std::string logPath = testsupport::FreshTempFile("twain-fault-matrix.log");
    ScannerScenario s;
    s.Devices({"KV-S1027C Virtual"}).Set("sheets", 2).Set("sides", 2).Set("refills", 1);
    s.Set("width", 21).Set("height", 7).Set("preferred_buffer", 64).Log(logPath);
    for (const std::string &fault : row.faults)
      s.Fault(fault);
    s.Install("twain-fault-matrix.ini");

    int pages = 0;
    std::vector<std::string> status;
    TScannerLink::Events events;
    events.OnPage = [&](const TScannedPage &) { ++pages; };
    events.OnError = [&](int rc, int cc) { status.push_back(std::to_string(rc) + "," + std::to_string(cc)); };
    std::unique_ptr<TScannerLink> link = CreateScannerLink(std::move(events));
    check(link->HasScanner(), "the virtual scanner is listed");
    bool hung = false;
    int pagesAfterFirst = 0;
    for (int batch = 0; batch < 2 && link->HasScanner(); ++batch) {
      link->Enable(false, false); // "Go.."
      Pump([&] { return !link->Enabled(); }, 10000, hung);
      check(!hung, "batch " + std::to_string(batch + 1) + " ended");
      const auto log = testsupport::ReadTripletLog(logPath);
      const int expected = batch == 0 ? row.stateAfterFirst : 4;
      check(LastState(log) == std::to_string(expected),
            "state after batch " + std::to_string(batch + 1) + ": " + LastState(log));
      check(static_cast<size_t>(pages) == Delivered(log), "every delivered page arrived");
      if (batch == 0)
        pagesAfterFirst = pages;
    }
    if (row.secondBatchWorks)
      check(pages - pagesAfterFirst >= 2, "the second batch scanned");
    check(!row.shown || !status.empty(), "the failure is shown");
    link.reset(); // shutdown
    const auto log = testsupport::ReadTripletLog(logPath);
    check(LastState(log) == std::to_string(row.stateAfterShutdown), "state after shutdown " + LastState(log));
    held += ok ? 1 : 0;
  }
  std::printf("fault matrix: %d scenarios run, %d held\n", run, held);
  EXPECT_EQ(run, held);
}

} // namespace
