#include "image/FreeBitmap.h"
#include "image/PageBitmapPool.h"
#include "win/Owners.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

struct DibSection {
  win::UniqueBitmap bitmap;
  BYTE *bits = nullptr;
  int stride = 0;
};

// A bottom-up DIB section like the pages the TWAIN layer delivers.
DibSection MakeDibSection(int width, int height, int bpp, const RGBQUAD *colors = nullptr, int colorCount = 0,
                          LONG pelsPerMeter = 0) {
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD table[256];
  } info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(bpp);
  info.header.biCompression = BI_RGB;
  info.header.biClrUsed = static_cast<DWORD>(colorCount);
  info.header.biXPelsPerMeter = info.header.biYPelsPerMeter = pelsPerMeter;
  for (int i = 0; i < colorCount; ++i)
    info.table[i] = colors[i];
  DibSection dib;
  void *bits = nullptr;
  win::WindowDC screen(nullptr);
  dib.bitmap.reset(::CreateDIBSection(screen.get(), reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS,
                                      &bits, nullptr, 0));
  dib.bits = static_cast<BYTE *>(bits);
  dib.stride = ((bpp * width + 31) / 32) * 4;
  return dib;
}

BYTE RampRed(int x, int y) { return static_cast<BYTE>(x * 3 + y); }
BYTE RampGreen(int, int y) { return static_cast<BYTE>(y * 5); }
BYTE RampBlue(int x, int y) { return static_cast<BYTE>(x ^ y); }

} // namespace

TEST(AllocateImage, WritesAGreyRampOfIndexValuesForPalettedStandardBitmaps) {
  TFreeBitmap eight(FIT_BITMAP, 4, 4, 8);
  ASSERT_TRUE(eight.HasImage());
  RGBQUAD *palette = FreeImage_GetPalette(eight.Image());
  ASSERT_EQ(FreeImage_GetColorsUsed(eight.Image()), 256u);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(palette[i].rgbRed, i);
    EXPECT_EQ(palette[i].rgbGreen, i);
    EXPECT_EQ(palette[i].rgbBlue, i);
  }

  TFreeBitmap four(FIT_BITMAP, 4, 4, 4);
  palette = FreeImage_GetPalette(four.Image());
  ASSERT_EQ(FreeImage_GetColorsUsed(four.Image()), 16u);
  EXPECT_EQ(palette[15].rgbRed, 15);
  EXPECT_EQ(palette[15].rgbBlue, 15);

  TFreeBitmap one(FIT_BITMAP, 4, 4, 1);
  palette = FreeImage_GetPalette(one.Image());
  ASSERT_EQ(FreeImage_GetColorsUsed(one.Image()), 2u);
  EXPECT_EQ(palette[0].rgbGreen, 0);
  EXPECT_EQ(palette[1].rgbGreen, 1); // the index itself, not white
}

TEST(AllocateImage, OtherImageTypesGetNoPaletteStep) {
  // The type is not passed on, so FreeImage still makes a standard bitmap; only the ramp is
  // left out. FreeImage itself leaves a 1- or 4-bit palette all black.
  TFreeBitmap one(FIT_UINT16, 4, 4, 1);
  ASSERT_TRUE(one.HasImage());
  EXPECT_EQ(FreeImage_GetImageType(one.Image()), FIT_BITMAP);
  EXPECT_EQ(FreeImage_GetPalette(one.Image())[1].rgbRed, 0);
  TFreeBitmap four(FIT_RGB16, 4, 4, 4);
  ASSERT_TRUE(four.HasImage());
  EXPECT_EQ(FreeImage_GetPalette(four.Image())[15].rgbGreen, 0);
}

TEST(AllocateImage, EmptySizesGiveNoImageAndNothingToSave) {
  TempFolder folder;
  for (const auto &size : {std::make_tuple(0, 4, 8), std::make_tuple(4, -1, 8), std::make_tuple(4, 4, 0)}) {
    TFreeBitmap bitmap(FIT_BITMAP, std::get<0>(size), std::get<1>(size), std::get<2>(size));
    EXPECT_FALSE(bitmap.HasImage());
    EXPECT_FALSE(bitmap.SaveToFile(folder.File("empty.jpg")));
  }
  EXPECT_TRUE(folder.Files().empty());
}

TEST(AllocateImage, ReplacesTheHeldImageAndNotifies) {
  TFreeBitmap bitmap(FIT_BITMAP, 4, 4, 24);
  int changes = 0;
  bitmap.OnImageChange = [&](TFreeBitmap *) { ++changes; };
  ASSERT_TRUE(bitmap.AllocateImage(FIT_BITMAP, 7, 3, 8));
  EXPECT_EQ(FreeImage_GetWidth(bitmap.Image()), 7u);
  EXPECT_EQ(FreeImage_GetBPP(bitmap.Image()), 8u);
  bitmap.ReleaseImage();
  EXPECT_FALSE(bitmap.HasImage());
  EXPECT_EQ(changes, 2);
}

TEST(ReplaceImage, RefusesNullAndTakesOverOtherImages) {
  TFreeBitmap bitmap(FIT_BITMAP, 2, 2, 24);
  EXPECT_FALSE(bitmap.ReplaceImage(nullptr));
  EXPECT_TRUE(bitmap.HasImage());
  FIBITMAP *other = FreeImage_Allocate(9, 9, 24);
  bool asked = false;
  bitmap.OnImageChanging = [&](TFreeBitmap *, FIBITMAP *&, FIBITMAP *&, bool &) { asked = true; };
  EXPECT_TRUE(bitmap.ReplaceImage(other));
  EXPECT_TRUE(asked);
  EXPECT_EQ(bitmap.Image(), other);
}

TEST(ImportDeviceBitmap, Copies24BitDibSectionPixelsWithoutColourCounts) {
  const int width = 13, height = 7;
  DibSection dib = MakeDibSection(width, height, 24);
  ASSERT_TRUE(dib.bitmap);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      BYTE *pixel = dib.bits + y * dib.stride + x * 3;
      pixel[0] = RampBlue(x, y);
      pixel[1] = RampGreen(x, y);
      pixel[2] = RampRed(x, y);
    }

  TFreeWinBitmap page;
  ASSERT_TRUE(page.ImportDeviceBitmap(dib.bitmap.get()));
  dib.bitmap.reset(); // the copy must not depend on the source bitmap
  ASSERT_EQ(FreeImage_GetWidth(page.Image()), static_cast<unsigned>(width));
  ASSERT_EQ(FreeImage_GetHeight(page.Image()), static_cast<unsigned>(height));
  ASSERT_EQ(FreeImage_GetBPP(page.Image()), 24u);
  EXPECT_EQ(FreeImage_GetInfoHeader(page.Image())->biClrUsed, 0u);
  EXPECT_EQ(FreeImage_GetInfoHeader(page.Image())->biClrImportant, 0u);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      RGBQUAD color;
      ASSERT_TRUE(FreeImage_GetPixelColor(page.Image(), x, y, &color));
      EXPECT_EQ(color.rgbRed, RampRed(x, y));
      EXPECT_EQ(color.rgbGreen, RampGreen(x, y));
      EXPECT_EQ(color.rgbBlue, RampBlue(x, y));
    }
}

// A page the writer can take as it is (24-bit, or 8-bit grey) is written from the section's own
// pixels, which stay alive until the bitmap is gone; any other section is refused untouched.
TEST(AdoptDibSection, TakesOnlyWhatAJpegHoldsAsItIsAndKeepsItAliveUntilTheImageGoes) {
  RGBQUAD grey[256], inverted[256];
  for (int i = 0; i < 256; ++i) {
    grey[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    inverted[i] =
        RGBQUAD{static_cast<BYTE>(255 - i), static_cast<BYTE>(255 - i), static_cast<BYTE>(255 - i), 0};
  }
  RGBQUAD blackWhite[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  const struct {
    int bpp;
    const RGBQUAD *colours;
    int colourCount;
    bool taken;
  } kinds[] = {{24, nullptr, 0, true},
               {8, grey, 256, true},
               {8, inverted, 256, false},
               {1, blackWhite, 2, false},
               {32, nullptr, 0, false}};
  const size_t pooled = TPageBitmapPool::Shared().KeptCount();
  for (const auto &kind : kinds) {
    SCOPED_TRACE(kind.bpp);
    const int width = 600, height = 600; // a colour page of this size is one the pool would keep
    DibSection dib = MakeDibSection(width, height, kind.bpp, kind.colours, kind.colourCount, 11811);
    ASSERT_TRUE(dib.bitmap);
    for (int i = 0; i < dib.stride * height; ++i)
      dib.bits[i] = static_cast<BYTE>(i * 7);
    int takes = 0;
    std::weak_ptr<void> alive;
    {
      TFreeWinBitmap page;
      const bool taken = page.AdoptDibSection(dib.bitmap.get(), [&] {
        ++takes;
        std::shared_ptr<void> owner = std::make_shared<int>(0);
        alive = owner;
        return owner;
      });
      EXPECT_EQ(taken, kind.taken);
      EXPECT_EQ(takes, kind.taken ? 1 : 0);
      if (!taken)
        continue;
      ASSERT_EQ(FreeImage_GetBPP(page.Image()), static_cast<unsigned>(kind.bpp));
      EXPECT_EQ(FreeImage_GetBits(page.Image()), dib.bits) << "the section's pixels, not a copy";
      EXPECT_EQ(FreeImage_GetDotsPerMeterX(page.Image()), 11811u);
      if (kind.bpp == 8) {
        EXPECT_EQ(FreeImage_GetColorType(page.Image()), FIC_MINISBLACK);
      }
      EXPECT_FALSE(alive.expired());
    }
    EXPECT_TRUE(alive.expired()) << "the section outlived its page";
  }
  EXPECT_EQ(TPageBitmapPool::Shared().KeptCount(), pooled) << "a header over a section's pixels was pooled";
}

TEST(ImportDeviceBitmap, Copies8BitDibSectionWithItsOwnPalette) {
  RGBQUAD colors[256];
  for (int i = 0; i < 256; ++i)
    colors[i] = RGBQUAD{static_cast<BYTE>(255 - i), static_cast<BYTE>(i / 2), static_cast<BYTE>(i), 0};
  const int width = 10, height = 5;
  DibSection dib = MakeDibSection(width, height, 8, colors, 256);
  ASSERT_TRUE(dib.bitmap);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      dib.bits[y * dib.stride + x] = static_cast<BYTE>(x * 20 + y);

  TFreeWinBitmap page;
  ASSERT_TRUE(page.ImportDeviceBitmap(dib.bitmap.get()));
  ASSERT_EQ(FreeImage_GetBPP(page.Image()), 8u);
  EXPECT_EQ(FreeImage_GetInfoHeader(page.Image())->biClrUsed, 256u);
  EXPECT_EQ(FreeImage_GetInfoHeader(page.Image())->biClrImportant, 256u);
  RGBQUAD *palette = FreeImage_GetPalette(page.Image());
  EXPECT_EQ(palette[3].rgbBlue, 252); // the page's table replaced the grey ramp
  EXPECT_EQ(palette[3].rgbRed, 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      BYTE index = 0;
      ASSERT_TRUE(FreeImage_GetPixelIndex(page.Image(), x, y, &index));
      EXPECT_EQ(index, x * 20 + y);
    }
}

TEST(ImportDeviceBitmap, CopiesADeviceDependentBitmap) {
  win::WindowDC screen(nullptr);
  win::UniqueBitmap ddb(::CreateCompatibleBitmap(screen.get(), 6, 4));
  ASSERT_TRUE(ddb);
  {
    win::UniqueMemoryDC memory(::CreateCompatibleDC(screen.get()));
    win::SelectGuard select(memory.get(), ddb.get());
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x)
        ::SetPixel(memory.get(), x, y, RGB(x * 40, y * 60, 200));
  }
  BITMAP description{};
  ::GetObjectA(ddb.get(), sizeof(description), &description);

  TFreeWinBitmap page;
  ASSERT_TRUE(page.ImportDeviceBitmap(ddb.get()));
  EXPECT_EQ(FreeImage_GetBPP(page.Image()), static_cast<unsigned>(description.bmBitsPixel));
  RGBQUAD color;
  // GDI's top row is FreeImage's last (bottom-up) row.
  ASSERT_TRUE(FreeImage_GetPixelColor(page.Image(), 5, 3, &color));
  EXPECT_EQ(color.rgbRed, 200);
  EXPECT_EQ(color.rgbGreen, 0);
  EXPECT_EQ(color.rgbBlue, 200);
  ASSERT_TRUE(FreeImage_GetPixelColor(page.Image(), 2, 0, &color));
  EXPECT_EQ(color.rgbGreen, 180);
}

// A section given a negative height holds GDI's top row first; FreeImage's rows run bottom-up.
TEST(ImportDeviceBitmap, TopDownDibSectionsKeepTheirTopRowOnTop) {
  RGBQUAD grey[256];
  for (int i = 0; i < 256; ++i)
    grey[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
  for (int bpp : {8, 24}) {
    SCOPED_TRACE(testing::Message() << bpp << "-bit");
    const int width = 5, height = 4;
    DibSection dib = MakeDibSection(width, -height, bpp, grey, bpp == 8 ? 256 : 0);
    ASSERT_TRUE(dib.bitmap);
    for (int y = 0; y < height; ++y)
      std::memset(dib.bits + y * dib.stride, y == 0 ? 1 : 0, dib.stride);

    TFreeWinBitmap page;
    ASSERT_TRUE(page.ImportDeviceBitmap(dib.bitmap.get()));
    ASSERT_EQ(FreeImage_GetHeight(page.Image()), static_cast<unsigned>(height));
    for (int y = 0; y < height; ++y)
      EXPECT_EQ(FreeImage_GetScanLine(page.Image(), y)[0], y == height - 1 ? 1 : 0) << "row " << y;
  }
}

TEST(ImportDeviceBitmap, RefusesHandlesItCannotDescribe) {
  TFreeWinBitmap page(FIT_BITMAP, 3, 3, 24);
  FIBITMAP *before = page.Image();
  EXPECT_FALSE(page.ImportDeviceBitmap(nullptr));
  EXPECT_FALSE(page.ImportDeviceBitmap(reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(0x7777))));
  EXPECT_EQ(page.Image(), before);
}

namespace {
int WINAPI CopyNothing(HDC, HBITMAP, UINT, UINT, LPVOID, LPBITMAPINFO, UINT) { return 0; }
} // namespace

TEST(ImportDeviceBitmap, FailedPixelCopyRaisesTheStationsMessageAndKeepsColourCounts) {
  DibSection dib = MakeDibSection(4, 4, 8);
  TFreeWinBitmap page;
  TFreeWinBitmap::CopyDeviceBits = CopyNothing;
  try {
    page.ImportDeviceBitmap(dib.bitmap.get());
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error &e) {
    EXPECT_STREQ(e.what(), "Error: GetDIBits failed");
  }
  TFreeWinBitmap::CopyDeviceBits = ::GetDIBits;
  ASSERT_TRUE(page.HasImage()); // the new image stays, with undefined pixels
  EXPECT_EQ(FreeImage_GetInfoHeader(page.Image())->biClrUsed, 256u);
}

// Black and white pages in either flavour and 16-level grey pages: an 8-bit grey image whose
// levels follow each page's own colour table, written as JPEG with the page's resolution.
TEST(ImportDeviceBitmap, LowDepthPagesBecomeGreyJpegsAtThePagesResolution) {
  const RGBQUAD black{0, 0, 0, 0}, white{255, 255, 255, 0};
  const RGBQUAD chocolate[2] = {black, white}, vanilla[2] = {white, black};
  RGBQUAD sixteen[16];
  for (int i = 0; i < 16; ++i)
    sixteen[i] = RGBQUAD{BYTE(i * 17), BYTE(i * 17), BYTE(i * 17), 0};
  struct Case {
    int bpp;
    const RGBQUAD *colors;
    int count;
  } cases[] = {{1, chocolate, 2}, {1, vanilla, 2}, {4, sixteen, 16}};
  TempFolder folder;
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.bpp << "-bit, entry 0 = " << int(c.colors[0].rgbRed));
    const int width = 16, height = 8, perByte = 8 / c.bpp;
    DibSection dib = MakeDibSection(width, height, c.bpp, c.colors, c.count, 11811); // 300 dpi
    ASSERT_TRUE(dib.bitmap);
    auto sample = [&](int x, int y) { return (x + y) % c.count; };
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        dib.bits[y * dib.stride + x / perByte] |= BYTE(sample(x, y) << (8 - c.bpp * (x % perByte + 1)));

    TFreeWinBitmap bitmap;
    ASSERT_TRUE(bitmap.ImportDeviceBitmap(dib.bitmap.get()));
    ASSERT_EQ(FreeImage_GetBPP(bitmap.Image()), 8u);
    EXPECT_EQ(FreeImage_GetColorType(bitmap.Image()), FIC_MINISBLACK);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        BYTE level = 0;
        ASSERT_TRUE(FreeImage_GetPixelIndex(bitmap.Image(), x, y, &level));
        ASSERT_EQ(level, c.colors[sample(x, y)].rgbRed) << x << "," << y;
      }
    const std::string name = folder.File("page.jpg");
    ASSERT_TRUE(bitmap.SaveToFile(name));
    FIBITMAP *back = FreeImage_Load(FIF_JPEG, name.c_str(), 0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(FreeImage_GetBPP(back), 8u);
    EXPECT_NEAR(FreeImage_GetDotsPerMeterX(back), 11811u, 40u); // JFIF stores whole dots per inch
    EXPECT_NEAR(FreeImage_GetDotsPerMeterY(back), 11811u, 40u);
    FreeImage_Unload(back);
  }
}

TEST(SaveToFile, JpegReadsBackWithTheSameSizeAndNearEqualPixels) {
  TempFolder folder;
  const int width = 64, height = 48;
  TFreeWinBitmap page(FIT_BITMAP, width, height, 24);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      RGBQUAD color{RampBlue(x / 8, y / 8), RampGreen(x / 8, y / 8), RampRed(x / 8, y / 8), 0};
      FreeImage_SetPixelColor(page.Image(), x, y, &color);
    }
  const std::string name = folder.File("Scan20260101000000000F.jpg");
  ASSERT_TRUE(page.SaveToFile(name));
  EXPECT_EQ(folder.Files(), std::vector<std::string>{"Scan20260101000000000F.jpg"});

  FIBITMAP *loaded = FreeImage_Load(FIF_JPEG, name.c_str(), 0);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(FreeImage_GetWidth(loaded), static_cast<unsigned>(width));
  EXPECT_EQ(FreeImage_GetHeight(loaded), static_cast<unsigned>(height));
  long error = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      RGBQUAD a, b;
      FreeImage_GetPixelColor(page.Image(), x, y, &a);
      FreeImage_GetPixelColor(loaded, x, y, &b);
      error +=
          std::abs(a.rgbRed - b.rgbRed) + std::abs(a.rgbGreen - b.rgbGreen) + std::abs(a.rgbBlue - b.rgbBlue);
    }
  FreeImage_Unload(loaded);
  EXPECT_LT(error / (width * height * 3), 8) << "mean absolute error per channel";
}

TEST(SaveToFile, RefusesWhatTheFormatCannotHoldAndCreatesNoFile) {
  TempFolder folder;
  TFreeWinBitmap colour(FIT_BITMAP, 8, 8, 24);
  EXPECT_FALSE(colour.SaveToFile(folder.File("page.unknownext")));
  EXPECT_FALSE(colour.SaveToFile(folder.File("page.tif"))); // known, but cannot write here
  TFreeWinBitmap blackAndWhite(FIT_BITMAP, 8, 8, 1);
  EXPECT_FALSE(blackAndWhite.SaveToFile(folder.File("page.jpg")));
  TFreeWinBitmap fourBit(FIT_BITMAP, 8, 8, 4);
  EXPECT_FALSE(fourBit.SaveToFile(folder.File("page4.jpg")));
  EXPECT_TRUE(folder.Files().empty());
}

TEST(PageBitmapPool, AWrittenPageServesTheNextImportWithItsOwnPixelsAndPalette) {
  TPageBitmapPool &pool = TPageBitmapPool::Shared();
  const int width = 1200, height = 1000; // above the pool's minimum size
  RGBQUAD red[256], blue[256];
  for (int i = 0; i < 256; ++i) {
    red[i] = RGBQUAD{0, 0, static_cast<BYTE>(i), 0};
    blue[i] = RGBQUAD{static_cast<BYTE>(i), 0, 0, 0};
  }
  {
    DibSection first = MakeDibSection(width, height, 8, red, 256);
    std::memset(first.bits, 7, static_cast<size_t>(first.stride) * height);
    TFreeWinBitmap page;
    ASSERT_TRUE(page.ImportDeviceBitmap(first.bitmap.get()));
  } // the writer's destruction of a page hands its bitmap back
  ASSERT_GE(pool.KeptCount(), 1u);
  const size_t kept = pool.KeptCount();

  DibSection second = MakeDibSection(width, height, 8, blue, 256);
  for (int y = 0; y < height; ++y)
    std::memset(second.bits + static_cast<size_t>(second.stride) * y, y % 200, second.stride);
  TFreeWinBitmap page;
  ASSERT_TRUE(page.ImportDeviceBitmap(second.bitmap.get()));
  EXPECT_EQ(pool.KeptCount(), kept - 1);
  EXPECT_EQ(FreeImage_GetPalette(page.Image())[9].rgbBlue, 9);
  EXPECT_EQ(FreeImage_GetPalette(page.Image())[9].rgbRed, 0);
  BYTE index = 0;
  ASSERT_TRUE(FreeImage_GetPixelIndex(page.Image(), 5, 150, &index));
  EXPECT_EQ(index, 150);
  EXPECT_EQ(FreeImage_GetInfoHeader(page.Image())->biClrUsed, 256u);
}

TEST(PageBitmapPool, AKeptBitmapLooksFreshlyAllocated) {
  TPageBitmapPool &pool = TPageBitmapPool::Shared();
  FIBITMAP *image = FreeImage_Allocate(2000, 1000, 8);
  FreeImage_GetPalette(image)[3].rgbRed = 200;
  FreeImage_GetInfoHeader(image)->biClrUsed = 17;
  FreeImage_GetInfoHeader(image)->biXPelsPerMeter = 11811;
  pool.Give(image);
  FIBITMAP *again = pool.Take(2000, 1000, 8);
  ASSERT_EQ(again, image);
  EXPECT_EQ(FreeImage_GetPalette(again)[3].rgbRed, 3);
  EXPECT_EQ(FreeImage_GetInfoHeader(again)->biClrUsed, 256u);
  EXPECT_EQ(FreeImage_GetInfoHeader(again)->biXPelsPerMeter, 2835);
  EXPECT_EQ(pool.Take(2000, 1000, 24), nullptr);
  pool.Give(again);
  pool.Give(FreeImage_Allocate(16, 16, 24)); // too small to keep: unloaded
  EXPECT_EQ(pool.Take(16, 16, 24), nullptr);

  // A change of colour mode replaces what was kept.
  for (size_t i = 0; i < TPageBitmapPool::kMaximumKept; ++i)
    pool.Give(FreeImage_Allocate(1500, 1000, 8));
  EXPECT_EQ(pool.Take(2000, 1000, 8), nullptr);
  FIBITMAP *grey = pool.Take(1500, 1000, 8);
  EXPECT_NE(grey, nullptr);
  FreeImage_Unload(grey);
}
