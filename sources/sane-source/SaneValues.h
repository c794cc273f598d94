// The SANE values the bridge's pure parts work with, as plain numbers: those parts build for
// Windows too (their tests run there), where SANE's own header does not exist. SaneDevice.cpp
// checks every number against that header.
#pragma once

namespace sanesrc {

enum class SaneFrame : int { Gray = 0, Rgb = 1, Red = 2, Green = 3, Blue = 4 };

enum class SaneStatus : int {
  Good = 0,
  Unsupported = 1,
  Cancelled = 2,
  DeviceBusy = 3,
  Inval = 4,
  Eof = 5,
  Jammed = 6,
  NoDocs = 7,
  CoverOpen = 8,
  IoError = 9,
  NoMem = 10,
  AccessDenied = 11,
};

enum class SaneType : int { Bool = 0, Int = 1, Fixed = 2, String = 3, Button = 4, Group = 5 };
enum class SaneUnit : int { None = 0, Pixel = 1, Bit = 2, Mm = 3, Dpi = 4, Percent = 5, Microsecond = 6 };
enum class SaneConstraint : int { None = 0, Range = 1, WordList = 2, StringList = 3 };

constexpr int kSaneFixedShift = 16;
constexpr int kSaneCapSoftSelect = 1 << 0;
constexpr int kSaneCapInactive = 1 << 5;
constexpr int kSaneInfoInexact = 1 << 0;

} // namespace sanesrc
