#include "writer/SideLook.h"

#include "image/BlankSide.h"
#include "image/JpegLook.h"

void LookAtSide(TSaveRec &rec) {
  if (rec.Look.Done)
    return;
  FIBITMAP *image = rec.Bitmap.Image();
  if (image) {
    rec.Look.Picture = SidePictureOf(image, kSidePictureWidth, kSidePictureHeight);
    rec.Look.Blank = rec.SetBlankAside && IsBlankSide(image);
  } else if (!rec.Jpeg.empty()) {
    // The scanner's JPEG costs a decode: one, shared by both looks, and only for what is wanted.
    LookAtJpeg(rec.Jpeg.data(), rec.Jpeg.size(), rec.SetBlankAside, !rec.Look.Superseded, rec.Look);
  } else {
    return;
  }
  rec.Look.Done = true;
}
