#include "twain/StripCopy.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <tmmintrin.h>
#include <utility>

size_t DibRowStride(uint32_t bitsPerPixel, uint32_t width) {
  return static_cast<size_t>((static_cast<uint64_t>(bitsPerPixel) * width + 31) / 32 * 4);
}

namespace {

uint8_t *RowAt(const TStripTarget &target, uint32_t row) {
  return target.pixels + target.stride * (target.topDown ? row : target.height - 1 - row);
}

// Exchanges the first and third byte of 3-byte pixels (the source sends red first, the bitmap
// stores blue first) while copying them; `dst` may be `src`.
void CopySwappingRedBluePlain(uint8_t *dst, const uint8_t *src, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i, src += 3, dst += 3) {
    const uint8_t first = src[0];
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = first;
  }
}

// Five pixels per 16-byte shuffle: about four times faster than byte by byte on an A4 colour
// page. The 16th byte stored is the next pixel's first byte unchanged, rewritten by the next step
// (so it also works in place), and the last steps are left to the plain loop so that no store
// reaches past the row.
__attribute__((target("ssse3"))) void CopySwappingRedBlueSsse3(uint8_t *dst, const uint8_t *src,
                                                               size_t pixels) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  size_t i = 0;
  for (; i + 6 <= pixels; i += 5, src += 15, dst += 15)
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst),
                     _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(src)), order));
  CopySwappingRedBluePlain(dst, src, pixels - i);
}

// Sixteen pixels per step, written past the caches: a page is far larger than they are, and the
// encoder reads it later from memory anyway, so the stores need not first read what they replace.
// Each 16 bytes written take their bytes from at most three neighbouring 16-byte loads; a step
// reads its 48 bytes before it writes them, so it also works in place.
struct TSwapMasks {
  alignas(16) uint8_t take[3][3][16]; // [output block][input block][byte]: an index, or 0x80 for none
  TSwapMasks() {
    for (int out = 0; out < 48; ++out) {
      const int in = out / 3 * 3 + 2 - out % 3;
      for (int block = 0; block < 3; ++block)
        take[out / 16][block][out % 16] = in / 16 == block ? static_cast<uint8_t>(in % 16) : 0x80;
    }
  }
};

__attribute__((target("ssse3"))) void CopySwappingRedBlueStreaming(uint8_t *dst, const uint8_t *src,
                                                                   size_t pixels) {
  static const TSwapMasks masks;
  size_t head = 0; // pixels until the stores are aligned
  while (head < pixels && (reinterpret_cast<uintptr_t>(dst + 3 * head) & 15) != 0)
    ++head;
  if (pixels - head < 16) {
    CopySwappingRedBlueSsse3(dst, src, pixels);
    return;
  }
  CopySwappingRedBluePlain(dst, src, head);
  dst += 3 * head;
  src += 3 * head;
  pixels -= head;
  const auto *take = reinterpret_cast<const __m128i *>(masks.take);
  for (; pixels >= 16; pixels -= 16, src += 48, dst += 48) {
    const __m128i in[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i *>(src)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 16)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 32))};
    for (int out = 0; out < 3; ++out) {
      __m128i bytes = _mm_shuffle_epi8(in[out], _mm_load_si128(take + 3 * out + out));
      if (out > 0)
        bytes = _mm_or_si128(bytes, _mm_shuffle_epi8(in[out - 1], _mm_load_si128(take + 3 * out + out - 1)));
      if (out < 2)
        bytes = _mm_or_si128(bytes, _mm_shuffle_epi8(in[out + 1], _mm_load_si128(take + 3 * out + out + 1)));
      _mm_stream_si128(reinterpret_cast<__m128i *>(dst + 16 * out), bytes);
    }
  }
  _mm_sfence(); // the streamed bytes are in memory before anyone is told the row is there
  CopySwappingRedBlueSsse3(dst, src, pixels);
}

bool ProcessorHasSsse3() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}

// A whole row as it is, written past the caches for the reason above.
__attribute__((target("sse2"))) void CopyRowStreaming(uint8_t *dst, const uint8_t *src, size_t n) {
  const size_t head = std::min(n, (16 - (reinterpret_cast<uintptr_t>(dst) & 15)) & 15);
  std::memcpy(dst, src, head);
  size_t i = head;
  for (; i + 16 <= n; i += 16)
    _mm_stream_si128(reinterpret_cast<__m128i *>(dst + i),
                     _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i)));
  _mm_sfence();
  std::memcpy(dst + i, src + i, n - i);
}

void CopyRow(uint8_t *dst, const uint8_t *src, size_t n) {
  static const bool sse2 = (__builtin_cpu_init(), __builtin_cpu_supports("sse2"));
  if (sse2 && n >= 64)
    CopyRowStreaming(dst, src, n);
  else
    std::memcpy(dst, src, n);
}

void CopySwappingRedBlue(uint8_t *dst, const uint8_t *src, size_t pixels) {
  static const bool ssse3 = ProcessorHasSsse3();
  if (ssse3)
    CopySwappingRedBlueStreaming(dst, src, pixels);
  else
    CopySwappingRedBluePlain(dst, src, pixels);
}

size_t SourcePixelBytes(TSampleConversion narrow) { return narrow == TSampleConversion::grey16To8 ? 2 : 4; }
size_t BitmapPixelBytes(TSampleConversion narrow) { return narrow == TSampleConversion::grey16To8 ? 1 : 3; }

void NarrowPixels(TSampleConversion narrow, uint8_t *dst, const uint8_t *src, size_t pixels) {
  if (narrow == TSampleConversion::grey16To8) {
    for (size_t i = 0; i < pixels; ++i)
      dst[i] = src[2 * i + 1];
    return;
  }
  for (size_t i = 0; i < pixels; ++i, src += 4, dst += 3) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
  }
}

// Walks a strip row by row for CopyStrip: `take(row, bytes, n, whole)` stores the next n bytes of
// the row being received (all of it, when `whole`), and `finish(row)` completes a row once all of
// it came, or once a shorter row length leaves it holding more than a whole row.
template <class Take, class Finish>
TStripOutcome WalkRows(const uint8_t *strip, size_t length, size_t sourceRowBytes, const TStripTarget &target,
                       TStripState &state, const std::function<void(uint32_t rowsCompleted)> &rowDone,
                       Take take, Finish finish) {
  auto complete = [&](uint8_t *row) {
    finish(row);
    state.bytesInRow = 0;
    ++state.rowsCompleted;
    if (rowDone)
      rowDone(state.rowsCompleted);
  };
  size_t consumed = 0;
  while (consumed < length) {
    if (state.rowsCompleted >= target.height || sourceRowBytes == 0)
      return TStripOutcome::surplus;
    uint8_t *row = RowAt(target, state.rowsCompleted);
    if (state.bytesInRow >= sourceRowBytes) {
      complete(row); // the row length changed between strips
      continue;
    }
    const size_t n = std::min(length - consumed, sourceRowBytes - state.bytesInRow);
    take(row, strip + consumed, n, state.bytesInRow == 0 && n == sourceRowBytes);
    consumed += n;
    state.bytesInRow += n;
    if (state.bytesInRow == sourceRowBytes)
      complete(row);
  }
  return TStripOutcome::ok;
}

// Rows whose pixels are narrowed (16-bit grey, 32-bit RGB): a row split across strips is gathered
// in the state first, as far as it holds pixels the bitmap keeps.
TStripOutcome NarrowStrip(const uint8_t *strip, size_t length, size_t sourceRowBytes,
                          const TStripTarget &target, TStripState &state,
                          const std::function<void(uint32_t rowsCompleted)> &rowDone) {
  const size_t in = SourcePixelBytes(target.narrow);
  const size_t pixels = std::min<size_t>(
      {target.narrowPixels, target.stride / BitmapPixelBytes(target.narrow), sourceRowBytes / in});
  const size_t kept = pixels * in;   // bytes of a source row that carry kept pixels
  const uint8_t *wholeRow = nullptr; // a row that lies whole in the strip is narrowed from there
  auto take = [&](uint8_t *, const uint8_t *bytes, size_t n, bool whole) {
    if (whole)
      wholeRow = bytes;
    else if (state.bytesInRow < kept)
      state.partialRow.insert(state.partialRow.end(), bytes, bytes + std::min(n, kept - state.bytesInRow));
  };
  auto finish = [&](uint8_t *row) {
    const size_t sourceBytes = wholeRow ? sourceRowBytes : state.partialRow.size();
    NarrowPixels(target.narrow, row, wholeRow ? wholeRow : state.partialRow.data(),
                 std::min(pixels, sourceBytes / in));
    wholeRow = nullptr;
    state.partialRow.clear();
  };
  return WalkRows(strip, length, sourceRowBytes, target, state, rowDone, take, finish);
}

} // namespace

TStripOutcome CopyStrip(const uint8_t *strip, size_t length, size_t sourceRowBytes,
                        const TStripTarget &target, TStripState &state,
                        const std::function<void(uint32_t rowsCompleted)> &rowDone) {
  if (sourceRowBytes == 0)
    sourceRowBytes = target.stride;
  if (target.narrow == TSampleConversion::grey16To8 || target.narrow == TSampleConversion::rgbx32ToBgr)
    return NarrowStrip(strip, length, sourceRowBytes, target, state, rowDone);
  const size_t swapBytes = std::min<size_t>(target.swapPixels, target.stride / 3) * 3;
  bool swapped = false; // the row was swapped while copied
  auto take = [&](uint8_t *row, const uint8_t *bytes, size_t n, bool whole) {
    if (state.bytesInRow >= target.stride)
      return; // only what lies within the bitmap row is kept
    const size_t kept = std::min(n, target.stride - state.bytesInRow);
    if (whole && swapBytes > 0 && kept >= swapBytes) {
      CopySwappingRedBlue(row, bytes, swapBytes / 3);
      std::memcpy(row + swapBytes, bytes + swapBytes, kept - swapBytes);
      swapped = true;
    } else if (whole) {
      CopyRow(row, bytes, kept);
    } else {
      std::memcpy(row + state.bytesInRow, bytes, kept);
    }
  };
  auto finish = [&](uint8_t *row) {
    if (!swapped)
      CopySwappingRedBlue(row, row, swapBytes / 3);
    swapped = false;
  };
  return WalkRows(strip, length, sourceRowBytes, target, state, rowDone, take, finish);
}

void BlankRowsNotReceived(const TStripTarget &target, const TStripState &state) {
  if (!target.pixels || state.rowsCompleted >= target.height)
    return;
  const bool narrowed =
      target.narrow == TSampleConversion::grey16To8 || target.narrow == TSampleConversion::rgbx32ToBgr;
  const size_t begun = narrowed ? 0 : std::min(state.bytesInRow, target.stride);
  std::memset(RowAt(target, state.rowsCompleted) + begun, 0, target.stride - begun);
  for (uint32_t row = state.rowsCompleted + 1; row < target.height; ++row)
    std::memset(RowAt(target, row), 0, target.stride);
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

TGatherOutcome GrowRows(std::vector<uint8_t> &rows, size_t stride, uint64_t rowsNeeded, uint32_t maxRows,
                        uint64_t maxBytes) {
  if (stride == 0)
    return TGatherOutcome::tooLarge;
  const uint64_t limit = std::min<uint64_t>(maxRows, maxBytes / stride);
  if (rowsNeeded > limit)
    return TGatherOutcome::tooLarge;
  const uint64_t have = rows.size() / stride;
  if (rowsNeeded <= have)
    return TGatherOutcome::ok;
  const uint64_t grown = std::min(limit, std::max<uint64_t>({rowsNeeded, have * 2, 64}));
  try {
    rows.resize(static_cast<size_t>(grown * stride), 0);
  } catch (const std::bad_alloc &) {
    // Ask for no more than needed before giving up.
    try {
      rows.resize(static_cast<size_t>(rowsNeeded * stride), 0);
    } catch (const std::bad_alloc &) {
      return TGatherOutcome::noMemory;
    }
  }
  return TGatherOutcome::ok;
}

uint64_t RowsAfterStrip(const TStripState &state, size_t length, size_t sourceRowBytes) {
  if (sourceRowBytes == 0)
    return state.rowsCompleted;
  return state.rowsCompleted +
         (static_cast<uint64_t>(state.bytesInRow) + length + sourceRowBytes - 1) / sourceRowBytes;
}
