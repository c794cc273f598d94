#include "app/SideNews.h"

#include <utility>

void TSideNews::Post(TSideWritten &&side) {
  bool announce;
  {
    win::Lock lock(Guard);
    if (side.Blank)
      News.BlankBatches.push_back(side.Batch);
    if (!side.Picture.Empty())
      (side.Back ? News.Back : News.Front) = std::move(side.Picture);
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
