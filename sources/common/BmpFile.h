// A file transfer's BMP file: a BITMAPFILEHEADER before the packed DIB a native transfer hands over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dscommon {

// The file bytes for a packed DIB (header, colour table, rows); empty when the DIB is too short to
// hold its header.
std::vector<uint8_t> BmpFileBytes(const std::vector<uint8_t> &packedDib);

// Writes the file the application named (replacing one of that name); false when it could not.
bool WriteBmpFile(const std::string &path, const std::vector<uint8_t> &packedDib);

} // namespace dscommon
