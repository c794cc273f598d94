#include "writer/SideWriter.h"

#include "writer/SideLook.h"

#include <utility>

namespace {

std::string NameOf(const std::string &fileName) { return fileName.substr(fileName.find_last_of("\\/") + 1); }

bool IsBackName(const std::string &fileName) {
  const size_t dot = fileName.find_last_of('.');
  return dot != std::string::npos && dot > 0 && fileName[dot - 1] == 'B';
}

} // namespace

std::string BlankFolderName(const std::string &fileName) {
  const size_t slash = fileName.find_last_of("\\/");
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  return fileName.substr(0, start) + "Blank\\" + fileName.substr(start);
}

TSaveThread::TPageWriter SideWriter(TSideWriterOptions options) {
  if (!options.Write)
    options.Write = WritePage;
  return [options](TSaveRec &rec) {
    LookAtSide(rec);
    const bool blank = rec.Look.Blank;
    // The page keeps its own folder in the queue: a retry, or a folder given meanwhile, puts it
    // beside that folder's pages.
    const std::string ownName = rec.FileName;
    if (blank)
      rec.FileName = BlankFolderName(ownName);
    TPageWriteResult result = options.Write(rec);
    if (blank) // back beside its folder's pages, under the name the write gave it
      rec.FileName = PageFolderOf(ownName).empty() ? NameOf(rec.FileName)
                                                   : PageFolderOf(ownName) + "\\" + NameOf(rec.FileName);
    if (result.Written() && options.Written) {
      TSideWritten side;
      side.FileName =
          result.FinalName.empty() ? (blank ? BlankFolderName(ownName) : ownName) : result.FinalName;
      side.Back = IsBackName(ownName);
      side.Blank = blank;
      side.Batch = rec.Batch;
      side.Sheet = rec.Sheet;
      side.Picture = std::move(rec.Look.Picture);
      options.Written(std::move(side));
    }
    return result;
  };
}
