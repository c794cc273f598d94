#include "sources/sane-source/Config.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
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

// Tab-separated fields, an empty last one included (a device may have no model).
std::vector<std::string> Fields(const std::string &line) {
  std::vector<std::string> fields;
  size_t from = 0;
  for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
    fields.push_back(line.substr(from, tab - from));
  fields.push_back(line.substr(from));
  return fields;
}

// A number no option holds (NaN, infinite, beyond 32 bits): a mistake whatever the option is.
bool UnholdableNumber(const std::string &value) {
  const char *begin = value.c_str();
  char *end = nullptr;
  std::strtod(begin, &end);
  return end != begin && *end == '\0' && !OptionWord(SaneType::Int, value);
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
    else if (key.compare(0, 7, "option ") == 0 && !Trim(key.substr(7)).empty() && !UnholdableNumber(value))
      device.options.emplace_back(Trim(key.substr(7)), value);
    else
      errors.push_back("line " + std::to_string(number) + ": " + line);
  }
  return config;
}

std::vector<std::string> ProductNames(const std::vector<DeviceEntry> &devices, const BridgeConfig &config) {
  std::vector<std::string> names;
  std::set<std::string> taken;
  for (const DeviceEntry &d : devices) {
    const DeviceConfig *own = config.Find(d);
    std::string name = own && !own->productName.empty() ? own->productName : d.vendor + " " + d.model;
    name = name.substr(0, kProductNameChars);
    if (taken.count(name)) {
      const std::string suffix = " (" + d.name + ")";
      name = name.substr(0, kProductNameChars - std::min(suffix.size(), kProductNameChars)) + suffix;
      name = name.substr(0, kProductNameChars);
      // Numbered until distinct: every number gives another ending, so this ends.
      const std::string base = name;
      for (size_t n = 2; taken.count(name); ++n) {
        const std::string number = " #" + std::to_string(n);
        name = base.substr(0, kProductNameChars - number.size()) + number;
      }
    }
    taken.insert(name);
    names.push_back(name);
  }
  return names;
}

std::optional<int32_t> OptionWord(SaneType type, const std::string &value) {
  if (type == SaneType::Bool)
    return (value == "yes" || value == "true" || value == "1" || value == "on") ? 1 : 0;
  if (type != SaneType::Int && type != SaneType::Fixed)
    return std::nullopt;
  const char *begin = value.c_str();
  char *end = nullptr;
  const double number = std::strtod(begin, &end);
  if (end == begin || *end != '\0' || !std::isfinite(number))
    return std::nullopt;
  const double word = type == SaneType::Fixed ? number * (1 << kSaneFixedShift) : number;
  if (!(word >= -2147483648.0 && word <= 2147483647.0))
    return std::nullopt; // a fixed-point option holds below 32768 either way
  return static_cast<int32_t>(type == SaneType::Fixed ? std::floor(word + 0.5) : std::trunc(word));
}

std::string FormatDeviceCache(const std::string &key, const std::vector<DeviceEntry> &devices) {
  std::string text = key + "\n";
  for (const DeviceEntry &d : devices) {
    for (const std::string *field : {&d.name, &d.vendor, &d.model})
      if (field->find_first_of("\t\r\n") != std::string::npos)
        return std::string();
    text += d.name + "\t" + d.vendor + "\t" + d.model + "\n";
  }
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
