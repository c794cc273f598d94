// Builds container blocks byte by byte, as a data source would lay them out (2-byte packing,
// little-endian, no padding), so tests can also build containers that lie about themselves.
#pragma once

#include "twain/TwainRecords.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class ContainerBytes {
public:
  ContainerBytes &U8(uint8_t v) { return Raw(&v, 1); }
  ContainerBytes &U16(uint16_t v) { return Raw(&v, 2); }
  ContainerBytes &U32(uint32_t v) { return Raw(&v, 4); }
  ContainerBytes &Fix32(int16_t whole, uint16_t frac) { return U16(static_cast<uint16_t>(whole)).U16(frac); }
  // A string item of `width` bytes: the text, then zero bytes up to the width.
  ContainerBytes &Str(const std::string &text, size_t width) {
    std::vector<uint8_t> item(width, 0);
    std::memcpy(item.data(), text.data(), text.size() < width ? text.size() : width);
    return Raw(item.data(), item.size());
  }
  ContainerBytes &Raw(const void *data, size_t size) {
    const auto *p = static_cast<const uint8_t *>(data);
    bytes_.insert(bytes_.end(), p, p + size);
    return *this;
  }

  // Headers of the two decoded containers.
  static ContainerBytes OneValue(uint16_t itemType) { return ContainerBytes().U16(itemType); }
  static ContainerBytes Enumeration(uint16_t itemType, uint32_t numItems, uint32_t current, uint32_t deflt) {
    return ContainerBytes().U16(itemType).U32(numItems).U32(current).U32(deflt);
  }

  const std::vector<uint8_t> &bytes() const { return bytes_; }
  const uint8_t *data() const { return bytes_.data(); }
  size_t size() const { return bytes_.size(); }

private:
  std::vector<uint8_t> bytes_;
};
