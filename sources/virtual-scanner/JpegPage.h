// A page as a scanner that compresses in hardware sends it: the bytes of a baseline JPEG file
// (RGB pages in colour, every other page in 8-bit grey as a reader sees it). The JFIF header
// gives no resolution (aspect ratio only), as many drivers write it.
#pragma once

#include "sources/virtual-scanner/PageImage.h"

#include <cstdint>
#include <vector>

namespace vscan {

// Empty when the page cannot be encoded.
std::vector<uint8_t> JpegPage(const PageFormat &f, int page, int side, int sheet, int quality = 90);

} // namespace vscan
