#include "app/PageNaming.h"

#include "app/uUtils.h"
#include "win/Owners.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

std::string PageFileName(const std::string &folder, const SYSTEMTIME &stamp, bool backSide) {
  const std::string name = "Scan" + FormatPageStamp(stamp) + (backSide ? "B" : "F") + ".jpg";
  // No folder is no reason to write into the root of the current drive: the page waits for one.
  return folder.empty() ? name : IncludeTrailingPathDelimiter(folder) + name;
}

std::function<SYSTEMTIME()> StationPageClock() {
  char text[MAX_PATH + 2] = {};
  SYSTEMTIME fixed;
  const DWORD length = ::GetEnvironmentVariableA("TOVIK_PAGE_CLOCK", text, sizeof text);
  if (length == 0 || length >= sizeof text)
    return TPageHandOff::LocalClock;
  if (text[0] == '@') {
    return [file = std::string(text + 1)] {
      char stamp[32] = {};
      DWORD read = 0;
      SYSTEMTIME now;
      win::UniqueFile clock(::CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
      if (!clock || !::ReadFile(clock.get(), stamp, sizeof stamp - 1, &read, nullptr) ||
          !ParsePageStamp(std::string(stamp, std::min<DWORD>(read, 17)), now))
        return TPageHandOff::LocalClock();
      return now;
    };
  }
  if (!ParsePageStamp(text, fixed))
    return TPageHandOff::LocalClock;
  return [fixed] { return fixed; };
}

TPageHandOff::TPageHandOff(TFolderText folderText, TQueuePage queuePage, TClock clock, TImportPage importPage)
    : FolderText(std::move(folderText)), QueuePage(std::move(queuePage)), Clock(std::move(clock)),
      ImportPage(std::move(importPage)) {}

SYSTEMTIME TPageHandOff::LocalClock() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return now;
}

void TPageHandOff::ImportWithGdi(TSaveRec &rec, const TScannedPage &page) {
  // The scanning thread touches the page's pixels once, in the strip copy, where it can.
  if (page.TakeBitmap && rec.Bitmap.AdoptDibSection(page.Bitmap, page.TakeBitmap))
    return;
  // An empty record would only fail later in the writer, with the page's side already used.
  if (!rec.Bitmap.ImportDeviceBitmap(page.Bitmap))
    throw std::runtime_error("Error: the page could not be copied");
}

// Two fronts in the same millisecond, or a clock set back, would give a front the name of an
// earlier one and the later file would replace it: every front's stamp is kept at least 1 ms
// after the previous front's.
SYSTEMTIME TPageHandOff::NextFrontStamp() {
  SYSTEMTIME now = Clock();
  ULONGLONG nowMs, lastMs;
  if (HaveFrontStamp && StampToMilliseconds(PageStamp, lastMs) &&
      (!StampToMilliseconds(now, nowMs) || nowMs <= lastMs))
    return StampFromMilliseconds(lastMs + 1);
  return now;
}

void TPageHandOff::HandlePage(HBITMAP page) {
  // Each page its own batch, at the position the alternation gives it.
  TScannedPage scanned;
  scanned.Bitmap = page;
  scanned.Side = BackSide ? 'B' : 'F';
  if (!BackSide)
    ++LooseBatch;
  scanned.Batch = LooseBatch;
  scanned.IndexInBatch = BackSide ? 1 : 0;
  HandlePage(scanned);
}

void TPageHandOff::HandlePage(const TScannedPage &page) {
  bool back;
  if (page.Side != 0)
    back = page.Side == 'B';
  else if (page.Simplex)
    back = false;
  else
    back = page.IndexInBatch % 2 == 1;
  const bool ownStamp =
      !back || !FrontWaiting || FrontBatch != page.Batch || FrontIndex + 1 != page.IndexInBatch;
  if (ownStamp) {
    PageStamp = NextFrontStamp();
    HaveFrontStamp = true;
  }
  auto rec = std::make_unique<TSaveRec>();
  rec->FileName = PageFileName(FolderText(), PageStamp, back);
  rec->Sheet = ownStamp ? Sheet + 1 : Sheet;
  rec->BackFollows = !back && !page.Simplex;
  if (page.Jpeg)
    rec->Jpeg = *page.Jpeg;
  else
    ImportPage(*rec, page);
  const bool backFollows = rec->BackFollows;
  if (ownStamp)
    EndBatch(); // the sheet before it is over
  LastQueued = rec->FileName;
  QueuePage(std::move(rec));
  Sheet += ownStamp ? 1 : 0;
  BackAwaited = backFollows;
  FrontWaiting = !back;
  FrontBatch = page.Batch;
  FrontIndex = page.IndexInBatch;
  BackSide = !back;
}

void TPageHandOff::EndBatch() {
  if (BackAwaited && OnSheetEnded)
    OnSheetEnded(Sheet);
  BackAwaited = false;
}
