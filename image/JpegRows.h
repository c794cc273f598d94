// A scanner's JPEG file read in bounds: its header, checked against what the bytes could hold,
// and its rows decoded once at a reduced scale, each handed on as it comes.
#pragma once

#include <cstddef>
#include <cstdint>

// The most 8x8 blocks of grey a page may have to be decoded (an A4 sheet at 600 dpi has about
// 550,000): a file that claims more is not decoded.
constexpr uint64_t kMostJpegBlocks = 4u << 20;

struct TJpegHeader {
  int Width = 0;
  int Height = 0;
  int Components = 0; // 1 grey, 3 colour
  double Dpi = 0;     // 0: the file does not say
};

// False for a file that cannot be read, is neither grey nor colour, claims more blocks than
// kMostJpegBlocks or more than its bytes could hold (at least a bit a block).
bool ReadJpegHeader(const uint8_t *data, size_t size, TJpegHeader &header);

class TJpegRowSink {
public:
  // One decoded row, top first: `width` greys, or `width` red, green, blue triples.
  virtual void Row(const uint8_t *row) = 0;

protected:
  ~TJpegRowSink() = default;
};

// Decodes the file (its header read by ReadJpegHeader) at 1/denominator (1, 2, 4 or 8), grey or
// RGB as its components; false when the file cannot be read.
bool DecodeJpegRows(const uint8_t *data, size_t size, unsigned denominator, TJpegRowSink &sink);

// The size of the rows decoded at 1/denominator.
inline int ScaledJpegSize(int size, unsigned denominator) {
  return static_cast<int>((static_cast<unsigned>(size) + denominator - 1) / denominator);
}
