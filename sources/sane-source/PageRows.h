// SANE frames turned into a page in TWAIN's layout. Pure functions over the bytes a backend
// delivered: every size they use is checked against the length of those bytes, never taken on
// trust from the backend's parameters.
//
// A page is held once: its rows are laid out as the frame's bytes arrive (no copy of the frame),
// in blocks of whole rows, so that a transfer can give back what it has handed over. On the
// 32-bit bridge a 1200 dpi colour page is hundreds of megabytes: a second copy of it may not fit.
#pragma once

#include "sources/sane-source/SaneValues.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace sanesrc {

// What sane_get_parameters said about one frame (lines -1: the device did not know in advance).
struct FrameShape {
  SaneFrame format = SaneFrame::Gray;
  bool lastFrame = true;
  int bytesPerLine = 0;
  int pixelsPerLine = 0;
  int lines = 0;
  int depth = 0;
};

// Largest page the bridge takes: a quarter of a 32-bit process's 2 GiB. A native transfer puts the
// page into a bitmap of the application's beside the rows it still holds, and the application keeps
// its own copy: a larger page would fail only once read, or leave the application no room.
constexpr size_t kMaxPageBytes = size_t{1} << 29;

// Whether a frame the device announced fits under kMaxPageBytes (a three-pass frame is a third of
// its page); true when it does not say its length, which is then checked as its rows arrive.
bool FitsInMemory(const FrameShape &shape);

// Rows of one size in blocks of about a mebibyte (large enough that the C library maps each block
// on its own, so that a block given back is memory given back).
class RowBlocks {
public:
  void Reset(size_t rowBytes);
  size_t RowBytes() const { return rowBytes_; }
  uint32_t Rows() const { return rows_; }
  size_t size() const { return size_t(rows_) * rowBytes_; }
  bool empty() const { return rows_ == 0; }

  // Appends a zeroed row; null when the page would pass kMaxPageBytes or memory runs out.
  uint8_t *Append();
  // Row `r`; null past the end or when its block was given back.
  uint8_t *Row(uint32_t r);
  const uint8_t *Row(uint32_t r) const;
  // Keeps the first `rows` rows.
  void Truncate(uint32_t rows);
  // Gives back every block whose rows all lie before row `r`.
  void ReleaseBefore(uint32_t r);
  // Every row, one after another (small pages: tests).
  std::vector<uint8_t> Flat() const;

private:
  size_t rowBytes_ = 0;
  uint32_t rowsPerBlock_ = 1;
  uint32_t rows_ = 0;
  uint32_t firstCapacity_ = 0; // rows the first block has room for
  std::vector<std::unique_ptr<uint8_t[]>> blocks_;
};

// A page as TWAIN's memory transfer hands it over: rows top to bottom without padding, samples
// in red, green, blue order, and 1-bit pixels with 0 as black.
struct PageRows {
  uint32_t width = 0;
  uint32_t rows = 0;
  int samplesPerPixel = 0;
  int bitsPerSample = 0;
  uint32_t bytesPerRow = 0;
  RowBlocks bytes;         // `rows` rows of bytesPerRow
  bool lengthKnown = true; // false when the device announced -1 lines: rows is what arrived
  int framesSeen = 0;      // of a three-pass page: a bit per red, green, blue frame

  bool Complete() const { return framesSeen == 0 ? samplesPerPixel > 0 : framesSeen == 7; }
};

// Lays one frame out in a page as its bytes arrive. A grey or RGB frame is the whole page; a red,
// green or blue frame fills its channel of an RGB page set up by the first of them. The rows are
// those the frame announced, or as many whole lines as arrived when it announced -1 or sent fewer.
class FrameLayout {
public:
  // False (page unchanged) for a shape the bridge cannot lay out: no pixels, a line shorter than
  // its pixels, a depth other than 1, 8 or 16, one-bit colour, or a channel frame that does not
  // match the page's width.
  bool Begin(PageRows &page, const FrameShape &shape);
  // The frame's next bytes; false when the page would pass kMaxPageBytes.
  bool Add(const uint8_t *data, size_t size);
  // The frame is over: a partial last line is dropped, and a channel shorter than the page
  // shortens it (no row keeps a missing channel).
  void End();

private:
  bool TakeLine(const uint8_t *line);

  PageRows *page_ = nullptr;
  FrameShape shape_;
  int channel_ = -1;     // 0, 1, 2 for a red, green or blue frame
  size_t lineBytes_ = 0; // bytes of a line's pixels
  uint32_t line_ = 0;    // lines laid out
  std::vector<uint8_t> partial_;
};

// A whole frame of `size` bytes at `data`, as FrameLayout lays it out; false when it cannot (the
// page unchanged when the shape was refused).
bool AddFrame(PageRows &page, const FrameShape &shape, const uint8_t *data, size_t size);

// The page as a packed device-independent bitmap (header, palette, rows bottom up, each padded
// to 4 bytes, blue-green-red), as a native transfer hands it over. 16-bit samples keep their high
// byte. Header: 0 from DibHeaderBytes when the page is empty, too large, or its fields disagree
// with its bytes.
struct DibLayout {
  size_t headerBytes = 0; // BITMAPINFOHEADER and palette
  size_t stride = 0;      // bytes of a padded row
  size_t totalBytes = 0;
};
DibLayout DibLayoutOf(const PageRows &page);
// Writes the DIB into `out` (layout.totalBytes); with `giveBack`, the page's rows are given back
// as they are written. False when a row is missing.
bool WriteDib(PageRows &page, int xDotsPerInch, int yDotsPerInch, uint8_t *out, bool giveBack);
// The header alone (for a file written row by row), and one row in the DIB's layout.
void WriteDibHeader(const PageRows &page, int xDotsPerInch, int yDotsPerInch, uint8_t *out);
bool WriteDibRow(const PageRows &page, uint32_t row, uint8_t *out);
std::vector<uint8_t> PackedDib(const PageRows &page, int xDotsPerInch, int yDotsPerInch);

} // namespace sanesrc
