// A scanner's JPEG file, however unlikely its header and data, judged for blankness and shrunk to
// its picture from the one decode: bounded work, nothing read or written outside a buffer.
#include "image/BlankSide.h"
#include "image/JpegLook.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const std::vector<uint8_t> bytes(data + 1, data + size); // exactly the file: no slack after it
  TSideLook look;
  LookAtJpeg(bytes.data(), bytes.size(), data[0] & 1, data[0] & 2, look);
  if (look.Picture.Bgr.size() != look.Picture.Pitch() * look.Picture.Height)
    __builtin_trap();
  return 0;
}
