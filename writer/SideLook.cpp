#include "writer/SideLook.h"

#include "image/BlankSide.h"

void LookAtSide(TSaveRec &rec) {
  if (rec.Look.Done)
    return;
  FIBITMAP *image = rec.Bitmap.Image();
  const bool jpeg = !image && !rec.Jpeg.empty();
  if (!image && !jpeg)
    return;
  rec.Look.Picture =
      jpeg ? SidePictureOfJpeg(rec.Jpeg.data(), rec.Jpeg.size(), kSidePictureWidth, kSidePictureHeight)
           : SidePictureOf(image, kSidePictureWidth, kSidePictureHeight);
  rec.Look.Blank =
      rec.SetBlankAside && (jpeg ? IsBlankJpeg(rec.Jpeg.data(), rec.Jpeg.size()) : IsBlankSide(image));
  rec.Look.Done = true;
}
