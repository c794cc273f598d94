// Copying of the strips of a memory transfer into the rows of a bottom-up bitmap section
// (ReceiveMemoryStrips). A pure function over the strip and the rows, so
// every bound can be tested directly: nothing is ever written outside the bitmap's rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// How the source's samples become the pixels of the page bitmap. Depths a bitmap section would
// misread are narrowed while the rows are copied: 16-bit grey keeps the high byte of each
// little-endian sample (an 8-bit grey bitmap; a 16-bit section means RGB555), and 32-bit RGB
// (the fourth byte alpha or padding) becomes 24-bit blue-first pixels.
enum class TSampleConversion { copy, swapRedBlue, grey16To8, rgbx32ToBgr };

// The rows being filled: `height` rows of `stride` bytes at `pixels`, stored bottom-up (the first
// row of the image is the last row in memory) unless `topDown`.
struct TStripTarget {
  uint8_t *pixels = nullptr;
  size_t stride = 0;
  uint32_t height = 0;
  bool topDown = false;
  // 3-byte pixels per row whose first and third byte are exchanged as soon as the row is complete
  // (RGB rows: the source sends red first, the bitmap stores blue first); 0 for other pixel types.
  // Never more than fit in one row.
  uint32_t swapPixels = 0;
  // grey16To8 or rgbx32ToBgr: each row's first `narrowPixels` source pixels are narrowed into the
  // row (never more than fit in it); any other value copies the bytes as they are.
  TSampleConversion narrow = TSampleConversion::copy;
  uint32_t narrowPixels = 0;
};

// Progress through the page, carried from strip to strip (a row may begin in one strip and end in
// the next).
struct TStripState {
  uint32_t rowsCompleted = 0;
  size_t bytesInRow = 0; // bytes of the current source row consumed so far
  // Narrowed rows split across strips: the part of the row received so far (at most one row of
  // the pixels kept).
  std::vector<uint8_t> partialRow;
};

enum class TStripOutcome {
  ok,      // every byte of the strip went into a row
  surplus, // the strip holds more bytes than the bitmap has rows left: the rest was not written
};

// Consumes `length` bytes of `strip`. Source rows are `sourceRowBytes` long: the bitmap's stride
// for a continuous run of padded rows, or the strip's BytesPerRow for sources whose rows are not
// padded to 4 bytes. Of each source row the first `stride` bytes at most are kept; a shorter row
// leaves the rest of the bitmap row as it was. `rowDone` is called once per completed row with the
// number of rows completed so far (after the RGB swap of that row).
TStripOutcome CopyStrip(const uint8_t *strip, size_t length, size_t sourceRowBytes,
                        const TStripTarget &target, TStripState &state,
                        const std::function<void(uint32_t rowsCompleted)> &rowDone);

// Zeroes what of the target's rows the strips have not written, as a fresh bitmap would hold it:
// the rows after the last one completed and the rest of a row begun (all of a narrowed row, which
// is written only when complete). For a bitmap that held an earlier page.
void BlankRowsNotReceived(const TStripTarget &target, const TStripState &state);

// Bytes of one bitmap row: bits per pixel x width rounded up to whole 32-bit words.
size_t DibRowStride(uint32_t bitsPerPixel, uint32_t width);

// Length of the source rows in a strip: the strip's BytesPerRow when it describes rows that are
// not padded like the bitmap's (it differs from `stride` and holds at least the row's pixels,
// `minimumRowBytes`); otherwise `stride` (continuous run of padded rows). 0 and the don't-care
// value 0xFFFFFFFF give `stride`.
size_t StripRowBytes(uint32_t bytesPerRow, size_t stride, size_t minimumRowBytes);

enum class TGatherOutcome {
  ok,
  tooLarge, // more than the limit
  noMemory,
};

// Rows of a page whose length the source does not know until the page is done (ImageLength -1),
// stored top-down in `rows`: makes room for at least `rowsNeeded` rows of `stride` bytes, growing
// geometrically (so the rows are not copied once per strip) and zero-filled, up to `maxRows` rows
// and `maxBytes` bytes.
TGatherOutcome GrowRows(std::vector<uint8_t> &rows, size_t stride, uint64_t rowsNeeded, uint32_t maxRows,
                        uint64_t maxBytes);

// Rows a strip of `length` bytes completes or starts, counted from the page's first row.
uint64_t RowsAfterStrip(const TStripState &state, size_t length, size_t sourceRowBytes);

// Largest transfer buffer the layer allocates, and the size it uses when the source gives no
// usable preferred size (0, don't care, or above the largest).
constexpr uint32_t kMaxTransferBuffer = 64u << 20;
constexpr uint32_t kDefaultTransferBuffer = 64u << 10;

// Size of the transfer buffer for the source's DAT_SETUPMEMXFER answer: Preferred when it lies in
// 1..kMaxTransferBuffer; otherwise kDefaultTransferBuffer, raised to MinBufSize and lowered to
// MaxBufSize where those are usable.
uint32_t TransferBufferSize(uint32_t minBufSize, uint32_t maxBufSize, uint32_t preferred);
