// The scanner's own JPEG, judged without decoding it whole: libjpeg scales it down while it
// decodes, to no less than 150 dpi, so that a faint pencil line 0.35 mm wide keeps the darkness
// its pixels show. Reading the file's coefficients is the cost that remains; one pass pays it
// once, for the judgement and the picture together.
#include "image/BlankSide.h"
#include "image/InkGrid.h"
#include "image/JpegLook.h"
#include "image/JpegRows.h"

#include <memory>

namespace {

constexpr double kLeastJudgedDpi = 150;

unsigned DenominatorFor(double dpi) {
  unsigned denominator = 1;
  while (denominator < 8 && dpi / (denominator * 2) >= kLeastJudgedDpi)
    denominator *= 2;
  return denominator;
}

class TLookSink : public TJpegRowSink {
public:
  TLookSink(const TJpegHeader &header, unsigned denominator, double dpi, bool judge, bool picture) {
    const int width = ScaledJpegSize(header.Width, denominator),
              height = ScaledJpegSize(header.Height, denominator);
    if (judge)
      Pooler = std::make_unique<TCellPooler>(width, height, header.Components, CellPixels(dpi / denominator),
                                             dpi / denominator);
    if (picture)
      Shrinker = std::make_unique<TPictureShrinker>(width, height, header.Components, kSidePictureWidth,
                                                    kSidePictureHeight);
  }
  void Row(const uint8_t *row) override {
    if (Pooler)
      Pooler->AddRow(row);
    if (Shrinker)
      Shrinker->Row(row);
  }

  std::unique_ptr<TCellPooler> Pooler;
  std::unique_ptr<TPictureShrinker> Shrinker;
};

} // namespace

void LookAtJpeg(const uint8_t *data, size_t size, bool judge, bool picture, TSideLook &look) {
  look.Blank = false;
  TJpegHeader header;
  if ((!judge && !picture) || !ReadJpegHeader(data, size, header))
    return;
  const double dpi = PageDpi(header.Dpi, header.Width);
  const unsigned denominator = judge ? DenominatorFor(dpi) : 8;
  TLookSink sink(header, denominator, dpi, judge, picture);
  if (sink.Pooler && sink.Pooler->TooLarge())
    sink.Pooler.reset(); // not judged: content
  if ((!sink.Pooler && !sink.Shrinker) || !DecodeJpegRows(data, size, denominator, sink))
    return;
  if (sink.Pooler)
    look.Blank = !HasInk(sink.Pooler->Take());
  if (sink.Shrinker)
    look.Picture = sink.Shrinker->Take();
}

bool IsBlankJpeg(const uint8_t *data, size_t size) {
  TSideLook look;
  LookAtJpeg(data, size, true, false, look);
  return look.Blank;
}
