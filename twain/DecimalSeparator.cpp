#include "twain/DecimalSeparator.h"

#include <windows.h>

#include <atomic>

namespace {

char ReadLocaleDecimalSeparator() {
  char buffer[8] = {};
  if (::GetLocaleInfoA(::GetThreadLocale(), LOCALE_SDECIMAL, buffer, sizeof buffer) > 0 && buffer[0] != '\0')
    return buffer[0];
  return '.';
}

std::atomic<char> &HeldSeparator() {
  static std::atomic<char> separator{ReadLocaleDecimalSeparator()};
  return separator;
}

} // namespace

char DecimalSeparator() { return HeldSeparator().load(std::memory_order_relaxed); }

void RefreshDecimalSeparator() {
  HeldSeparator().store(ReadLocaleDecimalSeparator(), std::memory_order_relaxed);
}
