// Blank-side detection over the labelled set of scanned sides (tests/fixtures/labelled-pages):
// how many sides with content it sets aside (must be 0), how many blank sides it sets aside
// (aim: 95 % or more), and what it costs per page beside the page's JPEG encode (aim: under 5 %).
// A side the scanner sent as JPEG is set beside the encode of the same page, which the station
// would otherwise have made.
//
// Usage: blank_side_bench [repetitions] [kind]   (default 3: the median of each page's timings;
//        kind: only the kinds whose name holds this text)
#include "bench/BenchClock.h"
#include "bench/Floor.h"
#include "image/BlankSide.h"
#include "tests/fixtures/labelled-pages/LabelledPages.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace labelled;

namespace {

struct TTally {
  int Content = 0, ContentSetAside = 0, Blank = 0, BlankSetAside = 0;
  TTimings Detect, Encode, DetectContent, DetectBlank;
  std::vector<std::string> Wrong;
};

bool Detect(const TPage &page) {
  return page.Image ? IsBlankSide(page.Image.get()) : IsBlankJpeg(page.Jpeg.data(), page.Jpeg.size());
}

const char *gOnly = nullptr;

void Measure(TForm form, int dpi, int repetitions, TTally &tally) {
  const bool jpeg = form == TForm::JpegGrey || form == TForm::JpegColour;
  const TForm encodedForm = form == TForm::JpegGrey     ? TForm::Grey
                            : form == TForm::JpegColour ? TForm::Colour
                                                        : form;
  for (size_t kind = 0; kind < Kinds().size(); ++kind) {
    if (gOnly && !std::strstr(Kinds()[kind].Name, gOnly))
      continue;
    const TPage page = MakePage(kind, form, dpi);
    TTimings detect;
    bool blank = false;
    for (int i = 0; i < repetitions; ++i) {
      TStopwatch watch;
      blank = Detect(page);
      detect.Add(watch.ElapsedMs());
    }
    // The station writes a 1-bit page as 8-bit grey: that is its encode.
    const TPage encoded = jpeg || form == TForm::Bw
                              ? MakePage(kind, form == TForm::Bw ? TForm::Grey : encodedForm, dpi)
                              : TPage();
    FIBITMAP *image = encoded.Image ? encoded.Image.get() : page.Image.get();
    TTimings encode;
    for (int i = 0; i < repetitions; ++i)
      encode.Add(TimeJpegEncodeMs(image));
    tally.Detect.Add(detect.Median());
    tally.Encode.Add(encode.Median());
    const TKind &k = Kinds()[kind];
    (k.Content ? tally.DetectContent : tally.DetectBlank).Add(detect.Median());
    if (k.Content) {
      ++tally.Content;
      tally.ContentSetAside += blank ? 1 : 0;
    } else {
      ++tally.Blank;
      tally.BlankSetAside += blank ? 1 : 0;
    }
    if (blank == k.Content)
      tally.Wrong.push_back(std::string(k.Content ? "CONTENT SET ASIDE: " : "blank kept: ") + k.Name);
  }
}

void Print(const char *title, const TTally &t) {
  std::printf("  %-34s content set aside %d of %d, blank set aside %d of %d (%5.1f %%); detector %6.2f ms "
              "(content %6.2f, blank %6.2f), encode %7.2f ms: %5.2f %%\n",
              title, t.ContentSetAside, t.Content, t.BlankSetAside, t.Blank,
              100.0 * t.BlankSetAside / std::max(1, t.Blank), t.Detect.Mean(), t.DetectContent.Mean(),
              t.DetectBlank.Mean(), t.Encode.Mean(), 100.0 * t.Detect.Sum() / t.Encode.Sum());
  for (const std::string &wrong : t.Wrong)
    std::printf("      %s\n", wrong.c_str());
}

} // namespace

int main(int argc, char **argv) {
  const int repetitions = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 3;
  gOnly = argc > 2 ? argv[2] : nullptr;
  FreeImage_Initialise(TRUE);
  std::printf(
      "blank_side_bench: %zu kinds of A4 side, each in %zu forms at 200 and 300 dpi; means per page of "
      "the medians of %d runs\n",
      Kinds().size(), sizeof kForms / sizeof kForms[0], repetitions);
  TTally all;
  for (int dpi : kResolutions) {
    for (TForm form : kForms) {
      TTally tally;
      Measure(form, dpi, repetitions, tally);
      Print((std::string(FormName(form)) + ", " + std::to_string(dpi) + " dpi").c_str(), tally);
      all.Content += tally.Content;
      all.ContentSetAside += tally.ContentSetAside;
      all.Blank += tally.Blank;
      all.BlankSetAside += tally.BlankSetAside;
      for (double ms : tally.Detect.Samples)
        all.Detect.Add(ms);
      for (double ms : tally.Encode.Samples)
        all.Encode.Add(ms);
      for (double ms : tally.DetectContent.Samples)
        all.DetectContent.Add(ms);
      for (double ms : tally.DetectBlank.Samples)
        all.DetectBlank.Add(ms);
    }
  }
  std::printf(
      "=> content pages set aside: %d of %d (must be 0); blank sides set aside: %d of %d = %.1f %% (aim "
      ">= 95 %%); detector %.2f ms a page = %.2f %% of the encode (aim < 5 %%)\n",
      all.ContentSetAside, all.Content, all.BlankSetAside, all.Blank,
      100.0 * all.BlankSetAside / std::max(1, all.Blank), all.Detect.Mean(),
      100.0 * all.Detect.Sum() / all.Encode.Sum());
  FreeImage_DeInitialise();
  return 0;
}
