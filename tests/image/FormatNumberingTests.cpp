// Format ids must match FreeImage.h even though this build leaves some format libraries out.
#include <FreeImage.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>

TEST(FormatNumbering, EveryFormatHasTheIdFreeImageDeclares) {
  const std::pair<FREE_IMAGE_FORMAT, const char *> formats[] = {
      {FIF_BMP, "BMP"},       {FIF_ICO, "ICO"},     {FIF_JPEG, "JPEG"}, {FIF_JNG, "JNG"},
      {FIF_KOALA, "KOALA"},   {FIF_IFF, "IFF"},     {FIF_MNG, "MNG"},   {FIF_PBM, "PBM"},
      {FIF_PBMRAW, "PBMRAW"}, {FIF_PCD, "PCD"},     {FIF_PCX, "PCX"},   {FIF_PGM, "PGM"},
      {FIF_PGMRAW, "PGMRAW"}, {FIF_PNG, "PNG"},     {FIF_PPM, "PPM"},   {FIF_PPMRAW, "PPMRAW"},
      {FIF_RAS, "RAS"},       {FIF_TARGA, "TARGA"}, {FIF_TIFF, "TIFF"}, {FIF_WBMP, "WBMP"},
      {FIF_PSD, "PSD"},       {FIF_CUT, "CUT"},     {FIF_XBM, "XBM"},   {FIF_XPM, "XPM"},
      {FIF_DDS, "DDS"},       {FIF_GIF, "GIF"},     {FIF_HDR, "HDR"},   {FIF_FAXG3, "G3"},
      {FIF_SGI, "SGI"},       {FIF_EXR, "EXR"},     {FIF_J2K, "J2K"},   {FIF_JP2, "JP2"},
      {FIF_PFM, "PFM"},       {FIF_PICT, "PICT"},   {FIF_RAW, "RAW"},   {FIF_WEBP, "WebP"},
      {FIF_JXR, "JPEG-XR"},
  };
  EXPECT_EQ(FreeImage_GetFIFCount(), static_cast<int>(FIF_JXR) + 1);
  for (const auto &[fif, name] : formats) {
    const char *registered = FreeImage_GetFormatFromFIF(fif);
    ASSERT_NE(registered, nullptr) << "format id " << fif;
    EXPECT_EQ(std::string(registered), name) << "format id " << fif;
  }
}

TEST(FormatNumbering, FileNamesChooseTheFormat) {
  EXPECT_EQ(FreeImage_GetFIFFromFilename("C:\\out\\Scan20260101120000000F.jpg"), FIF_JPEG);
  EXPECT_EQ(FreeImage_GetFIFFromFilename("page.JPEG"), FIF_JPEG);
  EXPECT_EQ(FreeImage_GetFIFFromFilename("page.tif"), FIF_TIFF);
  EXPECT_EQ(FreeImage_GetFIFFromFilename("page.unknownext"), FIF_UNKNOWN);
  EXPECT_TRUE(FreeImage_FIFSupportsWriting(FIF_JPEG));
  // Left-out formats are known by name but can be neither read nor written.
  EXPECT_FALSE(FreeImage_FIFSupportsWriting(FIF_TIFF));
  EXPECT_FALSE(FreeImage_FIFSupportsReading(FIF_PNG));
}
