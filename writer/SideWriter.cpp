#include "writer/SideWriter.h"

#include "writer/SideLook.h"

#include <windows.h>

#include <utility>

namespace {

std::string NameOf(const std::string &fileName) { return fileName.substr(fileName.find_last_of("\\/") + 1); }

bool IsBackName(const std::string &fileName) {
  const size_t dot = fileName.find_last_of('.');
  return dot != std::string::npos && dot > 0 && fileName[dot - 1] == 'B';
}

// Back beside its own folder's pages, under the name the last write gave it.
std::string InItsFolder(const std::string &ownName, const std::string &written) {
  const std::string folder = PageFolderOf(ownName);
  return folder.empty() ? NameOf(written) : folder + "\\" + NameOf(written);
}

// Why the Blank folder took no page while the folder around it did, in words for the status line.
std::string WhyNotSetAside(const std::string &blankName, const TPageWriteResult &failed) {
  const std::string folder = PageFolderOf(blankName);
  const DWORD attributes = ::GetFileAttributesA(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return "a file named Blank is in the way";
  if (PartialNameOf(blankName).size() >= MAX_PATH)
    return "the path is too long";
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return "the folder Blank takes no pages (" + failed.Reason + ")";
  const std::string why =
      ::CreateDirectoryA(folder.c_str(), nullptr) ? failed.Reason : PageWriteErrorText(::GetLastError());
  if (why == PageWriteErrorText(ERROR_ACCESS_DENIED))
    return "no right to make the folder Blank";
  return "the folder Blank cannot be made (" + why + ")";
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
    // The page keeps its own folder in the queue: a retry, or a folder given meanwhile, puts it
    // beside that folder's pages.
    const std::string ownName = rec.FileName;
    const std::string blankName = BlankFolderName(ownName);
    bool inBlank = rec.Look.Blank;
    if (inBlank)
      rec.FileName = blankName;
    TPageWriteResult result = options.Write(rec);
    if (inBlank)
      rec.FileName = InItsFolder(ownName, rec.FileName);
    std::string notSetAside;
    if (inBlank && result.Outcome == TPageWriteOutcome::Waiting) {
      // Nothing waits for the Blank folder: the side goes among its folder's pages under its own
      // name, and waits only if that folder cannot take it either.
      const TPageWriteResult aside = result;
      inBlank = false;
      result = options.Write(rec);
      if (result.Written())
        notSetAside = WhyNotSetAside(blankName, aside);
    }
    if (!result.Written())
      return result;
    if (!notSetAside.empty() && options.NotSetAside)
      options.NotSetAside(notSetAside);
    if (options.Written) {
      TSideWritten side;
      side.FileName = result.FinalName.empty() ? (inBlank ? blankName : ownName) : result.FinalName;
      side.Back = IsBackName(ownName);
      side.Blank = rec.Look.Blank;
      side.Batch = rec.Batch;
      side.Sheet = rec.Sheet;
      side.Picture = std::move(rec.Look.Picture);
      options.Written(std::move(side));
    }
    return result;
  };
}
