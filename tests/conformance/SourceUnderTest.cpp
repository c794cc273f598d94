#include "tests/conformance/SourceUnderTest.h"

#include "tests/sane-source/SaneCases.h"
#include "tests/support/ScannerScenario.h"
#include "sources/virtual-scanner/PageImage.h"
#include "sources/virtual-scanner/Scenario.h"

#include <windows.h>

namespace conformance {

SourceUnderTest PrepareSource() {
  char kind[32] = {};
  const DWORD n = ::GetEnvironmentVariableA("TOVIK_CONFORMANCE_SOURCE", kind, sizeof kind);
  SourceUnderTest source;
  source.kind = n > 0 && n < sizeof kind ? kind : "virtual";
  if (source.kind == "sane") {
    // SANE's frontend tester on its flatbed: every scan is one grey page.
    sanetest::UseCase("grey");
    source.productName = "KV-S SANE test";
    source.expectedPage = [](int) {
      const sanetest::PnmPage pnm = sanetest::ReadPnm(sanetest::CasePath("grey", ".pnm"));
      return Pixels{int(pnm.width), int(pnm.height), 8, pnm.rows};
    };
  } else {
    // A simplex feeder that never runs out: every batch is one small page, page N the front of
    // sheet N.
    testsupport::ScannerScenario scenario;
    scenario.Set("sheets", 1).Set("sides", 1).Set("refills", 100000).Set("width", 40).Set("height", 30);
    scenario.Install("conformance.ini");
    source.productName = "KV-S1027C Virtual";
    source.expectedPage = [text = scenario.Text()](int page) {
      vscan::Scenario parsed;
      std::vector<std::string> errors;
      vscan::ParseScenario(text, parsed, errors);
      vscan::PageFormat format = vscan::FormatOf(parsed);
      format.padded = false;
      return Pixels{format.width, format.height, int(vscan::BitsPerPixel(format)),
                    vscan::TransferRows(format, page, 0, page)};
    };
  }
  return source;
}

} // namespace conformance
