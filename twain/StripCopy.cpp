#include "twain/StripCopy.h"

#include <algorithm>
#include <cstring>
#include <utility>

size_t DibRowStride(uint32_t bitsPerPixel, uint32_t width) {
  return static_cast<size_t>((static_cast<uint64_t>(bitsPerPixel) * width + 31) / 32 * 4);
}

TStripOutcome CopyStrip(const uint8_t *strip, size_t length, size_t sourceRowBytes,
                        const TStripTarget &target, TStripState &state,
                        const std::function<void(uint32_t rowsCompleted)> &rowDone) {
  if (sourceRowBytes == 0)
    sourceRowBytes = target.stride;
  auto completeRow = [&](uint8_t *row) {
    uint32_t pixels = static_cast<uint32_t>(std::min<size_t>(target.swapPixels, target.stride / 3));
    for (uint32_t i = 0; i < pixels; ++i)
      std::swap(row[3 * i], row[3 * i + 2]);
    state.bytesInRow = 0;
    ++state.rowsCompleted;
    if (rowDone)
      rowDone(state.rowsCompleted);
  };
  size_t consumed = 0;
  while (consumed < length) {
    if (state.rowsCompleted >= target.height || sourceRowBytes == 0)
      return TStripOutcome::surplus;
    uint8_t *row = target.pixels + target.stride * (target.height - 1 - state.rowsCompleted);
    if (state.bytesInRow >= sourceRowBytes) {
      // The row length changed between strips and the current row already holds a whole row.
      completeRow(row);
      continue;
    }
    size_t n = std::min(length - consumed, sourceRowBytes - state.bytesInRow);
    // Keep only what lies within the bitmap row.
    if (state.bytesInRow < target.stride) {
      size_t kept = std::min(n, target.stride - state.bytesInRow);
      std::memcpy(row + state.bytesInRow, strip + consumed, kept);
    }
    consumed += n;
    state.bytesInRow += n;
    if (state.bytesInRow == sourceRowBytes)
      completeRow(row);
  }
  return TStripOutcome::ok;
}

size_t StripRowBytes(uint32_t bytesPerRow, size_t stride, size_t minimumRowBytes) {
  if (bytesPerRow == 0 || bytesPerRow == 0xFFFFFFFFu || bytesPerRow == stride ||
      bytesPerRow < minimumRowBytes)
    return stride;
  return bytesPerRow;
}

uint32_t TransferBufferSize(uint32_t minBufSize, uint32_t maxBufSize, uint32_t preferred) {
  if (preferred > 0 && preferred <= kMaxTransferBuffer)
    return preferred;
  uint32_t size = kDefaultTransferBuffer;
  if (maxBufSize > 0 && maxBufSize < size)
    size = maxBufSize;
  if (minBufSize > size && minBufSize <= kMaxTransferBuffer)
    size = minBufSize;
  return size;
}
