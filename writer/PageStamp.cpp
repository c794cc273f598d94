#include "writer/PageStamp.h"

#include <cstdio>

std::string FormatPageStamp(const SYSTEMTIME &t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u%02u%02u%02u%02u%02u%03u", t.wYear % 10000u, t.wMonth % 100u,
                t.wDay % 100u, t.wHour % 100u, t.wMinute % 100u, t.wSecond % 100u, t.wMilliseconds % 1000u);
  return text;
}

namespace {

constexpr ULONGLONG kTicksPerMillisecond = 10000; // FILETIME counts 100 ns
constexpr size_t kStampDigits = 17;
constexpr char kPrefix[] = "Scan";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;

// Reads `count` decimal digits at `at`; false when any is not a digit.
bool ReadDigits(const std::string &text, size_t at, size_t count, WORD &value) {
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9')
      return false;
    value = static_cast<WORD>(value * 10 + (text[i] - '0'));
  }
  return true;
}

bool ParseStamp(const std::string &digits, size_t at, SYSTEMTIME &t) {
  t = SYSTEMTIME{};
  return ReadDigits(digits, at, 4, t.wYear) && ReadDigits(digits, at + 4, 2, t.wMonth) &&
         ReadDigits(digits, at + 6, 2, t.wDay) && ReadDigits(digits, at + 8, 2, t.wHour) &&
         ReadDigits(digits, at + 10, 2, t.wMinute) && ReadDigits(digits, at + 12, 2, t.wSecond) &&
         ReadDigits(digits, at + 14, 3, t.wMilliseconds);
}

} // namespace

bool ParsePageStamp(const std::string &digits, SYSTEMTIME &stamp) {
  return digits.size() == kStampDigits && ParseStamp(digits, 0, stamp);
}

bool StampToMilliseconds(const SYSTEMTIME &t, ULONGLONG &ms) {
  FILETIME ft;
  if (!::SystemTimeToFileTime(&t, &ft))
    return false;
  ms = ((ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / kTicksPerMillisecond;
  return true;
}

SYSTEMTIME StampFromMilliseconds(ULONGLONG ms) {
  ULONGLONG ticks = ms * kTicksPerMillisecond;
  FILETIME ft = {DWORD(ticks & 0xFFFFFFFFu), DWORD(ticks >> 32)};
  SYSTEMTIME t = {};
  ::FileTimeToSystemTime(&ft, &t);
  return t;
}

namespace {

// Where the stamp of a page's name begins, or npos for a name of another form.
size_t StampStart(const std::string &fileName, SYSTEMTIME &stamp) {
  const size_t slash = fileName.find_last_of("\\/");
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  // "Scan", the stamp, a side letter and at least the extension's dot.
  if (fileName.size() < start + kPrefixLength + kStampDigits + 2 ||
      fileName.compare(start, kPrefixLength, kPrefix) != 0 ||
      !ParseStamp(fileName, start + kPrefixLength, stamp))
    return std::string::npos;
  return start + kPrefixLength;
}

} // namespace

std::string PageNameOneMillisecondLater(const std::string &fileName) {
  SYSTEMTIME stamp;
  ULONGLONG ms;
  const size_t at = StampStart(fileName, stamp);
  if (at == std::string::npos || !StampToMilliseconds(stamp, ms))
    return std::string();
  std::string later = fileName;
  later.replace(at, kStampDigits, FormatPageStamp(StampFromMilliseconds(ms + 1)));
  return later;
}

char PageNameSide(const std::string &fileName) {
  SYSTEMTIME stamp;
  const size_t at = StampStart(fileName, stamp);
  const char side = at == std::string::npos ? 0 : fileName[at + kStampDigits];
  return side == 'F' || side == 'B' ? side : 0;
}

std::string PageNameOfOtherSide(const std::string &fileName) {
  const char side = PageNameSide(fileName);
  if (side == 0)
    return std::string();
  SYSTEMTIME stamp;
  std::string other = fileName;
  other[StampStart(fileName, stamp) + kStampDigits] = side == 'F' ? 'B' : 'F';
  return other;
}
