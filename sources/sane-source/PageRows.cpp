#include "sources/sane-source/PageRows.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace sanesrc {

namespace {

constexpr size_t kBlockBytes = size_t{1} << 20;

} // namespace

void RowBlocks::Reset(size_t rowBytes) {
  blocks_.clear();
  rows_ = 0;
  firstCapacity_ = 0;
  rowBytes_ = rowBytes;
  rowsPerBlock_ = rowBytes == 0 ? 1 : static_cast<uint32_t>(std::max<size_t>(1, kBlockBytes / rowBytes));
}

uint8_t *RowBlocks::Append() {
  if (rowBytes_ == 0 || uint64_t(rows_) * rowBytes_ + rowBytes_ > kMaxPageBytes)
    return nullptr;
  const size_t block = rows_ / rowsPerBlock_;
  if (block == 0 && rows_ == firstCapacity_) {
    // The first block grows as a small page needs; later blocks are whole from the start.
    const uint32_t capacity = std::min(rowsPerBlock_, std::max<uint32_t>(16, firstCapacity_ * 2));
    std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[size_t(capacity) * rowBytes_]);
    if (!grown)
      return nullptr;
    if (!blocks_.empty() && blocks_[0])
      std::memcpy(grown.get(), blocks_[0].get(), size_t(rows_) * rowBytes_);
    if (blocks_.empty())
      blocks_.emplace_back();
    blocks_[0] = std::move(grown);
    firstCapacity_ = capacity;
  } else if (block == blocks_.size()) {
    blocks_.emplace_back(new (std::nothrow) uint8_t[size_t(rowsPerBlock_) * rowBytes_]);
    if (!blocks_.back()) {
      blocks_.pop_back();
      return nullptr;
    }
  }
  ++rows_;
  uint8_t *row = Row(rows_ - 1);
  std::memset(row, 0, rowBytes_);
  return row;
}

uint8_t *RowBlocks::Row(uint32_t r) {
  return const_cast<uint8_t *>(static_cast<const RowBlocks *>(this)->Row(r));
}

const uint8_t *RowBlocks::Row(uint32_t r) const {
  const size_t block = r / rowsPerBlock_;
  if (r >= rows_ || block >= blocks_.size() || !blocks_[block])
    return nullptr;
  return blocks_[block].get() + size_t(r % rowsPerBlock_) * rowBytes_;
}

void RowBlocks::Truncate(uint32_t rows) {
  if (rows >= rows_)
    return;
  rows_ = rows;
  blocks_.resize((size_t(rows) + rowsPerBlock_ - 1) / rowsPerBlock_);
  if (blocks_.empty())
    firstCapacity_ = 0;
}

void RowBlocks::ReleaseBefore(uint32_t r) {
  const size_t whole = std::min<size_t>(r / rowsPerBlock_, blocks_.size());
  for (size_t b = 0; b < whole; ++b)
    blocks_[b].reset();
}

std::vector<uint8_t> RowBlocks::Flat() const {
  std::vector<uint8_t> bytes;
  bytes.reserve(size());
  for (uint32_t r = 0; r < rows_; ++r) {
    const uint8_t *row = Row(r);
    if (!row)
      break;
    bytes.insert(bytes.end(), row, row + rowBytes_);
  }
  return bytes;
}

namespace {

int ChannelOf(SaneFrame format) {
  switch (format) {
  case SaneFrame::Red:
    return 0;
  case SaneFrame::Green:
    return 1;
  case SaneFrame::Blue:
    return 2;
  default:
    return -1;
  }
}

// Bytes of a line's pixels, or 0 when the shape cannot be laid out. Reckoned in 64 bits: on the
// 32-bit bridge a backend's width times samples times depth would wrap size_t.
size_t PixelBytes(const FrameShape &shape, int samples) {
  if (shape.pixelsPerLine <= 0 || shape.bytesPerLine <= 0)
    return 0;
  if (shape.depth != 1 && shape.depth != 8 && shape.depth != 16)
    return 0;
  if (shape.depth == 1 && samples != 1)
    return 0;
  const uint64_t bits = uint64_t(shape.pixelsPerLine) * uint64_t(samples) * uint64_t(shape.depth);
  const uint64_t bytes = (bits + 7) / 8;
  return bytes <= uint64_t(shape.bytesPerLine) ? static_cast<size_t>(bytes) : 0;
}

} // namespace

bool FrameLayout::Begin(PageRows &page, const FrameShape &shape) {
  page_ = nullptr;
  line_ = 0;
  partial_.clear();
  channel_ = -1;
  if (shape.format == SaneFrame::Gray || shape.format == SaneFrame::Rgb) {
    const int samples = shape.format == SaneFrame::Rgb ? 3 : 1;
    lineBytes_ = PixelBytes(shape, samples);
    if (lineBytes_ == 0)
      return false;
    page = PageRows{};
    page.width = static_cast<uint32_t>(shape.pixelsPerLine);
    page.samplesPerPixel = samples;
    page.bitsPerSample = shape.depth;
    page.bytesPerRow = static_cast<uint32_t>(lineBytes_);
    page.lengthKnown = shape.lines >= 0;
    page.bytes.Reset(lineBytes_);
  } else {
    channel_ = ChannelOf(shape.format);
    lineBytes_ = channel_ < 0 ? 0 : PixelBytes(shape, 1);
    // The page's row holds three of these lines: its size must not wrap either.
    if (lineBytes_ == 0 || shape.depth == 1 || lineBytes_ > kMaxPageBytes / 3)
      return false;
    if (page.framesSeen == 0) {
      page = PageRows{};
      page.width = static_cast<uint32_t>(shape.pixelsPerLine);
      page.samplesPerPixel = 3;
      page.bitsPerSample = shape.depth;
      page.bytesPerRow = static_cast<uint32_t>(lineBytes_ * 3);
      page.lengthKnown = shape.lines >= 0;
      page.bytes.Reset(lineBytes_ * 3);
    } else if (page.samplesPerPixel != 3 || page.width != uint32_t(shape.pixelsPerLine) ||
               page.bitsPerSample != shape.depth || page.bytesPerRow != lineBytes_ * 3 ||
               page.bytes.RowBytes() != page.bytesPerRow || page.bytes.Rows() != page.rows) {
      return false; // a later channel must have the first one's shape
    }
  }
  page_ = &page;
  shape_ = shape;
  return true;
}

bool FrameLayout::TakeLine(const uint8_t *in) {
  PageRows &page = *page_;
  if (shape_.lines >= 0 && line_ >= uint32_t(shape_.lines))
    return true; // past the lines announced: not part of the page
  if (channel_ < 0) {
    uint8_t *out = page.bytes.Append();
    if (!out)
      return false;
    std::memcpy(out, in, lineBytes_);
    // SANE's lineart has 1 as black; TWAIN's has 0 as black. The bits after a row's last pixel
    // stay clear.
    if (shape_.depth == 1) {
      const unsigned used = unsigned(shape_.pixelsPerLine % 8);
      for (size_t i = 0; i < lineBytes_; ++i)
        out[i] = static_cast<uint8_t>(~out[i]);
      out[lineBytes_ - 1] &= static_cast<uint8_t>(used ? 0xFF00 >> used : 0xFF);
    }
    page.rows = page.bytes.Rows();
  } else {
    uint8_t *out = nullptr;
    if (page.framesSeen == 0) { // the first channel makes the rows
      out = page.bytes.Append();
      if (!out)
        return false;
      page.rows = page.bytes.Rows();
    } else if (line_ < page.rows) {
      out = page.bytes.Row(line_);
    }
    if (out) {
      const size_t sampleBytes = size_t(shape_.depth / 8);
      out += size_t(channel_) * sampleBytes;
      for (uint32_t x = 0; x < page.width; ++x)
        std::memcpy(out + size_t(x) * 3 * sampleBytes, in + size_t(x) * sampleBytes, sampleBytes);
    }
  }
  ++line_;
  return true;
}

bool FrameLayout::Add(const uint8_t *data, size_t size) {
  if (!page_)
    return false;
  const size_t lineLength = size_t(shape_.bytesPerLine);
  // A line split between reads is gathered first.
  if (!partial_.empty()) {
    const size_t n = std::min(size, lineLength - partial_.size());
    partial_.insert(partial_.end(), data, data + n);
    data += n;
    size -= n;
    if (partial_.size() < lineLength)
      return true;
    if (!TakeLine(partial_.data()))
      return false;
    partial_.clear();
  }
  for (; size >= lineLength; data += lineLength, size -= lineLength)
    if (!TakeLine(data))
      return false;
  partial_.assign(data, data + size);
  return true;
}

void FrameLayout::End() {
  if (!page_)
    return;
  PageRows &page = *page_;
  if (channel_ >= 0) {
    if (page.framesSeen != 0 && line_ < page.rows) {
      page.rows = line_;
      page.bytes.Truncate(line_);
    }
    page.lengthKnown = page.lengthKnown && shape_.lines >= 0;
    page.framesSeen |= 1 << channel_;
  }
  partial_.clear();
  page_ = nullptr;
}

bool AddFrame(PageRows &page, const FrameShape &shape, const uint8_t *data, size_t size) {
  if (!data && size != 0)
    return false;
  FrameLayout layout;
  if (!layout.Begin(page, shape))
    return false;
  if (size != 0 && !layout.Add(data, size))
    return false;
  layout.End();
  return true;
}

namespace {

// Whether the page's fields agree with each other and with its rows, as FrameLayout makes them.
bool Consistent(const PageRows &page) {
  if (page.width == 0 || page.rows == 0 || (page.samplesPerPixel != 1 && page.samplesPerPixel != 3))
    return false;
  if (page.bitsPerSample != 1 && page.bitsPerSample != 8 && page.bitsPerSample != 16)
    return false;
  if (page.bitsPerSample == 1 && page.samplesPerPixel != 1)
    return false;
  const uint64_t pixelBytes =
      (uint64_t(page.width) * uint64_t(page.samplesPerPixel) * page.bitsPerSample + 7) / 8;
  const uint64_t bytes = uint64_t(page.rows) * page.bytesPerRow;
  return page.bytesPerRow >= pixelBytes && bytes <= kMaxPageBytes &&
         page.bytes.RowBytes() == page.bytesPerRow && page.bytes.Rows() >= page.rows;
}

// Pixels per metre of a resolution in dots per inch; 0 when unknown or beyond the header's field.
uint32_t PerMetre(int dotsPerInch) {
  if (dotsPerInch <= 0)
    return 0;
  const int64_t perMetre = (int64_t(dotsPerInch) * 10000 + 127) / 254;
  return perMetre <= INT32_MAX ? static_cast<uint32_t>(perMetre) : 0;
}

void PutLE(uint8_t *at, uint32_t value, size_t n) {
  for (size_t i = 0; i < n; ++i)
    at[i] = static_cast<uint8_t>(value >> (8 * i));
}

int BitCount(const PageRows &page) {
  return page.samplesPerPixel == 3 ? 24 : (page.bitsPerSample == 1 ? 1 : 8);
}

} // namespace

DibLayout DibLayoutOf(const PageRows &page) {
  if (!Consistent(page))
    return {};
  const int bitCount = BitCount(page);
  const uint64_t stride = (uint64_t(page.width) * bitCount + 31) / 32 * 4;
  if (stride * page.rows > kMaxPageBytes)
    return {};
  DibLayout layout;
  layout.headerBytes = 40 + (bitCount == 24 ? 0 : (size_t{1} << bitCount) * 4);
  layout.stride = size_t(stride);
  layout.totalBytes = layout.headerBytes + size_t(stride * page.rows);
  return layout;
}

void WriteDibHeader(const PageRows &page, int xDotsPerInch, int yDotsPerInch, uint8_t *out) {
  const DibLayout layout = DibLayoutOf(page);
  const int bitCount = BitCount(page);
  const size_t colors = bitCount == 24 ? 0 : (size_t{1} << bitCount);
  std::memset(out, 0, layout.headerBytes);
  PutLE(out, 40, 4);
  PutLE(out + 4, page.width, 4);
  PutLE(out + 8, page.rows, 4);
  PutLE(out + 12, 1, 2);
  PutLE(out + 14, static_cast<uint32_t>(bitCount), 2);
  PutLE(out + 20, static_cast<uint32_t>(layout.totalBytes - layout.headerBytes), 4);
  PutLE(out + 24, PerMetre(xDotsPerInch), 4);
  PutLE(out + 28, PerMetre(yDotsPerInch), 4);
  PutLE(out + 32, static_cast<uint32_t>(colors), 4);
  for (size_t i = 0; i < colors; ++i) {
    const uint8_t level = static_cast<uint8_t>(i * 255 / (colors - 1));
    out[40 + i * 4] = out[40 + i * 4 + 1] = out[40 + i * 4 + 2] = level;
  }
}

bool WriteDibRow(const PageRows &page, uint32_t row, uint8_t *out) {
  const uint8_t *in = page.bytes.Row(row);
  if (!in)
    return false;
  const size_t sampleBytes = page.bitsPerSample == 16 ? 2 : 1;
  const size_t high = sampleBytes - 1; // little-endian: the high byte comes last
  const size_t stride = DibLayoutOf(page).stride;
  std::memset(out, 0, stride);
  if (page.bitsPerSample == 1) {
    std::memcpy(out, in, (size_t(page.width) + 7) / 8);
  } else if (page.samplesPerPixel == 1) {
    for (uint32_t x = 0; x < page.width; ++x)
      out[x] = in[x * sampleBytes + high];
  } else {
    for (uint32_t x = 0; x < page.width; ++x)
      for (int c = 0; c < 3; ++c)
        out[x * 3 + size_t(2 - c)] = in[(size_t(x) * 3 + size_t(c)) * sampleBytes + high];
  }
  return true;
}

namespace {

// The DIB into `out`; the rows written are given back from `giveBack` (the page's own rows) when it
// is given.
bool DibInto(const PageRows &page, int xDotsPerInch, int yDotsPerInch, uint8_t *out, RowBlocks *giveBack) {
  const DibLayout layout = DibLayoutOf(page);
  if (layout.totalBytes == 0)
    return false;
  WriteDibHeader(page, xDotsPerInch, yDotsPerInch, out);
  for (uint32_t r = 0; r < page.rows; ++r) {
    if (!WriteDibRow(page, r, out + layout.headerBytes + size_t(page.rows - 1 - r) * layout.stride))
      return false;
    if (giveBack)
      giveBack->ReleaseBefore(r + 1);
  }
  return true;
}

} // namespace

bool WriteDib(PageRows &page, int xDotsPerInch, int yDotsPerInch, uint8_t *out, bool giveBack) {
  return DibInto(page, xDotsPerInch, yDotsPerInch, out, giveBack ? &page.bytes : nullptr);
}

std::vector<uint8_t> PackedDib(const PageRows &page, int xDotsPerInch, int yDotsPerInch) {
  const DibLayout layout = DibLayoutOf(page);
  if (layout.totalBytes == 0)
    return {};
  std::vector<uint8_t> dib(layout.totalBytes);
  if (!DibInto(page, xDotsPerInch, yDotsPerInch, dib.data(), nullptr))
    return {};
  return dib;
}

bool FitsInMemory(const FrameShape &shape) {
  if (shape.lines <= 0 || shape.bytesPerLine <= 0)
    return true;
  const bool channel =
      shape.format == SaneFrame::Red || shape.format == SaneFrame::Green || shape.format == SaneFrame::Blue;
  return uint64_t(shape.bytesPerLine) * uint64_t(shape.lines) * (channel ? 3u : 1u) <= kMaxPageBytes;
}

} // namespace sanesrc
