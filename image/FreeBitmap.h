// One FreeImage bitmap with the few operations the station needs: allocate, fill from a
// GDI bitmap (a scanned page), and write to a file whose format follows the file name.
#pragma once

#include <windows.h>

#include "writer/PageFile.h"

#include <FreeImage.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TFreeObject {
public:
  virtual ~TFreeObject() = default;
  virtual bool HasImage() const { return false; }
};

class TFreeBitmap : public TFreeObject {
public:
  using TImageChangeEvent = std::function<void(TFreeBitmap *sender)>;
  using TImageChangingEvent =
      std::function<void(TFreeBitmap *sender, FIBITMAP *&oldImage, FIBITMAP *&newImage, bool &handled)>;

  TFreeBitmap(int32_t imageType, int32_t width, int32_t height, int32_t bpp);
  ~TFreeBitmap() override;
  TFreeBitmap(const TFreeBitmap &) = delete;
  TFreeBitmap &operator=(const TFreeBitmap &) = delete;

  bool HasImage() const override { return ImageHandle != nullptr; }
  virtual void ReleaseImage();

  bool AllocateImage(int32_t imageType, int32_t width, int32_t height, int32_t bpp, uint32_t redMask = 0,
                     uint32_t greenMask = 0, uint32_t blueMask = 0);
  // Takes over another image; a null handle is refused.
  bool ReplaceImage(FIBITMAP *newImage);
  bool CanSaveAs(int32_t fif) const;
  // Writes the image in the format its name's extension picks, through the page file path
  // (checked writes, ".partial" then the name, never replacing a file).
  TPageWriteResult WriteToFile(const std::string &fileName, int32_t flags = 0) const;
  // The same onto a name claimed for the page.
  TPageWriteResult WriteToFile(TNameClaim &claim, int32_t flags = 0) const;
  bool SaveToFile(const std::string &fileName, int32_t flags = 0) const {
    return WriteToFile(fileName, flags).Written();
  }

  FIBITMAP *Image() const { return ImageHandle; }

  TImageChangeEvent OnImageChange;
  TImageChangingEvent OnImageChanging;

protected:
  using TFileWrite = std::function<TPageWriteResult(const TPageBytesProducer &produce)>;
  TPageWriteResult Encode(const std::string &fileName, int32_t flags, const TFileWrite &write) const;
  virtual bool ImageChanging(FIBITMAP *&oldImage, FIBITMAP *&newImage);
  virtual void ImageChanged();
  FIBITMAP *ImageHandle = nullptr;
};

class TFreeWinBitmap : public TFreeBitmap {
public:
  TFreeWinBitmap(int32_t imageType = FIT_BITMAP, int32_t width = 0, int32_t height = 0, int32_t bpp = 0);
  ~TFreeWinBitmap() override;

  void ReleaseImage() override;
  // Copies a GDI bitmap (device-dependent or DIB section) into a new image: 1- and 4-bit pages
  // become 8-bit grey (what JPEG holds), and a DIB section's resolution is kept.
  // Returns false for a null handle or one that cannot be described, or when no image can be
  // allocated; throws std::runtime_error("Error: GetDIBits failed") when the pixel copy fails.
  bool ImportDeviceBitmap(HBITMAP bitmap);
  // Takes a bottom-up 24-bit or grey 8-bit DIB section's pixels as the image, without a copy:
  // `take` hands over what keeps the section's pixels alive (held until the image goes), and is
  // called only once the section is found fit. False, with nothing taken, for any other bitmap or
  // when `take` gives nothing.
  bool AdoptDibSection(HBITMAP section, const std::function<std::shared_ptr<void>()> &take);

  // The pixel copy behind ImportDeviceBitmap; GetDIBits unless a test puts a failing one in.
  // Bottom-up 8- and 24-bit DIB sections take their header, colour table and one row from it
  // and the rest straight from the section.
  using TCopyDeviceBits = int(WINAPI *)(HDC, HBITMAP, UINT, UINT, LPVOID, LPBITMAPINFO, UINT);
  static TCopyDeviceBits CopyDeviceBits;

private:
  // AllocateImage for a page that is filled at once: takes a kept page-sized bitmap when one fits.
  bool AllocatePageImage(int32_t width, int32_t height, int32_t bpp);
  // Fills the held image from the bitmap: the lines copied, 0 when the copy failed.
  int CopyPixels(HBITMAP bitmap);

  void ImageChanged() override;
  // Unloads an image whose pixels belong to an adopted section, then lets the section go.
  void ReleaseAdopted();

  bool DeleteAsDIB = false;
  FIBITMAP *DisplayDib = nullptr;
  FIBITMAP *AdoptedImage = nullptr; // a header over PixelOwner's pixels
  std::shared_ptr<void> PixelOwner;
};
