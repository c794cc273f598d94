#include "image/InkGrid.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kCellDpi = 50;
constexpr double kTileMm = 12; // paper is judged per tile: tint, shadows and noise differ across a sheet
// How far below its paper a cell must be to be ink: text showing through from the other side
// stays above it, a faint pencil stroke goes below it. A noisy sheet raises it up to the most.
constexpr int kMinInkContrast = 40;
constexpr int kMostInkContrast = 56;
// A sheet darker than this is no blank paper, whatever is on it.
constexpr int kDarkestPaper = 80;
constexpr double kDustMm = 1.2;        // a dust speck is smaller; a page number's digit is not
constexpr double kEdgeReachMm = 16;    // a shadow or the scanner's lid beyond a skewed sheet
constexpr double kEdgeLineMm = 6;      // the sheet's own edge, seen as a line inside the image
constexpr double kHoleReachMm = 22;    // punch holes sit this near an edge
constexpr double kStapleCornerMm = 30; // staples sit in a corner
constexpr double kStraightRatio = 40;  // a line: its length at least ~6 times its width

// One connected patch of ink: its extent, where it lies and the second moments of its cells.
struct TPatch {
  int Cells = 0;
  int MinX = 0, MaxX = 0, MinY = 0, MaxY = 0;
  bool TouchesBorder = false;
  double FarthestFromBorderMm = 0;
  double Sx = 0, Sy = 0, Sxx = 0, Syy = 0, Sxy = 0; // in mm
};

struct TShape {
  double Length = 0; // along its main axis, in mm
  bool Straight = false;
};

TShape ShapeOf(const TPatch &p, const TInkGrid &g) {
  const double n = p.Cells, mx = p.Sx / n, my = p.Sy / n;
  // Each cell is a square, not a point: a line one cell wide has a width.
  const double cxx = p.Sxx / n - mx * mx + g.CellMmX * g.CellMmX / 12;
  const double cyy = p.Syy / n - my * my + g.CellMmY * g.CellMmY / 12;
  const double cxy = p.Sxy / n - mx * my;
  const double half = (cxx + cyy) / 2, root = std::sqrt((cxx - cyy) * (cxx - cyy) / 4 + cxy * cxy);
  const double major = half + root, minor = std::max(half - root, 1e-9);
  return {std::sqrt(12 * major), major >= kStraightRatio * minor};
}

bool SolidCentre(const TPatch &p, const TInkGrid &g, const std::vector<uint8_t> &ink) {
  const int bw = p.MaxX - p.MinX + 1, bh = p.MaxY - p.MinY + 1;
  for (int y = p.MinY + bh * 3 / 10; y <= p.MaxY - bh * 3 / 10; ++y)
    for (int x = p.MinX + bw * 3 / 10; x <= p.MaxX - bw * 3 / 10; ++x)
      if (!ink[static_cast<size_t>(y) * g.Width + x])
        return false;
  return true;
}

// What is on paper but was not put there by a person: dust, the sheet's edge and shadows, the
// scanner's lid beyond the sheet, punch holes, staples.
bool IsPaperArtefact(const TPatch &p, const TInkGrid &g, const std::vector<uint8_t> &ink) {
  const double w = (p.MaxX - p.MinX + 1) * g.CellMmX, h = (p.MaxY - p.MinY + 1) * g.CellMmY;
  const double longSide = std::max(w, h), shortSide = std::min(w, h);
  if (longSide <= kDustMm || (p.Cells <= 3 && longSide <= 1.6))
    return true; // a speck, or two
  if (p.TouchesBorder && p.FarthestFromBorderMm <= kEdgeReachMm)
    return true;
  const TShape shape = ShapeOf(p, g);
  if (shape.Straight && p.FarthestFromBorderMm <= kEdgeLineMm && shape.Length >= 15)
    return true;
  const bool nearSide =
      p.MaxX * g.CellMmX <= kStapleCornerMm || (g.Width - 1 - p.MinX) * g.CellMmX <= kStapleCornerMm;
  const bool nearEnd =
      p.MaxY * g.CellMmY <= kStapleCornerMm || (g.Height - 1 - p.MinY) * g.CellMmY <= kStapleCornerMm;
  if (nearSide && nearEnd && shape.Straight && shape.Length >= 5 && shape.Length <= 18)
    return true;
  const double fill = static_cast<double>(p.Cells) / ((p.MaxX - p.MinX + 1) * (p.MaxY - p.MinY + 1));
  return p.FarthestFromBorderMm <= kHoleReachMm && shortSide >= 3.5 && longSide <= 10 &&
         longSide <= 1.5 * shortSide && fill >= 0.7 && SolidCentre(p, g, ink);
}

int Percentile(const int *histogram, int count, int percent) {
  const int wanted = std::max(1, count * percent / 100);
  int seen = 0;
  for (int v = 0; v < 256; ++v) {
    seen += histogram[v];
    if (seen >= wanted)
      return v;
  }
  return 255;
}

// Paper level per tile (its bright majority: pooling makes dense text darken most of a tile), and
// the contrast that makes a cell ink on this page; false for a sheet too dark to be paper.
bool PaperLevels(const TInkGrid &g, int tileX, int tileY, std::vector<uint8_t> &paper, int &contrast) {
  const int tilesX = (g.Width + tileX - 1) / tileX, tilesY = (g.Height + tileY - 1) / tileY;
  paper.assign(static_cast<size_t>(tilesX) * tilesY, 255);
  std::vector<int> spreads;
  std::vector<uint8_t> levels;
  for (int ty = 0; ty < tilesY; ++ty) {
    for (int tx = 0; tx < tilesX; ++tx) {
      int histogram[256] = {};
      int count = 0;
      const int x0 = tx * tileX, x1 = std::min(g.Width, x0 + tileX);
      for (int y = ty * tileY; y < std::min(g.Height, (ty + 1) * tileY); ++y) {
        const uint8_t *row = g.Greys.data() + static_cast<size_t>(y) * g.Width;
        for (int x = x0; x < x1; ++x)
          ++histogram[row[x]];
        count += x1 - x0;
      }
      const int level = Percentile(histogram, count, 90);
      paper[static_cast<size_t>(ty) * tilesX + tx] = static_cast<uint8_t>(level);
      levels.push_back(static_cast<uint8_t>(level));
      spreads.push_back(level - Percentile(histogram, count, 50));
    }
  }
  std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
  if (levels[levels.size() / 2] < kDarkestPaper)
    return false;
  std::nth_element(spreads.begin(), spreads.begin() + spreads.size() / 2, spreads.end());
  contrast = std::clamp(4 * spreads[spreads.size() / 2], kMinInkContrast, kMostInkContrast);
  return true;
}

} // namespace

double PageDpi(double dpi, int width) {
  if (dpi >= 50 && dpi <= 2400)
    return dpi;
  return std::max(50.0, width / 8.27);
}

int CellPixels(double dpi) { return std::max(1, static_cast<int>(std::lround(dpi / kCellDpi))); }

TCellPooler::TCellPooler(int width, int height, int bytesPerPixel, int cell, double dpi)
    : Width(width), BytesPerPixel(bytesPerPixel), Cell(cell),
      Darkest(static_cast<size_t>(width) * bytesPerPixel),
      Grid((width + cell - 1) / cell, (height + cell - 1) / cell, 25.4 * cell / dpi, 25.4 * cell / dpi) {}

void TCellPooler::AddRow(const uint8_t *row) {
  if (CellRow >= Grid.Height)
    return;
  const size_t n = Darkest.size();
  uint8_t *d = Darkest.data();
  if (RowsIn == 0)
    std::memcpy(d, row, n);
  else
    for (size_t i = 0; i < n; ++i) // the compiler makes this a vector minimum
      d[i] = std::min(d[i], row[i]);
  if (++RowsIn == Cell)
    EmitCells();
}

void TCellPooler::EmitCells() {
  uint8_t *out = Grid.Row(CellRow);
  const uint8_t *d = Darkest.data();
  for (int cx = 0; cx < Grid.Width; ++cx) {
    const int x0 = cx * Cell, x1 = std::min(Width, x0 + Cell);
    uint8_t darkest = 255;
    if (BytesPerPixel == 4) {
      for (int x = x0; x < x1; ++x)
        darkest = std::min({darkest, d[4 * x], d[4 * x + 1], d[4 * x + 2]});
    } else {
      for (const uint8_t *p = d + x0 * BytesPerPixel, *e = d + x1 * BytesPerPixel; p < e; ++p)
        darkest = std::min(darkest, *p);
    }
    out[cx] = darkest;
  }
  ++CellRow;
  RowsIn = 0;
}

TInkGrid TCellPooler::Take() {
  if (RowsIn > 0)
    EmitCells();
  return std::move(Grid);
}

bool HasInk(const TInkGrid &g) {
  if (g.Width <= 0 || g.Height <= 0)
    return false;
  const int tileX = std::max(4, static_cast<int>(std::lround(kTileMm / g.CellMmX)));
  const int tileY = std::max(4, static_cast<int>(std::lround(kTileMm / g.CellMmY)));
  std::vector<uint8_t> paper;
  int contrast = kMinInkContrast;
  if (!PaperLevels(g, tileX, tileY, paper, contrast))
    return true;
  const int tilesX = (g.Width + tileX - 1) / tileX;
  std::vector<uint8_t> ink(g.Greys.size());
  for (int y = 0; y < g.Height; ++y) {
    const uint8_t *levels = paper.data() + static_cast<size_t>(y / tileY) * tilesX;
    const size_t row = static_cast<size_t>(y) * g.Width;
    for (int tx = 0, x = 0; tx < tilesX; ++tx) {
      const int below = levels[tx] - contrast; // ink is darker than this
      for (const int end = std::min(g.Width, x + tileX); x < end; ++x)
        ink[row + x] = g.Greys[row + x] < below;
    }
  }

  // Each patch of ink (cells touching at a side or a corner) is looked at once: the first that a
  // person put there decides.
  std::vector<uint8_t> seen(ink.size());
  std::vector<int> pending;
  for (size_t start = 0; start < ink.size(); ++start) {
    if (!ink[start] || seen[start])
      continue;
    TPatch p;
    p.MinX = p.MaxX = static_cast<int>(start % g.Width);
    p.MinY = p.MaxY = static_cast<int>(start / g.Width);
    seen[start] = 1;
    pending.assign(1, static_cast<int>(start));
    while (!pending.empty()) {
      const int i = pending.back();
      pending.pop_back();
      const int x = i % g.Width, y = i / g.Width;
      const double mmX = x * g.CellMmX, mmY = y * g.CellMmY;
      ++p.Cells;
      p.MinX = std::min(p.MinX, x);
      p.MaxX = std::max(p.MaxX, x);
      p.MinY = std::min(p.MinY, y);
      p.MaxY = std::max(p.MaxY, y);
      p.TouchesBorder |= x == 0 || y == 0 || x == g.Width - 1 || y == g.Height - 1;
      const double fromBorder =
          std::min({mmX, (g.Width - 1 - x) * g.CellMmX, mmY, (g.Height - 1 - y) * g.CellMmY});
      p.FarthestFromBorderMm = std::max(p.FarthestFromBorderMm, fromBorder);
      p.Sx += mmX;
      p.Sy += mmY;
      p.Sxx += mmX * mmX;
      p.Syy += mmY * mmY;
      p.Sxy += mmX * mmY;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = x + dx, ny = y + dy;
          if (nx < 0 || ny < 0 || nx >= g.Width || ny >= g.Height)
            continue;
          const size_t n = static_cast<size_t>(ny) * g.Width + nx;
          if (ink[n] && !seen[n]) {
            seen[n] = 1;
            pending.push_back(static_cast<int>(n));
          }
        }
    }
    if (!IsPaperArtefact(p, g, ink))
      return true;
  }
  return false;
}
