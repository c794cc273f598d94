#include "image/JpegRows.h"
#include "image/SidePicture.h"

#include <algorithm>

TPictureShrinker::TPictureShrinker(int width, int height, int bytesPerPixel, int maxWidth, int maxHeight)
    : Width(std::max(0, width)), Height(std::max(0, height)), BytesPerPixel(bytesPerPixel == 1 ? 1 : 3),
      Step(1) {
  if (Width == 0 || Height == 0 || maxWidth <= 0 || maxHeight <= 0)
    return;
  const double scale =
      std::max({static_cast<double>(Width) / maxWidth, static_cast<double>(Height) / maxHeight, 1.0});
  Picture.Width = std::max(1, static_cast<int>(Width / scale));
  Picture.Height = std::max(1, static_cast<int>(Height / scale));
  Picture.Bgr.assign(Picture.Pitch() * Picture.Height, 0);
  // About four samples a picture pixel across, every row down: text turns grey instead of
  // flickering between ink and paper.
  Step = std::max(1, static_cast<int>(scale / 4));
  for (int x = 0; x < Width; x += Step)
    OutColumn.push_back(static_cast<int>(static_cast<int64_t>(x) * Picture.Width / Width));
  Sums.assign(static_cast<size_t>(Picture.Width) * 4, 0);
}

void TPictureShrinker::Row(const uint8_t *row) {
  if (Picture.Empty() || RowsIn >= Height)
    return;
  const int out = static_cast<int>(static_cast<int64_t>(RowsIn++) * Picture.Height / Height);
  if (out != OutRow) {
    Emit();
    OutRow = out;
  }
  for (size_t i = 0; i < OutColumn.size(); ++i) {
    const uint8_t *p = row + i * Step * BytesPerPixel;
    uint32_t *sum = &Sums[static_cast<size_t>(OutColumn[i]) * 4];
    sum[0] += p[BytesPerPixel == 1 ? 0 : 2];
    sum[1] += p[BytesPerPixel == 1 ? 0 : 1];
    sum[2] += p[0];
    ++sum[3];
  }
}

void TPictureShrinker::Emit() {
  uint8_t *out = Picture.Bgr.data() + Picture.Pitch() * (Picture.Height - 1 - OutRow);
  for (int x = 0; x < Picture.Width; ++x) {
    uint32_t *sum = &Sums[static_cast<size_t>(x) * 4];
    for (int k = 0; k < 3 && sum[3]; ++k)
      out[3 * x + k] = static_cast<uint8_t>(sum[k] / sum[3]);
    std::fill(sum, sum + 4, 0);
  }
}

TSidePicture TPictureShrinker::Take() {
  if (RowsIn > 0)
    Emit();
  return std::move(Picture);
}

TSidePicture SidePictureOfJpeg(const uint8_t *data, size_t size, int maxWidth, int maxHeight) {
  TJpegHeader header;
  if (!ReadJpegHeader(data, size, header))
    return {};
  struct TSink : TJpegRowSink {
    TPictureShrinker Shrinker;
    TSink(const TJpegHeader &h, int w, int ht)
        : Shrinker(ScaledJpegSize(h.Width, 8), ScaledJpegSize(h.Height, 8), h.Components, w, ht) {}
    void Row(const uint8_t *row) override { Shrinker.Row(row); }
  } sink(header, maxWidth, maxHeight);
  if (!DecodeJpegRows(data, size, 8, sink))
    return {};
  return sink.Shrinker.Take();
}
