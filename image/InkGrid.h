// A page seen as a grid of cells about 1/50 inch square, each holding the grey of the darkest
// pixel it covers, and the judgement whether anything on it is ink a person put there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The most cells a grid may hold (an A4 sheet has about 240,000): a page that claims more is not
// judged, and so is content.
constexpr uint64_t kMostGridCells = 8u << 20;
// The most bytes of one pixel row the pooler keeps.
constexpr uint64_t kMostRowBytes = 64u << 20;

struct TInkGrid {
  int Width = 0;
  int Height = 0;
  double CellMmX = 1; // a cell's size on paper
  double CellMmY = 1;
  std::vector<uint8_t> Greys; // darkest of any channel: 0 black .. 255 white
  // Colour pages only (else empty): each cell's brightest channel at its darkest, so that a cell
  // whose channels differ much holds colour: ink, never metal, a shadow or the scanner's lid.
  std::vector<uint8_t> Brightest;
  bool TooLarge = false; // more cells than kMostGridCells: not judged
  const uint8_t *Row(int y) const { return Greys.data() + static_cast<size_t>(y) * Width; }
};

// The page's resolution, or an A4 or Letter sheet's when it gives none, or none believable for
// a sheet of that many pixels.
double PageDpi(double dpi, int width);
// Pixels a cell spans at that resolution.
int CellPixels(double dpi);

// Builds the grid from a page's rows, given top to bottom (or bottom to top): each cell takes the
// darkest sample of its pixels, over every channel of a colour pixel, so that a stroke one pixel
// wide keeps its full darkness and ink of any colour is dark.
class TCellPooler {
public:
  // bytesPerPixel 1 (grey), 3 (colour) or 4 (colour and a byte that is not looked at). A page
  // whose grid or rows would exceed the bounds pools nothing and gives a TooLarge grid.
  TCellPooler(int width, int height, int bytesPerPixel, int cell, double dpi);
  bool TooLarge() const { return Grid.TooLarge; }
  void AddRow(const uint8_t *row);
  // The grid, once every row is in (a last, partial row of cells included).
  TInkGrid Take();

private:
  void EmitCells();

  int Width;
  int BytesPerPixel;
  int Cell;
  int RowsIn = 0;
  int CellRow = 0;
  std::vector<uint8_t> Darkest;
  TInkGrid Grid;
};

// True when the grid holds ink that is not dust, the sheet's edge and shadow or the scanner
// beyond it, a punch hole, a staple or text showing through from the back; true too for a grid
// too large to judge or a sheet too dark to be paper.
bool HasInk(const TInkGrid &grid);
