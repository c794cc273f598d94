// The names the writer gives pages when other stations write into the same folder: a sheet's
// front and back keep one stamp, the first from theirs at which both names are free, and both
// names are claimed when the front is written, so that the back finds its name waiting for it.
// A back whose front never took a name keeps its own stamp; a page on its own needs one name.
#pragma once

#include "win/Owners.h"
#include "writer/PageFile.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

struct TSaveRec;

class TSheetNames {
public:
  // Told every name before its claim is made, with the page's number in the crash journal (0 for a
  // back's name claimed with its front), and again when a back takes the name kept for it.
  using TClaimed = std::function<void(unsigned page, const std::string &path)>;

  explicit TSheetNames(TClaimed claimed = {}) : Claimed(std::move(claimed)) {}

  // Gives the page its claimed name (rec.FileName and rec.Claim); the failure when the folder
  // cannot take a claim now. A page claimed before in the same folder keeps its claim.
  TPageWriteResult Claim(TSaveRec &rec);
  // After the page's write: a front that will never be written gives its back's name back.
  void Settle(const TSaveRec &rec, const TPageWriteResult &result);
  // No back comes for this sheet: the name kept for it is given back.
  void EndSheet(unsigned sheet);

private:
  // The back's name kept since its front was claimed; none once the front gave up, or Ended
  // when the sheet ended before its front was claimed.
  struct TBackName {
    std::unique_ptr<TNameClaim> Claim;
    bool Ended = false;
  };
  TNameClaimed ClaimFor(TSaveRec &rec);

  TClaimed Claimed;
  win::CriticalSection Guard;          // the writer's thread and the scanning thread's EndSheet
  std::map<unsigned, TBackName> Backs; // by sheet
};
