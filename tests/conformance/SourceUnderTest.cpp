#include "tests/conformance/SourceUnderTest.h"

#include "sources/virtual-scanner/PageImage.h"
#include "sources/virtual-scanner/Scenario.h"
#include "tests/fixtures/station-driver/StationDriver.h"
#include "tests/sane-source/SaneCases.h"
#include "tests/support/ScannerScenario.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>

namespace conformance {
namespace {
void WriteText(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}
} // namespace

SourceUnderTest PrepareSource() {
  char kind[32] = {};
  const DWORD n = ::GetEnvironmentVariableA("TOVIK_CONFORMANCE_SOURCE", kind, sizeof kind);
  SourceUnderTest source;
  source.kind = n > 0 && n < sizeof kind ? kind : "virtual";
  if (source.kind == "fixture") {
    // The fixture's KV-S1025C through the SANE source, as its backend presents it: a feeder with
    // duplex off, grey at 50 dpi. Its configuration folder is SANE_CONFIG_DIR of the run.
    static const std::string dir = e2e::WindowsPath(std::getenv("SANE_CONFIG_DIR")) + "\\";
    char temp[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, temp);
    ::DeleteFileA((std::string(temp) + "tovik-sane-devices.txt").c_str()); // another run's listing
    WriteText(dir + "sane-source.ini",
              "[Fixture KV-S1025C]\nname = KV-S fixture\noption mode = Gray\noption resolution = 50\n");
    ::SetEnvironmentVariableA("TOVIK_SANE_SOURCE_CONFIG", (dir + "sane-source.ini").c_str());
    source.productName = "KV-S fixture";
    source.loadFeeder = [](int sheets, const std::string &more) {
      static int loads = 0;
      WriteText(dir + "tovik-fixture.log", "");
      WriteText(dir + "tovik-fixture.conf", "devices kvs1025\nsheets " + std::to_string(sheets) + "\nload " +
                                                std::to_string(++loads) + "\n" + more);
    };
    source.loadFeeder(1, "");
    source.deviceLog = [] { return e2e::ReadFileText(dir + "tovik-fixture.log"); };
    source.optionLine = [](TW_UINT16 cap, double value) {
      const char *modes[] = {"Lineart", "Gray", "Color"};
      switch (cap) {
      case CAP_DUPLEXENABLED:
        return "option duplex = " + std::to_string(value != 0);
      case 0x1007: // CAP_AUTOFEED
        return std::string("option feeder-mode = ") + (value != 0 ? "continuous" : "single");
      case ICAP_PIXELTYPE:
        return value >= 0 && value <= 2 ? std::string("option mode = ") + modes[int(value)] : "?";
      case ICAP_XRESOLUTION:
      case ICAP_YRESOLUTION:
        return "option resolution = " + std::to_string(int(value));
      default:
        return std::string();
      }
    };
  } else if (source.kind == "sane") {
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
