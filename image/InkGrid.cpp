#include "image/InkGrid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

constexpr double kCellDpi = 50;
constexpr double kTileMm = 12; // paper's level and grain are read per tile
// The widest sheet the scanners we drive take (an A3 sheet's long side, with room): a page
// that says it is wider has a resolution that is not its own.
constexpr double kWidestSheetInches = 17;
// A sheet darker than this is no blank paper, whatever is on it.
constexpr int kDarkestPaper = 80;
// Ink is this far below the paper at least, or further when the paper's grain asks it.
constexpr int kFaintestInk = 16;
constexpr int kMostInkContrast = 40;
// Text seen through the sheet from its back is, for the most of each mark, never darker than this
// below the paper, and comes as many small marks together: this many within a few centimetres.
constexpr int kShowThroughContrast = 36;
constexpr int kShowThroughNeighbours = 8;
constexpr double kShowThroughStrokeMm = 5;
// A cell whose channels differ this much holds colour.
constexpr int kColourSpread = 40;
constexpr double kDustMm = 1.2; // a dust speck is smaller; a page number's digit is not
// The sheet's edge and shadow, and the scanner's lid beyond a skewed sheet: a band no deeper
// than this along at least half an edge.
constexpr double kEdgeBandMm = 8;
constexpr double kEdgeLineMm = 6;
constexpr double kStraightRatio = 40; // a line: its length at least ~6 times its width
// Punch holes and staples: on a sheet, not on a card or a receipt.
constexpr double kShortestPunchedEdgeMm = 120;
// Punch holes: 5-8 mm across, their centres about 12 mm in from the edge, at the places
// punches put them: 80 mm apart (two or four holes) or 108 mm apart (three), about the middle.
constexpr double kHoleCentresFromMiddleMm[] = {0, 40, 108, 120};
constexpr double kHolePlaceSlackMm = 8;
// Staples: metal, dark and neutral, a straight crown of 10-16 mm, near a corner.
constexpr int kDarkestMetal = 110;
constexpr double kStapleCornerMm = 22;

// Parts of `size` each `part` long, a last, shorter one included.
uint64_t Parts(uint64_t size, uint64_t part) { return (size + part - 1) / part; }

// One connected patch of ink: its extent, where it lies, the second moments of its cells (mm).
struct TPatch {
  int Cells = 0;
  int Coloured = 0;
  uint8_t Darkest = 255;
  uint8_t Typical = 255; // the median of its cells: a dust speck on a faint mark does not darken it
  int MinX = 0, MaxX = 0, MinY = 0, MaxY = 0;
  bool TouchesBorder = false;
  double FarthestFromBorderMm = 0;
  double Sx = 0, Sy = 0, Sxx = 0, Syy = 0, Sxy = 0;
};

struct TShape {
  double Length = 0; // along its main axis, in mm
  double Width = 0;
  bool Straight = false;
};

struct TPage {
  const TInkGrid &Grid;
  double WidthMm, HeightMm;
  int Paper;       // the paper's level
  int Faint;       // how far below it ink begins
  uint8_t FaintAt; // cells darker than this are ink
};

TShape ShapeOf(const TPatch &p, const TInkGrid &g) {
  const double n = p.Cells, mx = p.Sx / n, my = p.Sy / n;
  // Each cell is a square, not a point: a line one cell wide has a width.
  const double cxx = p.Sxx / n - mx * mx + g.CellMmX * g.CellMmX / 12;
  const double cyy = p.Syy / n - my * my + g.CellMmY * g.CellMmY / 12;
  const double cxy = p.Sxy / n - mx * my;
  const double half = (cxx + cyy) / 2, root = std::sqrt((cxx - cyy) * (cxx - cyy) / 4 + cxy * cxy);
  const double major = half + root, minor = std::max(half - root, 1e-9);
  return {std::sqrt(12 * major), std::sqrt(12 * minor), major >= kStraightRatio * minor};
}

bool SolidCentre(const TPatch &p, const TPage &page) {
  const TInkGrid &g = page.Grid;
  const int bw = p.MaxX - p.MinX + 1, bh = p.MaxY - p.MinY + 1;
  for (int y = p.MinY + bh * 3 / 10; y <= p.MaxY - bh * 3 / 10; ++y)
    for (int x = p.MinX + bw * 3 / 10; x <= p.MaxX - bw * 3 / 10; ++x)
      if (g.Row(y)[x] >= page.FaintAt)
        return false;
  return true;
}

bool AlongAnEdge(const TPatch &p, const TPage &page) {
  const double w = (p.MaxX - p.MinX + 1) * page.Grid.CellMmX, h = (p.MaxY - p.MinY + 1) * page.Grid.CellMmY;
  return w >= page.WidthMm / 2 || h >= page.HeightMm / 2;
}

bool IsPunchHole(const TPatch &p, const TPage &page) {
  const double w = (p.MaxX - p.MinX + 1) * page.Grid.CellMmX, h = (p.MaxY - p.MinY + 1) * page.Grid.CellMmY;
  const double fill = static_cast<double>(p.Cells) / ((p.MaxX - p.MinX + 1) * (p.MaxY - p.MinY + 1));
  if (std::max(w, h) > 9 || std::min(w, h) < 4 || std::max(w, h) > 1.3 * std::min(w, h) || fill < 0.65)
    return false;
  const double cx = p.Sx / p.Cells, cy = p.Sy / p.Cells;
  // The edge it is nearest: its distance from it, and its place along it from the edge's middle.
  const struct {
    double In, Along, Length;
  } edges[] = {{cx, cy - page.HeightMm / 2, page.HeightMm},
               {page.WidthMm - cx, cy - page.HeightMm / 2, page.HeightMm},
               {cy, cx - page.WidthMm / 2, page.WidthMm},
               {page.HeightMm - cy, cx - page.WidthMm / 2, page.WidthMm}};
  const auto &edge =
      *std::min_element(std::begin(edges), std::end(edges), [](auto &a, auto &b) { return a.In < b.In; });
  if (edge.Length < kShortestPunchedEdgeMm || edge.In < 5 || edge.In > 17)
    return false;
  const bool placed =
      std::any_of(std::begin(kHoleCentresFromMiddleMm), std::end(kHoleCentresFromMiddleMm),
                  [&](double at) { return std::abs(std::abs(edge.Along) - at) <= kHolePlaceSlackMm; });
  return placed && SolidCentre(p, page);
}

bool IsStaple(const TPatch &p, const TPage &page, const TShape &shape) {
  if (std::min(page.WidthMm, page.HeightMm) < kShortestPunchedEdgeMm || p.Darkest > kDarkestMetal)
    return false;
  const double cx = p.Sx / p.Cells, cy = p.Sy / p.Cells;
  const bool corner = std::min(cx, page.WidthMm - cx) <= kStapleCornerMm &&
                      std::min(cy, page.HeightMm - cy) <= kStapleCornerMm;
  // Its crown with the shadow beside it: straight, a little wider than a pen's line.
  return corner && shape.Length >= 10 && shape.Length <= 16 && shape.Width <= 2.2 &&
         shape.Length >= 5 * shape.Width;
}

enum class TVerdict { NotContent, ShowThroughIfAmongMany, Content };

// What is on paper but was not put there by a person, each known by its own evidence: dust, the
// sheet's edge and shadow and the scanner's lid beyond it, punch holes, staples; text showing
// through is known only among its neighbours. Anything coloured is ink.
TVerdict Judge(const TPatch &p, const TPage &page) {
  const TInkGrid &g = page.Grid;
  const double longSide = std::max((p.MaxX - p.MinX + 1) * g.CellMmX, (p.MaxY - p.MinY + 1) * g.CellMmY);
  const double shortSide = std::min((p.MaxX - p.MinX + 1) * g.CellMmX, (p.MaxY - p.MinY + 1) * g.CellMmY);
  if (longSide <= kDustMm || (p.Cells <= 5 && longSide <= 1.6))
    return TVerdict::NotContent;
  const bool coloured = p.Coloured * 4 >= p.Cells;
  const TShape shape = ShapeOf(p, g);
  if (!coloured) {
    if (p.TouchesBorder && p.FarthestFromBorderMm <= kEdgeBandMm && AlongAnEdge(p, page))
      return TVerdict::NotContent;
    if (shape.Straight && p.FarthestFromBorderMm <= kEdgeLineMm && AlongAnEdge(p, page))
      return TVerdict::NotContent;
    if (IsPunchHole(p, page) || IsStaple(p, page, shape))
      return TVerdict::NotContent;
  }
  if (page.Paper - p.Typical < std::max(kShowThroughContrast, page.Faint + 12) &&
      shortSide <= kShowThroughStrokeMm)
    return TVerdict::ShowThroughIfAmongMany;
  return TVerdict::Content;
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

template <typename T> T PercentileOf(std::vector<T> values, int percent) {
  const size_t at = std::min(values.size() - 1, values.size() * percent / 100);
  std::nth_element(values.begin(), values.begin() + at, values.end());
  return values[at];
}

struct TTiles {
  int X, Y, Across, Down;
};

// The paper's level (the brightest tiles' bright majority: a photo or dense text darkens a tile,
// paper never brightens one) and its grain, measured on the side itself; false for a sheet too
// dark to be paper.
bool ReadPaper(const TInkGrid &g, const TTiles &tiles, int &paper, int &faint) {
  std::vector<int> levels, grains;
  for (int ty = 0; ty < tiles.Down; ++ty)
    for (int tx = 0; tx < tiles.Across; ++tx) {
      int histogram[256] = {};
      const int x0 = tx * tiles.X, x1 = std::min(g.Width, x0 + tiles.X);
      const int y0 = ty * tiles.Y, y1 = std::min(g.Height, y0 + tiles.Y);
      for (int y = y0; y < y1; ++y)
        for (const uint8_t *c = g.Row(y) + x0, *e = g.Row(y) + x1; c < e; ++c)
          ++histogram[*c];
      const int count = (x1 - x0) * (y1 - y0);
      levels.push_back(Percentile(histogram, count, 90));
      grains.push_back(levels.back() - Percentile(histogram, count, 50));
    }
  paper = PercentileOf(levels, 90);
  faint = std::clamp(5 * PercentileOf(grains, 50) + 4, kFaintestInk, kMostInkContrast);
  return paper >= kDarkestPaper;
}

} // namespace

double PageDpi(double dpi, int width) {
  if (dpi >= 50 && dpi <= 2400 && width / dpi <= kWidestSheetInches)
    return dpi;
  return std::max(50.0, width / 8.27);
}

int CellPixels(double dpi) { return std::max(1, static_cast<int>(std::lround(dpi / kCellDpi))); }

TCellPooler::TCellPooler(int width, int height, int bytesPerPixel, int cell, double dpi)
    : Width(std::max(0, width)), BytesPerPixel(bytesPerPixel), Cell(std::max(1, cell)) {
  const uint64_t across = Parts(Width, Cell);
  const uint64_t down = Parts(std::max(0, height), Cell);
  if (across * down > kMostGridCells || static_cast<uint64_t>(Width) * BytesPerPixel > kMostRowBytes) {
    Grid.TooLarge = true;
    return;
  }
  Darkest.resize(static_cast<size_t>(Width) * BytesPerPixel);
  Grid.Width = static_cast<int>(across);
  Grid.Height = static_cast<int>(down);
  Grid.CellMmX = Grid.CellMmY = 25.4 * Cell / dpi;
  Grid.Greys.assign(static_cast<size_t>(across * down), 255);
  if (BytesPerPixel >= 3)
    Grid.Brightest.assign(Grid.Greys.size(), 255);
}

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
  const size_t at = static_cast<size_t>(CellRow) * Grid.Width;
  const uint8_t *d = Darkest.data();
  for (int cx = 0; cx < Grid.Width; ++cx) {
    const int x0 = cx * Cell, x1 = std::min(Width, x0 + Cell);
    if (BytesPerPixel == 1) {
      Grid.Greys[at + cx] = *std::min_element(d + x0, d + x1);
      continue;
    }
    std::array<uint8_t, 3> channels{255, 255, 255};
    for (int x = x0; x < x1; ++x)
      for (int k = 0; k < 3; ++k)
        channels[k] = std::min(channels[k], d[static_cast<size_t>(x) * BytesPerPixel + k]);
    Grid.Greys[at + cx] = *std::min_element(channels.begin(), channels.end());
    Grid.Brightest[at + cx] = *std::max_element(channels.begin(), channels.end());
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
  if (g.TooLarge)
    return true;
  if (g.Width <= 0 || g.Height <= 0)
    return false;
  TTiles tiles;
  tiles.X = std::max(4, static_cast<int>(std::lround(kTileMm / g.CellMmX)));
  tiles.Y = std::max(4, static_cast<int>(std::lround(kTileMm / g.CellMmY)));
  tiles.Across = static_cast<int>(Parts(g.Width, tiles.X));
  tiles.Down = static_cast<int>(Parts(g.Height, tiles.Y));
  int paper = 255, faint = kFaintestInk;
  if (!ReadPaper(g, tiles, paper, faint))
    return true;
  const TPage page{g,
                   g.Width * g.CellMmX,
                   g.Height * g.CellMmY,
                   paper,
                   faint,
                   static_cast<uint8_t>(std::max(0, paper - faint))};

  // Each patch of ink (cells touching at a side or a corner) is looked at once; faint small marks
  // wait until every patch is known, to see whether they come in crowds like text from the back.
  std::vector<uint8_t> seen(g.Greys.size());
  std::vector<int> pending;
  std::vector<uint8_t> greys;  // of the patch being followed
  std::vector<int> faintMarks; // their tiles
  for (size_t start = 0; start < g.Greys.size(); ++start) {
    if (seen[start] || g.Greys[start] >= page.FaintAt)
      continue;
    TPatch p;
    p.MinX = p.MaxX = static_cast<int>(start % g.Width);
    p.MinY = p.MaxY = static_cast<int>(start / g.Width);
    seen[start] = 1;
    pending.assign(1, static_cast<int>(start));
    greys.clear();
    while (!pending.empty()) {
      const int i = pending.back();
      pending.pop_back();
      const int x = i % g.Width, y = i / g.Width;
      const double mmX = (x + 0.5) * g.CellMmX, mmY = (y + 0.5) * g.CellMmY;
      ++p.Cells;
      p.Darkest = std::min(p.Darkest, g.Greys[i]);
      greys.push_back(g.Greys[i]);
      p.Coloured += !g.Brightest.empty() && g.Brightest[i] - g.Greys[i] >= kColourSpread;
      p.MinX = std::min(p.MinX, x);
      p.MaxX = std::max(p.MaxX, x);
      p.MinY = std::min(p.MinY, y);
      p.MaxY = std::max(p.MaxY, y);
      p.TouchesBorder |= x == 0 || y == 0 || x == g.Width - 1 || y == g.Height - 1;
      const double fromBorder = std::min({mmX, page.WidthMm - mmX, mmY, page.HeightMm - mmY});
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
          if (!seen[n] && g.Greys[n] < page.FaintAt) {
            seen[n] = 1;
            pending.push_back(static_cast<int>(n));
          }
        }
    }
    std::nth_element(greys.begin(), greys.begin() + greys.size() / 2, greys.end());
    p.Typical = greys[greys.size() / 2];
    const TVerdict verdict = Judge(p, page);
    if (verdict == TVerdict::Content)
      return true;
    if (verdict == TVerdict::ShowThroughIfAmongMany) {
      const int x = static_cast<int>(start % g.Width), y = static_cast<int>(start / g.Width);
      faintMarks.push_back(y / tiles.Y * tiles.Across + x / tiles.X); // the tile of its first cell
    }
  }
  std::vector<int> perTile(static_cast<size_t>(tiles.Across) * tiles.Down);
  for (int tile : faintMarks)
    ++perTile[tile];
  for (int tile : faintMarks) {
    const int tx = tile % tiles.Across, ty = tile / tiles.Across;
    int around = -1; // itself
    for (int y = std::max(0, ty - 1); y <= std::min(tiles.Down - 1, ty + 1); ++y)
      for (int x = std::max(0, tx - 1); x <= std::min(tiles.Across - 1, tx + 1); ++x)
        around += perTile[static_cast<size_t>(y) * tiles.Across + x];
    if (around < kShowThroughNeighbours)
      return true; // a faint mark on its own: a pencil note, not the back's text
  }
  return false;
}
