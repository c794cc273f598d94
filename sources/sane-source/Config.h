// The bridge's own configuration file, and the names under which SANE devices are listed.
//
//   # comment
//   [test:0]                    a SANE device name starts its section,
//   [Noname frontend-tester]    or its vendor and model (whatever name SANE gives it now)
//   name = KV-S SANE frontend   the product name to list it under
//   option mode = Color         an option set whenever the device is opened
#pragma once

#include "sources/sane-source/SaneValues.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sanesrc {

// A device as sane_get_devices lists it.
struct DeviceEntry {
  std::string name;
  std::string vendor;
  std::string model;
};

struct DeviceConfig {
  std::string device;
  std::string productName;
  std::vector<std::pair<std::string, std::string>> options; // in file order
};

struct BridgeConfig {
  std::vector<DeviceConfig> devices;
  // The section of the device's SANE name, else the one of its vendor and model.
  const DeviceConfig *Find(const DeviceEntry &device) const;
};

// Lines the parser did not understand are reported in `errors` and skipped.
BridgeConfig ParseConfig(const std::string &text, std::vector<std::string> &errors);

// The one device of `kept`'s vendor and model; nothing when none or several have them.
std::optional<size_t> FindByModel(const std::vector<DeviceEntry> &devices, const DeviceEntry &kept);

// The product name of each device, in order: the configured one, else "vendor model". Names stay
// distinct within the 33 characters TWAIN keeps (the source manager stops listing at the first
// repeat): a repeated name gets the device's own name appended.
std::vector<std::string> ProductNames(const std::vector<DeviceEntry> &devices, const BridgeConfig &config);

// An `option` line's value as the word SANE takes for a bool, int or fixed option (yes/no, a
// number); nothing when it is not one such an option can hold (not a number, NaN, beyond range).
std::optional<int32_t> OptionWord(SaneType type, const std::string &value);

// The device list as kept in the listing cache: the key it was made for, then a device a line.
// Empty when a device's name, vendor or model holds a tab or a line break, which the cache cannot.
std::string FormatDeviceCache(const std::string &key, const std::vector<DeviceEntry> &devices);
// False when the text is not a cache of that key.
bool ParseDeviceCache(const std::string &text, const std::string &key, std::vector<DeviceEntry> &devices);

} // namespace sanesrc
