// The machine's floor for a page: the least any pipeline has to spend on its pixels.
#pragma once

#include <FreeImage.h>

#include <cstddef>

// Milliseconds of one memcpy of the page's pixels into a buffer that is already touched, with
// neither in the caches (EvictCaches).
double TimeMemcpyMs(FIBITMAP *image);

// Milliseconds of FreeImage's JPEG encode of the page (default settings) into memory; the encoded
// size goes to `bytes` when given.
double TimeJpegEncodeMs(FIBITMAP *image, size_t *bytes = nullptr);

// Writes over more memory than the processor's caches hold, so that the next copy starts from
// memory as a page just scanned does: a grey A4 page and its copy would otherwise both stay in
// a large last-level cache between repeated copies, and the floor would be a cache's speed.
void EvictCaches();
