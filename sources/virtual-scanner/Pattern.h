// The virtual scanner's page pattern: every sample is a pure function of the page number, the
// side of the sheet and the position, so a test can compute any expected pixel and check
// orientation, colour order and palettes pixel by pixel.
//
// Outside the letterhead band and the picture (DocumentPage.h) the page is paper with text-like
// ink, so that a person sees a document; `sheet` (0 for none) adds the title with its number.
//
// Pure and header-only, without Windows: the data source and the tests include it alike.
#pragma once

#include "sources/virtual-scanner/DocumentPage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vscan {

// Numbered as the TWPT_ pixel types.
enum class PixelKind { Bw = 0, Gray = 1, Rgb = 2, Palette = 3 };

// Top-left block that marks the page's origin (clipped to small pages).
constexpr int kMarkerSize = 8;

inline bool InMarker(int x, int y) { return x < kMarkerSize && y < kMarkerSize; }

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

// page: 1-based number of the page since the source was opened (each side is a page);
// side: 0 for the front of a sheet, 1 for the back; x, y: column and row from the top-left.
// The *Of functions take the document's tone at the point (DocumentPage.h), the others find it.
constexpr Rgb kMarkerRgb{255, 0, 0};
// Colours of the document's tones, by Tone: the pattern's entry is not used.
constexpr Rgb kToneRgb[] = {{0, 0, 0}, {250, 250, 246}, {38, 38, 46}, {24, 52, 120}};
// Stores one RGB pixel of `pixelBytes` (3, or 4 with an opaque alpha).
inline void PutRgb(uint8_t *p, Rgb c, int pixelBytes) {
  p[0] = c.r;
  p[1] = c.g;
  p[2] = c.b;
  if (pixelBytes == 4)
    p[3] = 255;
}
inline Rgb PatternRgb(int page, int side, int x, int y) {
  return Rgb{static_cast<uint8_t>((x + page * 7) & 255), static_cast<uint8_t>((y + side * 64) & 255),
             static_cast<uint8_t>((x ^ y) & 255)};
}
inline Rgb RgbOf(Tone tone, int page, int side, int x, int y) {
  if (InMarker(x, y))
    return kMarkerRgb;
  return tone == Tone::Pattern ? PatternRgb(page, side, x, y) : kToneRgb[static_cast<int>(tone)];
}
inline Rgb RgbPixel(int page, int side, int x, int y, int sheet = 0) {
  return RgbOf(DocumentTone(page, side, x, y, sheet), page, side, x, y);
}

// Brightness of a grey page with `bits` (8 or 4) bits per sample: 0 is black.
inline unsigned GrayOf(Tone tone, int page, int side, int x, int y, int bits) {
  const unsigned levels = 1u << bits;
  if (InMarker(x, y))
    return levels - 1;
  switch (tone) {
  case Tone::Paper:
    return levels - 1;
  case Tone::Ink:
  case Tone::TitleInk:
    return levels / 8;
  case Tone::Pattern:
    break;
  }
  const unsigned v8 = static_cast<unsigned>(x + 2 * y + page * 7 + side * 64) & 255u;
  return bits >= 8 ? v8 : v8 >> (8 - bits);
}
inline unsigned GrayLevel(int page, int side, int x, int y, int bits, int sheet = 0) {
  return GrayOf(DocumentTone(page, side, x, y, sheet), page, side, x, y, bits);
}

// Black-and-white page: 1 is white. A checkerboard of 4-pixel squares shifted by page and side.
inline unsigned BwOf(Tone tone, int page, int side, int x, int y) {
  if (InMarker(x, y))
    return 1;
  switch (tone) {
  case Tone::Paper:
    return 1;
  case Tone::Ink:
  case Tone::TitleInk:
    return 0;
  case Tone::Pattern:
    break;
  }
  return static_cast<unsigned>(x / 4 + y / 4 + page + side) & 1u;
}
inline unsigned BwLevel(int page, int side, int x, int y, int sheet = 0) {
  return BwOf(DocumentTone(page, side, x, y, sheet), page, side, x, y);
}

// Palette page: index into a table of 1 << bits entries. The whole page is the pattern: the
// generated table has no paper or ink colours.
inline unsigned PaletteIndex(int page, int side, int x, int y, int bits) {
  const unsigned entries = 1u << bits;
  if (InMarker(x, y))
    return entries - 1;
  return static_cast<unsigned>(x + 3 * y + page * 7 + side * 64) % entries;
}

// The generated palette: entry i of a table with `entries` colours (Channel1..3 = red, green, blue).
inline Rgb GeneratedPaletteColor(unsigned i, unsigned entries) {
  const unsigned step = entries > 1 ? 255u / (entries - 1) : 0u;
  const unsigned v = (i * step) & 255u;
  return Rgb{static_cast<uint8_t>(v), static_cast<uint8_t>(255u - v), static_cast<uint8_t>((i * 37u) & 255u)};
}

// The grey palette (key palette=gray): entry i is an even grey ramp.
inline Rgb GrayPaletteColor(unsigned i, unsigned entries) {
  const unsigned step = entries > 1 ? 255u / (entries - 1) : 0u;
  const uint8_t v = static_cast<uint8_t>((i * step) & 255u);
  return Rgb{v, v, v};
}

// The sample value the scanner sends for a one-sample pixel (BW, grey, palette), as it appears
// in the transferred rows. For BW and grey, vanilla flavor means 0 is white, so the level is
// inverted; the picture stays the same for a reader that honours the flavor.
inline unsigned SampleOf(Tone tone, PixelKind kind, int bits, bool vanilla, int page, int side, int x,
                         int y) {
  switch (kind) {
  case PixelKind::Bw: {
    const unsigned v = BwOf(tone, page, side, x, y);
    return vanilla ? 1u - v : v;
  }
  case PixelKind::Gray: {
    const unsigned v = GrayOf(tone, page, side, x, y, bits);
    return vanilla ? ((1u << bits) - 1u) - v : v;
  }
  case PixelKind::Palette:
    return PaletteIndex(page, side, x, y, bits);
  case PixelKind::Rgb:
    break;
  }
  return 0;
}
inline unsigned SampleValue(PixelKind kind, int bits, bool vanilla, int page, int side, int x, int y,
                            int sheet = 0) {
  const Tone tone = kind == PixelKind::Palette ? Tone::Pattern : DocumentTone(page, side, x, y, sheet);
  return SampleOf(tone, kind, bits, vanilla, page, side, x, y);
}

// Bytes of one row of `width` pixels of `bitsPerPixel`, optionally padded to whole 32-bit words.
inline uint32_t RowBytes(uint32_t width, uint32_t bitsPerPixel, bool padded) {
  const uint64_t bits = static_cast<uint64_t>(width) * bitsPerPixel;
  return static_cast<uint32_t>(padded ? (bits + 31) / 32 * 4 : (bits + 7) / 8);
}

// Writes row y of a page as the scanner transfers it: samples packed most significant bit first,
// RGB as red, green, blue (32 bits: then an opaque alpha byte), 16-bit grey little-endian with
// the 8-bit level in both bytes; the row's padding bytes (if any) are not touched.
inline void FillRow(PixelKind kind, int bits, bool vanilla, int page, int side, int width, int y,
                    uint8_t *row, int sheet = 0) {
  // The document's tones for the whole row at once: far cheaper than a point at a time.
  std::vector<Tone> tones(static_cast<std::size_t>(width > 0 ? width : 0), Tone::Pattern);
  if (kind != PixelKind::Palette && (bits == 8 || bits == 16) && y >= kBandHeight) {
    // Whole-byte samples below the band: paper and ink are one value each, and the columns past
    // the document's ink are all paper.
    const int toned = std::min(width, DocumentInkEnd(sheet, side));
    DocumentRowTones(page, side, y, sheet, toned, tones.data());
    uint8_t plain[4] = {};
    for (Tone tone : {Tone::Paper, Tone::Ink, Tone::TitleInk})
      plain[static_cast<int>(tone)] =
          static_cast<uint8_t>(SampleOf(tone, kind, 8, vanilla, page, side, 0, y));
    const int size = bits / 8; // 16 bits: the 8-bit level in both bytes
    for (int x = 0; x < toned; ++x) {
      const Tone tone = tones[x];
      const uint8_t v = tone == Tone::Pattern
                            ? static_cast<uint8_t>(SampleOf(tone, kind, 8, vanilla, page, side, x, y))
                            : plain[static_cast<int>(tone)];
      row[size * x] = v;
      row[size * x + size - 1] = v;
    }
    if (toned < width)
      std::memset(row + size * toned, plain[static_cast<int>(Tone::Paper)],
                  static_cast<std::size_t>(size) * (width - toned));
    return;
  }
  // Below the band the columns past the document's ink are paper: for RGB the pixel is repeated.
  const int toned =
      kind == PixelKind::Rgb && y >= kBandHeight ? std::min(width, DocumentInkEnd(sheet, side)) : width;
  if (kind != PixelKind::Palette)
    DocumentRowTones(page, side, y, sheet, toned, tones.data());
  if (kind == PixelKind::Rgb) {
    const int pixelBytes = bits == 32 ? 4 : 3;
    // RgbOf without its marker test in the loop: the marker is put over the row's start after.
    const int markerEnd = y < kMarkerSize ? (width < kMarkerSize ? width : kMarkerSize) : 0;
    if (toned < width) {
      uint8_t *tail = row + static_cast<std::size_t>(pixelBytes) * toned;
      PutRgb(tail, kToneRgb[static_cast<int>(Tone::Paper)], pixelBytes);
      const std::size_t total = static_cast<std::size_t>(pixelBytes) * (width - toned);
      for (std::size_t done = pixelBytes; done < total; done *= 2)
        std::memcpy(tail + done, tail, std::min(done, total - done));
    }
    for (int x = 0; x < toned; ++x) {
      const Tone tone = tones[x];
      PutRgb(row + pixelBytes * x,
             tone == Tone::Pattern ? PatternRgb(page, side, x, y) : kToneRgb[static_cast<int>(tone)],
             pixelBytes);
    }
    for (int x = 0; x < markerEnd; ++x) {
      row[pixelBytes * x] = kMarkerRgb.r;
      row[pixelBytes * x + 1] = kMarkerRgb.g;
      row[pixelBytes * x + 2] = kMarkerRgb.b;
    }
    return;
  }
  if (bits == 16) {
    for (int x = 0; x < width; ++x) {
      const uint8_t v = static_cast<uint8_t>(SampleOf(tones[x], kind, 8, vanilla, page, side, x, y));
      row[2 * x] = v;
      row[2 * x + 1] = v;
    }
    return;
  }
  if (bits == 8) {
    for (int x = 0; x < width; ++x)
      row[x] = static_cast<uint8_t>(SampleOf(tones[x], kind, bits, vanilla, page, side, x, y));
    return;
  }
  const int perByte = 8 / bits;
  const int bytes = (width * bits + 7) / 8;
  for (int i = 0; i < bytes; ++i)
    row[i] = 0;
  for (int x = 0; x < width; ++x) {
    const unsigned v = SampleOf(tones[x], kind, bits, vanilla, page, side, x, y);
    const int shift = 8 - bits * (x % perByte + 1);
    row[x / perByte] = static_cast<uint8_t>(row[x / perByte] | (v << shift));
  }
}

// Reads sample x of a packed row (inverse of FillRow for one-sample pixels): for tests.
inline unsigned ReadSample(const uint8_t *row, int bits, int x) {
  if (bits == 8)
    return row[x];
  const int perByte = 8 / bits;
  const int shift = 8 - bits * (x % perByte + 1);
  return (row[x / perByte] >> shift) & ((1u << bits) - 1u);
}

} // namespace vscan
