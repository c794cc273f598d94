// The bitmap of a page the source sent as JPEG bytes, made only when a handler asks for it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// A bottom-up DIB section holding the decoded image: 24-bit colour, or 8-bit grey with a grey
// ramp, at `xPelsPerMeter` x `yPelsPerMeter`. Null when the bytes do not decode or no memory can
// be had.
HBITMAP DecodeJpegPage(const uint8_t *bytes, size_t length, LONG xPelsPerMeter, LONG yPelsPerMeter);
