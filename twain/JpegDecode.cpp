#include "twain/JpegDecode.h"

#include "twain/PageHeader.h"
#include "twain/StripCopy.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <memory>

namespace {

struct ErrorExit {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void JumpBack(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorExit *>(info->err)->jump, 1); }
void Silent(j_common_ptr) {}

struct DecompressGuard {
  jpeg_decompress_struct *info;
  ~DecompressGuard() { jpeg_destroy_decompress(info); }
};

// Runs the decoder; libjpeg reports errors by longjmp, so nothing here owns a C++ object that
// needs unwinding between setjmp and the jump.
bool Decode(jpeg_decompress_struct &info, ErrorExit &error, const uint8_t *bytes, size_t length,
            HBITMAP &section, LONG xPelsPerMeter, LONG yPelsPerMeter) {
  if (setjmp(error.jump))
    return false;
  jpeg_mem_src(&info, bytes, static_cast<unsigned long>(length));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK)
    return false;
  const bool grey = info.num_components == 1;
  info.out_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  if (info.image_width == 0 || info.image_height == 0 ||
      info.image_width > static_cast<JDIMENSION>(kMaxPageSide) ||
      info.image_height > static_cast<JDIMENSION>(kMaxPageSide))
    return false;
  const uint32_t bits = grey ? 8 : 24;
  const size_t stride = DibRowStride(bits, info.image_width);
  if (static_cast<uint64_t>(stride) * info.image_height > kMaxPageBytes)
    return false;
  TPageBitmapInfo header{};
  header.Header.biSize = sizeof(BITMAPINFOHEADER);
  header.Header.biWidth = static_cast<LONG>(info.image_width);
  header.Header.biHeight = static_cast<LONG>(info.image_height);
  header.Header.biPlanes = 1;
  header.Header.biBitCount = static_cast<WORD>(bits);
  header.Header.biCompression = BI_RGB;
  header.Header.biSizeImage = static_cast<DWORD>(stride * info.image_height);
  header.Header.biXPelsPerMeter = xPelsPerMeter;
  header.Header.biYPelsPerMeter = yPelsPerMeter;
  header.Header.biClrUsed = grey ? FillGreyRamp(header.Colors) : 0;
  void *pixels = nullptr;
  section = ::CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO *>(&header), DIB_RGB_COLORS,
                               &pixels, nullptr, 0);
  if (!section || !pixels)
    return false;
  jpeg_start_decompress(&info);
  if (info.output_components != (grey ? 1 : 3))
    return false;
  uint8_t *rows = static_cast<uint8_t *>(pixels);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = rows + stride * (info.output_height - 1 - info.output_scanline);
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  return true;
}

} // namespace

HBITMAP DecodeJpegPage(const uint8_t *bytes, size_t length, LONG xPelsPerMeter, LONG yPelsPerMeter) {
  if (!bytes || length == 0)
    return nullptr;
  jpeg_decompress_struct info{};
  ErrorExit error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JumpBack;
  error.manager.output_message = Silent;
  jpeg_create_decompress(&info);
  DecompressGuard guard{&info};
  HBITMAP section = nullptr;
  if (!Decode(info, error, bytes, length, section, xPelsPerMeter, yPelsPerMeter)) {
    if (section)
      ::DeleteObject(section);
    return nullptr;
  }
  return section;
}
