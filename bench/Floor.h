// The machine's floor for a page: the least any pipeline has to spend on its pixels.
#pragma once

#include <FreeImage.h>

#include <cstddef>

// Milliseconds of one memcpy of the page's pixels into a buffer that is already touched.
double TimeMemcpyMs(FIBITMAP *image);

// Milliseconds of FreeImage's JPEG encode of the page (default settings) into memory; the encoded
// size goes to `bytes` when given.
double TimeJpegEncodeMs(FIBITMAP *image, size_t *bytes = nullptr);
