// The virtual scanner's scenario file, whatever it holds, and the capabilities it then answers:
// each read with MSG_GET, so that every number the file gives passes through the containers.
#include "sources/common/TwainProtocol.h"
#include "sources/virtual-scanner/Capabilities.h"
#include "sources/virtual-scanner/PageImage.h"
#include "sources/virtual-scanner/Scenario.h"
#include "win/Owners.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  vscan::Scenario scenario;
  std::vector<std::string> errors;
  vscan::ParseScenario(std::string(reinterpret_cast<const char *>(data), size), scenario, errors);
  (void)vscan::FormatOf(scenario);
  vscan::CapabilityState state;
  dscommon::CapabilityTable table;
  vscan::AddCapabilities(table, scenario, state);
  for (TW_UINT16 cap : table.Supported()) {
    TW_CAPABILITY c{cap, TWON_DONTCARE16, nullptr};
    table.Answer(MSG_GET, c);
    win::UniqueGlobal answered(c.hContainer);
  }
  return 0;
}
