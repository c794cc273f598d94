// The bridge's hold on SANE: the library (initialised once per load of the module), the device
// list (cached on disk, since listing every backend can take seconds), and an open device with its
// options and the reading of one page.
#pragma once

#include "sources/sane-source/Config.h"
#include "sources/sane-source/OptionCaps.h"
#include "sources/sane-source/PageRows.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace sanesrc {

// A file of at most 1 MiB, and how many seconds ago it was written.
bool ReadTextFile(const std::string &path, std::string &text, unsigned &ageSeconds);

// The devices SANE lists. From the cache file when it was written for the same SANE
// configuration less than kDeviceCacheSeconds ago, unless `fresh`; a fresh listing that found a
// device rewrites it.
constexpr unsigned kDeviceCacheSeconds = 300;
std::vector<DeviceEntry> ListDevices(bool fresh);

// A page read from the device: the SANE status that ended it (Good when the page is whole), the
// rows, the resolution it was scanned at across and down, and whether a jam was a double feed by
// the device's own sensor.
struct PageResult {
  int status = 0;
  PageRows page;
  int xDotsPerInch = 0;
  int yDotsPerInch = 0;
  bool doubleFeed = false;
};

class SaneDevice {
public:
  SaneDevice() = default;
  ~SaneDevice();
  SaneDevice(const SaneDevice &) = delete;
  SaneDevice &operator=(const SaneDevice &) = delete;

  // A SANE status.
  int Open(const std::string &name);
  Options ReadOptions() const;
  // Writes one option; `inexact` tells that the device chose a value near the one asked for.
  int Write(const OptionInfo &option, const OptionChange &change, bool &inexact);
  // Writes an option given as text (from the configuration file): yes/no, numbers, or a string.
  int WriteText(const std::string &name, const std::string &value);

  // sane_start and every frame of one page; blocks. `startAnswer`, when given, gets the first
  // sane_start's status as soon as it returns; once `cancelled` is set the page ends at the next
  // call's return (sane_cancel, status Cancelled).
  PageResult ReadPage(std::atomic<int> *startAnswer = nullptr, const std::atomic<bool> *cancelled = nullptr);
  void Cancel();

  // Closes the handle now (SANE is about to exit); the device is closed from then on.
  void CloseNow();
  // Held by the device's owner thread around every call it makes on the handle, so that the
  // module's unload can tell a device it may close from one inside a call.
  std::mutex &CallLock() { return calls_; }

private:
  void *handle_ = nullptr;
  std::mutex calls_;
};

} // namespace sanesrc
