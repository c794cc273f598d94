// The small picture of a scanned side that the window shows of the last sheet: made on the
// writer's thread from the pixels already in memory, or from the rows of the one reduced decode
// of a scanner's JPEG, a few samples averaged per picture pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct FIBITMAP;

struct TSidePicture {
  int Width = 0;
  int Height = 0;
  // Bottom-up rows of blue, green, red, each padded to 4 bytes: a DIB that GDI draws as it is.
  std::vector<uint8_t> Bgr;
  bool Empty() const { return Width == 0 || Height == 0; }
  size_t Pitch() const { return (static_cast<size_t>(Width) * 3 + 3) & ~static_cast<size_t>(3); }
};

// The size of the pictures the window shows.
constexpr int kSidePictureWidth = 71;
constexpr int kSidePictureHeight = 100;

// What is seen of a side while its pixels are at hand: made once, by whoever holds them first
// (an encoder, or the writer).
struct TSideLook {
  bool Done = false;
  bool Blank = false; // looked for only when blank sides are set aside
  TSidePicture Picture;
  // A later page of a newer sheet was queued before this one was looked at: the window will show
  // that one, so a picture that costs a decode is not made for this one.
  bool Superseded = false;
};

// The page shrunk to fit maxWidth x maxHeight, its shape kept; empty for a page it cannot read.
TSidePicture SidePictureOf(FIBITMAP *page, int maxWidth, int maxHeight);
// The same of the scanner's JPEG file, decoded at 1/8 scale.
TSidePicture SidePictureOfJpeg(const uint8_t *data, size_t size, int maxWidth, int maxHeight);

// Shrinks a page given row by row, top first, into its picture: for rows decoded for another
// purpose, so that the picture costs no decode of its own.
class TPictureShrinker {
public:
  // bytesPerPixel 1 (grey) or 3 (red, green, blue).
  TPictureShrinker(int width, int height, int bytesPerPixel, int maxWidth, int maxHeight);
  void Row(const uint8_t *row);
  TSidePicture Take();

private:
  void Emit();

  int Width, Height, BytesPerPixel, Step;
  int RowsIn = 0, OutRow = 0;
  std::vector<int> OutColumn; // of each sampled pixel, every Step-th
  std::vector<uint32_t> Sums; // blue, green, red and count per picture pixel of the current row
  TSidePicture Picture;
};
