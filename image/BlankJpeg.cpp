// The scanner's own JPEG, judged without decoding it whole: libjpeg scales it down while it
// decodes, to no less than 100 dpi, so that a thin stroke keeps most of its darkness. Reading the
// file's coefficients is the cost that remains; one pass pays it once.
#include "image/BlankSide.h"

#include "image/InkGrid.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

#include <jpeglib.h>

namespace {

struct TJpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

[[noreturn]] void JumpBack(j_common_ptr info) {
  std::longjmp(reinterpret_cast<TJpegError *>(info->err)->Jump, 1);
}
void Silent(j_common_ptr) {}

struct TJpegHeader {
  int Width = 0;
  int Height = 0;
  int Components = 0;
  double Dpi = 0;
};

// Only C objects live between setjmp and a longjmp back: nothing is left half destroyed.
// `pooler` and `row` are sized by the caller for the scaled image. Without them, reads the
// header only.
bool Decode(const uint8_t *data, size_t size, unsigned denominator, TJpegHeader *header, TCellPooler *pooler,
            uint8_t *row) {
  jpeg_decompress_struct info{};
  TJpegError error{};
  info.err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = JumpBack;
  error.Manager.output_message = Silent;
  if (setjmp(error.Jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  if (header) {
    header->Width = static_cast<int>(info.image_width);
    header->Height = static_cast<int>(info.image_height);
    header->Components = info.num_components;
    header->Dpi = info.density_unit == 1   ? info.X_density
                  : info.density_unit == 2 ? info.X_density * 2.54
                                           : 0;
  }
  if (pooler) {
    info.scale_num = 1;
    info.scale_denom = denominator;
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    info.dct_method = JDCT_IFAST;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
      JSAMPROW rows[1] = {row};
      jpeg_read_scanlines(&info, rows, 1);
      pooler->AddRow(row);
    }
    jpeg_finish_decompress(&info);
  }
  jpeg_destroy_decompress(&info);
  return true;
}

// Decodes at 1/denominator, each cell `cell` decoded pixels; false when the file cannot be read.
bool HasInkAtScale(const uint8_t *data, size_t size, const TJpegHeader &header, double dpi,
                   unsigned denominator, int cell, bool &ink) {
  const int width = static_cast<int>((header.Width + denominator - 1) / denominator);
  const int height = static_cast<int>((header.Height + denominator - 1) / denominator);
  const int bytes = header.Components == 1 ? 1 : 3;
  TCellPooler pooler(width, height, bytes, cell, dpi / denominator);
  std::vector<uint8_t> row(static_cast<size_t>(width) * bytes);
  if (!Decode(data, size, denominator, nullptr, &pooler, row.data()))
    return false;
  ink = HasInk(pooler.Take());
  return true;
}

} // namespace

bool IsBlankJpeg(const uint8_t *data, size_t size) {
  TJpegHeader header;
  if (!data || size == 0 || !Decode(data, size, 1, &header, nullptr, nullptr))
    return false;
  if (header.Width <= 0 || header.Height <= 0 || (header.Components != 1 && header.Components != 3))
    return false;
  const double dpi = PageDpi(header.Dpi, header.Width);
  bool ink = true;
  unsigned denominator = 1;
  while (denominator < 8 && dpi / (denominator * 2) >= 100)
    denominator *= 2;
  return HasInkAtScale(data, size, header, dpi, denominator, CellPixels(dpi / denominator), ink) && !ink;
}
