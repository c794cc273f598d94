// A page seen as a grid of cells about 1/75 inch square, each holding the grey of the darkest
// pixel it covers, and the judgement whether anything on it is ink a person put there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TInkGrid {
  TInkGrid() = default;
  TInkGrid(int width, int height, double cellMmX, double cellMmY)
      : Width(width), Height(height), CellMmX(cellMmX), CellMmY(cellMmY),
        Greys(static_cast<size_t>(width) * height, 255) {}
  uint8_t *Row(int y) { return Greys.data() + static_cast<size_t>(y) * Width; }

  int Width = 0;
  int Height = 0;
  double CellMmX = 1; // a cell's size on paper
  double CellMmY = 1;
  std::vector<uint8_t> Greys; // 0 black .. 255 white
};

// The page's resolution, or an A4 or Letter sheet's when it gives none (or none believable).
double PageDpi(double dpi, int width);
// Pixels a cell spans at that resolution.
int CellPixels(double dpi);

// Builds the grid from a page's rows, given top to bottom (or bottom to top): each cell takes the
// darkest sample of its pixels, over every channel of a colour pixel, so that a stroke one pixel
// wide keeps its full darkness and ink of any colour is dark.
class TCellPooler {
public:
  // bytesPerPixel 1 (grey), 3 (colour) or 4 (colour and a byte that is not looked at).
  TCellPooler(int width, int height, int bytesPerPixel, int cell, double dpi);
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

// True when the grid holds ink that is not dust, the sheet's dark edge or the scanner beyond
// it, a punch hole or a staple.
bool HasInk(const TInkGrid &grid);
