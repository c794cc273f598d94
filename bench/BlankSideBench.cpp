// Blank-side detection over the labelled set of scanned sides (tests/fixtures/labelled-pages):
// the confusion table by kind and pixel type (content set aside must be 0 everywhere; blank set
// aside: 90 % or more), and what the detector costs per page beside the page's JPEG encode (aim:
// a quarter of it for bitmap pages, 15 ms for the scanner's JPEG at 300 dpi). A side the scanner
// sent as JPEG is set beside the encode of the same page, which the station would otherwise make;
// a 1-bit page beside the encode of its grey, as the station writes it.
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

constexpr size_t kFormCount = sizeof kForms / sizeof kForms[0];
constexpr size_t kDpiCount = sizeof kResolutions / sizeof kResolutions[0];

struct TCost {
  TTimings Detect, Encode;
};

bool Detect(const TPage &page) {
  return page.Image ? IsBlankSide(page.Image.get()) : IsBlankJpeg(page.Jpeg.data(), page.Jpeg.size());
}

// The page whose encode the station would pay for a page in this form.
FIBITMAP *EncodedPage(const std::vector<TPage> &forms, TForm form) {
  switch (form) {
  case TForm::Bw:
  case TForm::JpegGrey:
    return forms[static_cast<int>(TForm::Grey)].Image.get();
  case TForm::JpegColour:
    return forms[static_cast<int>(TForm::Colour)].Image.get();
  default:
    return forms[static_cast<int>(form)].Image.get();
  }
}

} // namespace

int main(int argc, char **argv) {
  const int repetitions = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 3;
  const char *only = argc > 2 ? argv[2] : nullptr;
  FreeImage_Initialise(TRUE);
  std::printf("blank_side_bench: %zu kinds of side, each in %zu forms at 200, 300 and 600 dpi; medians of %d "
              "runs a page (a shared machine: compare figures of one run)\n\n",
              Kinds().size(), kFormCount, repetitions);
  // wrong[kind][form]: resolutions at which the kind was judged wrongly.
  std::vector<std::vector<std::string>> wrong(Kinds().size(), std::vector<std::string>(kFormCount));
  TCost cost[kDpiCount][kFormCount];
  int content = 0, contentAside = 0, blanks = 0, blanksAside = 0;
  for (size_t kind = 0; kind < Kinds().size(); ++kind) {
    if (only && !std::strstr(Kinds()[kind].Name, only))
      continue;
    for (size_t d = 0; d < kDpiCount; ++d) {
      const std::vector<TPage> forms = MakeForms(kind, kResolutions[d]);
      for (size_t f = 0; f < kFormCount; ++f) {
        TTimings detect, encode;
        bool blank = false;
        for (int i = 0; i < repetitions; ++i) {
          TStopwatch watch;
          blank = Detect(forms[f]);
          detect.Add(watch.ElapsedMs());
          encode.Add(TimeJpegEncodeMs(EncodedPage(forms, kForms[f])));
        }
        cost[d][f].Detect.Add(detect.Median());
        cost[d][f].Encode.Add(encode.Median());
        const bool isContent = Kinds()[kind].Content;
        (isContent ? content : blanks) += 1;
        (isContent ? contentAside : blanksAside) += blank ? 1 : 0;
        if (blank == isContent)
          wrong[kind][f] += (wrong[kind][f].empty() ? "" : ",") + std::to_string(kResolutions[d]);
      }
    }
  }

  std::printf(
      "Confusion by kind and pixel type: '-' judged right at every resolution; else the dpi at which a\n"
      "content side was SET ASIDE (content kinds) or a blank side was kept (blank kinds)\n");
  std::printf("  %-46s", "kind");
  for (TForm form : kForms)
    std::printf(" %-12.12s", FormName(form));
  std::printf("\n");
  for (size_t kind = 0; kind < Kinds().size(); ++kind) {
    if (only && !std::strstr(Kinds()[kind].Name, only))
      continue;
    std::printf("  %-8s %-37.37s", Kinds()[kind].Content ? "content" : "blank", Kinds()[kind].Name);
    for (size_t f = 0; f < kFormCount; ++f)
      std::printf(" %-12s", wrong[kind][f].empty() ? "-" : wrong[kind][f].c_str());
    std::printf("\n");
  }

  std::printf("\nCost a page (means of the medians): detector, the encode beside it, and their ratio\n");
  for (size_t d = 0; d < kDpiCount; ++d)
    for (size_t f = 0; f < kFormCount; ++f) {
      const TCost &c = cost[d][f];
      std::printf("  %4d dpi %-24s detector %7.2f ms, encode %7.2f ms: %5.1f %%\n", kResolutions[d],
                  FormName(kForms[f]), c.Detect.Mean(), c.Encode.Mean(),
                  100.0 * c.Detect.Sum() / std::max(1e-9, c.Encode.Sum()));
    }
  std::printf("\n=> content sides set aside: %d of %d (must be 0); blank sides set aside: %d of %d = %.1f %% "
              "(aim >= 90 %%)\n",
              contentAside, content, blanksAside, blanks, 100.0 * blanksAside / std::max(1, blanks));
  FreeImage_DeInitialise();
  return 0;
}
