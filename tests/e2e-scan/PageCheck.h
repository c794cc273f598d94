// Compares a written page with the virtual scanner's pattern, within what JPEG keeps.
#pragma once

#include "sources/virtual-scanner/PageImage.h"

#include <string>

namespace e2escan {

struct PageComparison {
  bool decoded = false;
  int width = 0, height = 0;
  double meanError[3] = {};   // mean absolute difference of red, green, blue
  bool markerTopLeft = false; // the red origin block is where the pattern puts it
  double WorstChannel() const;
};

// page: the scanner's 1-based page number; side: 0 front, 1 back.
PageComparison CompareWithPattern(const std::string &jpegPath, int page, int side);

// The same for a page of any format the scanner sends: `format` says what its samples mean (grey
// pages are compared level by level with an 8-bit grey file; black and white pages by which side
// of mid-grey each pixel lies, so the mean error is 255 x the share of wrong pixels), `sheet` the
// title's number.
PageComparison ComparePage(const std::string &jpegPath, const vscan::PageFormat &format, int page, int side,
                           int sheet);

// Measured: JPEG loses under 3 per channel on these pages; the page before or after differs
// by 5.8 or more in red, the other side by 64 in green.
constexpr double kJpegTolerance = 4.0;

} // namespace e2escan
