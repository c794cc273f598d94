// Whether a scanned side has nothing on it: paper only, whatever its tint, with the scanner's
// noise, text showing through from the other side, punch holes, a staple, or the dark edge round
// the sheet. Anything else a person put on paper is content: a signature, a stamp, a page number,
// a faint pencil note, one thin form line, any mark on a card or a receipt. In doubt a side is
// content: a page set aside by mistake is a page nobody looks for.
#pragma once

#include <cstddef>
#include <cstdint>

struct FIBITMAP;

// A page's pixels as they lie in memory. Rows may come in either order: blankness does not care.
struct TPagePixels {
  const uint8_t *Bits = nullptr; // the first row in memory
  int Width = 0;
  int Height = 0;
  size_t Pitch = 0; // bytes from one row to the next, at least the row's own bytes
  int Bpp = 0;      // 1, 8 (indexed), 24 or 32 (colour; the fourth byte of 32 is not looked at)
  // 1 and 8 bits: the grey each index shows (2 or 256 entries). Null: the index is the grey
  // (1 bit: 0 black, 1 white).
  const uint8_t *Greys = nullptr;
  double Dpi = 0; // 0: unknown, taken from the page's width as for an A4 or Letter sheet
};

bool IsBlankSide(const TPagePixels &page);
// A FreeImage page of 1, 8, 24 or 32 bits; any other is content.
bool IsBlankSide(FIBITMAP *image);
// A scanner's own JPEG file, decoded once at a scale its resolution allows; one that cannot be
// decoded, or claims a page larger than it could hold, is content.
bool IsBlankJpeg(const uint8_t *data, size_t size);
