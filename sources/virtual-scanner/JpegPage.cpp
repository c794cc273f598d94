#include "sources/virtual-scanner/JpegPage.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace vscan {
namespace {

struct ErrorExit {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void JumpBack(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorExit *>(info->err)->jump, 1); }

// Rows of the page as 8-bit samples a JPEG holds: RGB, or the grey level a reader sees. Colour and
// 8-bit grey rows come from the scanner's own row writer (a point at a time took twice as long as
// the encode); other depths a point at a time.
std::vector<uint8_t> SampleRows(const PageFormat &f, int page, int side, int sheet) {
  const bool colour = f.kind == PixelKind::Rgb;
  const size_t rowBytes = static_cast<size_t>(f.width) * (colour ? 3 : 1);
  std::vector<uint8_t> rows(rowBytes * static_cast<size_t>(f.height));
  const int bits = f.bits > 8 ? 8 : f.bits;
  const PageFormat seen{f.kind, bits, f.vanilla, f.grayPalette};
  if (colour || (f.kind == PixelKind::Gray && bits == 8)) {
    uint8_t level[256]; // the grey a reader sees for each sample
    for (unsigned i = 0; i < 256; ++i)
      level[i] = colour ? 0 : EntryColor(seen, i).g;
    for (int y = 0; y < f.height; ++y) {
      uint8_t *row = rows.data() + rowBytes * static_cast<size_t>(y);
      PageFormat eight = f;
      eight.bits = colour ? 24 : 8;
      FillPageRow(eight, page, side, y, row, sheet);
      if (!colour)
        for (size_t x = 0; x < rowBytes; ++x)
          row[x] = level[row[x]];
    }
    return rows;
  }
  for (int y = 0; y < f.height; ++y) {
    uint8_t *row = rows.data() + rowBytes * static_cast<size_t>(y);
    for (int x = 0; x < f.width; ++x)
      row[x] = EntryColor(seen, SampleValue(f.kind, bits, f.vanilla, page, side, x, y, sheet)).g;
  }
  return rows;
}

} // namespace

std::vector<uint8_t> JpegPage(const PageFormat &f, int page, int side, int sheet, int quality) {
  const std::vector<uint8_t> rows = SampleRows(f, page, side, sheet);
  const bool colour = f.kind == PixelKind::Rgb;
  jpeg_compress_struct info{};
  ErrorExit error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JumpBack;
  unsigned char *out = nullptr;
  unsigned long size = 0;
  if (setjmp(error.jump)) {
    jpeg_destroy_compress(&info);
    std::free(out);
    return {};
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = static_cast<JDIMENSION>(f.width);
  info.image_height = static_cast<JDIMENSION>(f.height);
  info.input_components = colour ? 3 : 1;
  info.in_color_space = colour ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  info.density_unit = 0; // aspect ratio only
  info.X_density = 1;
  info.Y_density = 1;
  jpeg_start_compress(&info, TRUE);
  const size_t rowBytes = static_cast<size_t>(f.width) * (colour ? 3 : 1);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rows.data() + rowBytes * info.next_scanline);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> bytes(out, out + size);
  std::free(out);
  return bytes;
}

} // namespace vscan
