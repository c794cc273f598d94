// The fixed-width strings of TWAIN records (names in TW_IDENTITY, file names).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

namespace dscommon {

// Cut to the field and always terminated.
inline void CopyText(char *target, size_t size, const std::string &text) {
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(target, text.data(), n);
  target[n] = '\0';
}

// A field written by the application may lack its terminating zero.
inline std::string FieldText(const char *field, size_t size) {
  return std::string(field, strnlen(field, size));
}

} // namespace dscommon
