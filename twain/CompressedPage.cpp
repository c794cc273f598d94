#include "twain/CompressedPage.h"

#include <cstring>
#include <new>

namespace {

uint16_t ReadBig16(const uint8_t *at) { return static_cast<uint16_t>((at[0] << 8) | at[1]); }

bool IsFrameMarker(uint8_t marker) {
  // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC).
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool EndsWithEoi(const uint8_t *bytes, size_t length) {
  size_t end = length;
  while (end > 0 && bytes[end - 1] == 0)
    --end;
  return end >= 4 && bytes[end - 2] == 0xFF && bytes[end - 1] == 0xD9;
}

} // namespace

TGatherOutcome GatherStrip(std::vector<uint8_t> &page, const uint8_t *strip, size_t length, size_t limit) {
  if (length == 0)
    return TGatherOutcome::ok;
  if (!strip || page.size() > limit || length > limit - page.size())
    return TGatherOutcome::tooLarge;
  try {
    if (page.capacity() < page.size() + length) {
      size_t capacity = page.capacity() < 65536 ? 65536 : page.capacity();
      while (capacity < page.size() + length)
        capacity = capacity > limit / 2 ? limit : capacity * 2;
      page.reserve(capacity);
    }
    page.insert(page.end(), strip, strip + length);
  } catch (const std::bad_alloc &) {
    return TGatherOutcome::noMemory;
  }
  return TGatherOutcome::ok;
}

bool ReadJpegFrame(const uint8_t *bytes, size_t length, TJpegFrame &frame) {
  if (!bytes || length < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8 || !EndsWithEoi(bytes, length))
    return false;
  size_t at = 2;
  while (at + 4 <= length) {
    if (bytes[at] != 0xFF)
      return false;
    const uint8_t marker = bytes[at + 1];
    if (marker == 0xFF) { // fill byte before a marker
      ++at;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) // EOI or the scan before any frame
      return false;
    const size_t segment = ReadBig16(bytes + at + 2); // counts its own two length bytes
    if (segment < 2 || segment > length - at - 2)
      return false;
    if (IsFrameMarker(marker)) {
      // Precision (1), height (2), width (2), components (1).
      if (segment < 8)
        return false;
      const uint8_t *sof = bytes + at + 4;
      frame.height = ReadBig16(sof + 1);
      frame.width = ReadBig16(sof + 3);
      frame.components = sof[5];
      return frame.width > 0 && frame.height > 0 && (frame.components == 1 || frame.components == 3);
    }
    at += 2 + segment;
  }
  return false;
}

bool SetJfifDensity(uint8_t *bytes, size_t length, uint16_t xDpi, uint16_t yDpi) {
  // SOI, APP0 marker, length (16 or more), "JFIF\0", version (2), units (1), X density (2), Y (2).
  if (!bytes || length < 20 || bytes[0] != 0xFF || bytes[1] != 0xD8 || bytes[2] != 0xFF || bytes[3] != 0xE0)
    return false;
  if (ReadBig16(bytes + 4) < 16 || std::memcmp(bytes + 6, "JFIF\0", 5) != 0)
    return false;
  bytes[13] = 1; // dots per inch
  bytes[14] = static_cast<uint8_t>(xDpi >> 8);
  bytes[15] = static_cast<uint8_t>(xDpi);
  bytes[16] = static_cast<uint8_t>(yDpi >> 8);
  bytes[17] = static_cast<uint8_t>(yDpi);
  return true;
}
