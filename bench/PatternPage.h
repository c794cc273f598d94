// A scanned page as the writer receives it: a FreeImage bitmap filled with the virtual scanner's
// pattern, so encoding costs what it costs for a page with real detail (blank pages encode
// unrealistically fast).
#pragma once

#include <FreeImage.h>

// A4 at 300 dots per inch.
constexpr int kA4Width = 2480;
constexpr int kA4Height = 3508;

// bpp 24 (colour, blue first as FreeImage stores it) or 8 (grey with a grey ramp). The caller
// unloads the result; null when it cannot be allocated.
FIBITMAP *NewPatternPage(int width, int height, int bpp, int page);

// Bytes of the page's pixels (pitch x height).
size_t PixelBytes(FIBITMAP *image);
