// JPEG bytes as a source might send them, decoded into the page bitmap.
#include "tests/fuzz/FuzzInput.h"
#include "twain/JpegDecode.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  HBITMAP page = DecodeJpegPage(bytes.data(), bytes.size(), 3937, 3937);
  if (page)
    DeleteObject(page);
  return 0;
}
