// What the SANE source reads from files any program of the user can write: its ini file and the
// kept device list, and the names it lists devices under. The list it keeps must read back as
// it was; the names must end up distinct and within TWAIN's 33 characters.
#include "sources/sane-source/Config.h"
#include "tests/fuzz/FuzzInput.h"

#include <algorithm>
#include <cstdlib>
#include <string>

using namespace sanesrc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  std::vector<std::string> errors;
  const BridgeConfig config = ParseConfig(text, errors);
  for (const DeviceConfig &d : config.devices)
    for (const auto &option : d.options)
      for (SaneType type : {SaneType::Bool, SaneType::Int, SaneType::Fixed})
        (void)OptionWord(type, option.second);

  std::vector<DeviceEntry> devices;
  const std::string key = "key";
  if (!ParseDeviceCache("key\n" + text, key, devices)) {
    // Not a list: many devices of one model instead, named from the input.
    FuzzInput in(data, size);
    const int count = in.Take<uint8_t>() % 120; // more than 100 share every name's first 31 characters
    for (int i = 0; i < count; ++i)
      devices.push_back(DeviceEntry{std::string(31, 'n') + char('0' + in.Take<uint8_t>() % 4), "Vendor",
                                    in.Take<uint8_t>() % 2 ? "Model" : ""});
  }
  const std::string kept = FormatDeviceCache(key, devices);
  std::vector<DeviceEntry> again;
  if (!kept.empty() && (!ParseDeviceCache(kept, key, again) || again.size() != devices.size()))
    std::abort(); // the kept list does not read back
  const std::vector<std::string> names = ProductNames(devices, config);
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i].size() > 33 || std::count(names.begin(), names.end(), names[i]) != 1)
      std::abort(); // a name the source manager would cut or stop at
  return 0;
}
