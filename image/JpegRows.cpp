#include "image/JpegRows.h"

#include <csetjmp>
#include <cstdio>
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

// A truncated or damaged file is not guessed at: its page cannot be judged.
void Refuse(j_common_ptr info, int level) {
  if (level < 0)
    JumpBack(info);
}

// Only C objects live between setjmp and a longjmp back: nothing is left half destroyed. The
// row buffer is the caller's, sized from the header.
bool Read(const uint8_t *data, size_t size, unsigned denominator, TJpegHeader *header, TJpegRowSink *sink,
          uint8_t *row) {
  jpeg_decompress_struct info{};
  TJpegError error{};
  info.err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = JumpBack;
  error.Manager.output_message = Silent;
  error.Manager.emit_message = Refuse;
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
  if (sink) {
    info.scale_num = 1;
    info.scale_denom = denominator;
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    info.dct_method = JDCT_IFAST;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
      JSAMPROW rows[1] = {row};
      jpeg_read_scanlines(&info, rows, 1);
      sink->Row(row);
    }
    jpeg_finish_decompress(&info);
  }
  jpeg_destroy_decompress(&info);
  return true;
}

} // namespace

bool ReadJpegHeader(const uint8_t *data, size_t size, TJpegHeader &header) {
  if (!data || size == 0 || size > 0x7FFFFFFF || !Read(data, size, 1, &header, nullptr, nullptr))
    return false;
  // libjpeg refuses a header of no width or height; a JPEG's sizes fit 16 bits.
  if (header.Components != 1 && header.Components != 3)
    return false;
  const uint64_t blocks =
      (static_cast<uint64_t>(header.Width) + 7) / 8 * ((static_cast<uint64_t>(header.Height) + 7) / 8);
  return blocks <= kMostJpegBlocks && blocks <= static_cast<uint64_t>(size) * 8;
}

bool DecodeJpegRows(const uint8_t *data, size_t size, unsigned denominator, TJpegRowSink &sink) {
  TJpegHeader header;
  if (!ReadJpegHeader(data, size, header) ||
      (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8))
    return false;
  const int bytes = header.Components == 1 ? 1 : 3;
  std::vector<uint8_t> row(static_cast<size_t>(ScaledJpegSize(header.Width, denominator)) * bytes);
  return Read(data, size, denominator, nullptr, &sink, row.data());
}
