#include "sources/common/BmpFile.h"

#include "win/Owners.h"

#include <windows.h>

#include <cstring>

namespace dscommon {

std::vector<uint8_t> BmpFileBytes(const std::vector<uint8_t> &dib) {
  BITMAPINFOHEADER header{};
  if (dib.size() < sizeof header)
    return {};
  std::memcpy(&header, dib.data(), sizeof header);
  const uint64_t colours = header.biClrUsed         ? header.biClrUsed
                           : header.biBitCount <= 8 ? (1u << header.biBitCount)
                                                    : 0;
  const uint64_t bitsAt = uint64_t(header.biSize) + colours * sizeof(RGBQUAD);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42; // "BM"
  file.bfSize = static_cast<DWORD>(sizeof file + dib.size());
  file.bfOffBits = static_cast<DWORD>(sizeof file + (bitsAt <= dib.size() ? bitsAt : dib.size()));
  std::vector<uint8_t> bytes(sizeof file + dib.size());
  std::memcpy(bytes.data(), &file, sizeof file);
  std::memcpy(bytes.data() + sizeof file, dib.data(), dib.size());
  return bytes;
}

bool WriteBmpFile(const std::string &path, const std::vector<uint8_t> &dib) {
  const std::vector<uint8_t> bytes = BmpFileBytes(dib);
  if (bytes.empty())
    return false;
  win::UniqueHandle file(
      ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return false;
  }
  DWORD written = 0;
  return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

} // namespace dscommon
