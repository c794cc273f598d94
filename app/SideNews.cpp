#include "app/SideNews.h"

#include <utility>

void TSideNews::Post(TSideWritten &&side) {
  bool announce;
  {
    win::Lock lock(Guard);
    const bool unsaved =
        !UnsavedFolder.empty() && side.FileName.compare(0, UnsavedFolder.size(), UnsavedFolder) == 0;
    ++(unsaved ? News.Unsaved : News.Written);
    if (side.Blank)
      News.BlankBatches.push_back(side.Batch);
    TPicture &newest = side.Back ? News.Back : News.Front;
    if (!side.Picture.Empty() && (newest.Picture.Empty() || side.Sheet >= newest.Sheet))
      newest = {side.Sheet, std::move(side.Picture)};
    announce = !std::exchange(Announced, true);
  }
  if (announce)
    ::PostMessageA(Window, Message, 0, 0);
}

TSideNews::TNews TSideNews::Take() {
  win::Lock lock(Guard);
  Announced = false;
  return std::exchange(News, TNews());
}

bool TSheetPictures::Take(TSideNews::TNews &news) {
  TSideNews::TPicture *sides[2] = {&news.Front, &news.Back};
  // The older sheet first, so that a newer one's side empties it.
  const int first = news.Back.Sheet < news.Front.Sheet ? 1 : 0;
  bool changed = false;
  for (int i : {first, 1 - first})
    if (!sides[i]->Picture.Empty())
      changed = Show(sides[i]->Sheet, i, std::move(sides[i]->Picture)) || changed;
  return changed;
}

bool TSheetPictures::Show(unsigned sheet, int side, TSidePicture &&picture) {
  if (AnySheet && sheet < Sheet)
    return false;
  if (!AnySheet || sheet > Sheet) {
    AnySheet = true;
    Sheet = sheet;
    Shown[0] = Shown[1] = TSidePicture();
  }
  Shown[side] = std::move(picture);
  return true;
}
