#include "sources/sane-source/Config.h"

#include <algorithm>
#include <sstream>

namespace sanesrc {
namespace {

constexpr size_t kProductNameChars = 33;

std::string Trim(const std::string &s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos)
    return std::string();
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::vector<std::string> Fields(const std::string &line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t'))
    fields.push_back(field);
  return fields;
}

} // namespace

const DeviceConfig *BridgeConfig::Find(const DeviceEntry &device) const {
  for (const DeviceConfig &d : devices)
    if (d.device == device.name)
      return &d;
  const std::string model = device.vendor + " " + device.model;
  for (const DeviceConfig &d : devices)
    if (d.device == model)
      return &d;
  return nullptr;
}

std::optional<size_t> FindByModel(const std::vector<DeviceEntry> &devices, const DeviceEntry &kept) {
  std::optional<size_t> found;
  for (size_t i = 0; i < devices.size(); ++i) {
    if (devices[i].vendor != kept.vendor || devices[i].model != kept.model)
      continue;
    if (found)
      return std::nullopt;
    found = i;
  }
  return found;
}

BridgeConfig ParseConfig(const std::string &text, std::vector<std::string> &errors) {
  BridgeConfig config;
  std::istringstream in(text);
  std::string raw;
  for (int number = 1; std::getline(in, raw); ++number) {
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#')
      continue;
    if (line.front() == '[' && line.back() == ']') {
      config.devices.push_back(DeviceConfig{Trim(line.substr(1, line.size() - 2)), "", {}});
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos || config.devices.empty()) {
      errors.push_back("line " + std::to_string(number) + ": " + line);
      continue;
    }
    const std::string key = Trim(line.substr(0, eq));
    const std::string value = Trim(line.substr(eq + 1));
    DeviceConfig &device = config.devices.back();
    if (key == "name")
      device.productName = value.substr(0, kProductNameChars);
    else if (key.compare(0, 7, "option ") == 0 && !Trim(key.substr(7)).empty())
      device.options.emplace_back(Trim(key.substr(7)), value);
    else
      errors.push_back("line " + std::to_string(number) + ": " + line);
  }
  return config;
}

std::vector<std::string> ProductNames(const std::vector<DeviceEntry> &devices, const BridgeConfig &config) {
  std::vector<std::string> names;
  for (const DeviceEntry &d : devices) {
    const DeviceConfig *own = config.Find(d);
    std::string name = own && !own->productName.empty() ? own->productName : d.vendor + " " + d.model;
    name = name.substr(0, kProductNameChars);
    if (std::find(names.begin(), names.end(), name) != names.end()) {
      const std::string suffix = " (" + d.name + ")";
      name = name.substr(0, kProductNameChars - std::min(suffix.size(), kProductNameChars)) + suffix;
      name = name.substr(0, kProductNameChars);
      for (int n = 2; std::find(names.begin(), names.end(), name) != names.end(); ++n)
        name = name.substr(0, kProductNameChars - 4) + " #" + std::to_string(n % 100);
    }
    names.push_back(name);
  }
  return names;
}

std::string FormatDeviceCache(const std::string &key, const std::vector<DeviceEntry> &devices) {
  std::string text = key + "\n";
  for (const DeviceEntry &d : devices)
    text += d.name + "\t" + d.vendor + "\t" + d.model + "\n";
  return text;
}

bool ParseDeviceCache(const std::string &text, const std::string &key, std::vector<DeviceEntry> &devices) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != key)
    return false;
  std::vector<DeviceEntry> read;
  while (std::getline(in, line)) {
    const std::vector<std::string> f = Fields(line);
    if (f.size() != 3)
      return false;
    read.push_back(DeviceEntry{f[0], f[1], f[2]});
  }
  devices = std::move(read);
  return true;
}

} // namespace sanesrc
