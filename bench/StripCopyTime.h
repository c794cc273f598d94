// The strip copy of a memory transfer on its own, without TWAIN: how much of the transfer loop's
// time is the copy into the page's rows (and the colour-order fix of RGB rows).
#pragma once

#include <cstddef>

// Milliseconds to copy one page of `width` x `height` pixels (24 or 8 bits) into fresh rows from
// strips of `stripBytes`, one progress callback per row that does nothing.
double TimeStripCopyMs(int width, int height, int bpp, size_t stripBytes);
