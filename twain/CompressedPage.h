// The pages a source sends compressed (TWCP_JPEG) in a memory transfer: the strips are consecutive
// bytes of one JPEG file. They are gathered into one buffer and the result is checked before it is
// handed on, so that nothing but a whole JPEG image of a usable size ever leaves the layer. Pure
// functions over bytes; every size they read comes from the bytes and is checked against them.
#pragma once

#include "twain/StripCopy.h"

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint16_t TWCP_NONE = 0;
constexpr uint16_t TWCP_GROUP4 = 5;
constexpr uint16_t TWCP_JPEG = 6;

// Appends `length` bytes of `strip` to `page`, which never grows beyond `limit` bytes. The buffer
// grows geometrically, so a page is not copied once per strip.
TGatherOutcome GatherStrip(std::vector<uint8_t> &page, const uint8_t *strip, size_t length, size_t limit);

struct TJpegFrame {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t components = 0; // 1 grey, 3 colour
};

// Reads the frame header of the JPEG image in `length` bytes at `bytes`: true when they start
// with SOI, the marker segments up to the first frame (SOF) lie within them, the frame has a
// positive width and height and 1 or 3 components, and an EOI marker ends the data (trailing zero
// bytes, which some drivers pad with, are allowed).
bool ReadJpegFrame(const uint8_t *bytes, size_t length, TJpegFrame &frame);

// Sets the density of the JFIF header (APP0 "JFIF") that directly follows SOI to `xDpi` x `yDpi`
// dots per inch. False, with nothing changed, when there is no such header within `length` bytes.
bool SetJfifDensity(uint8_t *bytes, size_t length, uint16_t xDpi, uint16_t yDpi);
