#include "writer/SaveRec.h"

std::unique_ptr<TSaveRec> TSaveRecs::TakeFirst() {
  if (Items.empty())
    return nullptr;
  std::unique_ptr<TSaveRec> first = std::move(Items.front());
  Items.pop_front();
  return first;
}

std::unique_ptr<TSaveRec> TSaveRecs::TakeFirstWhere(const std::function<bool(const TSaveRec &)> &may) {
  for (auto it = Items.begin(); it != Items.end(); ++it) {
    if (may(**it)) {
      std::unique_ptr<TSaveRec> rec = std::move(*it);
      Items.erase(it);
      return rec;
    }
  }
  return nullptr;
}

size_t PageBytes(const TSaveRec &rec) {
  FIBITMAP *image = rec.Bitmap.Image();
  return rec.Jpeg.size() +
         (image ? static_cast<size_t>(FreeImage_GetPitch(image)) * FreeImage_GetHeight(image) : 0);
}

std::string PageFolderOf(const std::string &fileName) {
  const size_t slash = fileName.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : fileName.substr(0, slash);
}
