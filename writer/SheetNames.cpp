#include "writer/SheetNames.h"

#include "writer/FolderKey.h"
#include "writer/PageStamp.h"
#include "writer/SaveRec.h"

namespace {

// Whether two page names are in one folder, however each folder is written.
bool InOneFolder(const std::string &a, const std::string &b) {
  return FolderKey(PageFolderOf(a)) == FolderKey(PageFolderOf(b));
}

TPageWriteResult ClaimedAs(const std::string &name) {
  return {TPageWriteOutcome::Written, std::string(), name};
}

} // namespace

TPageWriteResult TSheetNames::Claim(TSaveRec &rec) {
  // Tried before and waiting for its folder: the name stays the page's.
  if (rec.Claim && InOneFolder(rec.Claim->Path(), rec.FileName)) {
    rec.FileName = rec.Claim->Path();
    return ClaimedAs(rec.FileName);
  }
  rec.Claim.reset(); // claimed in a folder it no longer goes to
  TNameClaimed claimed = ClaimFor(rec);
  if (!claimed.Page)
    return claimed.Failure;
  rec.Claim = std::move(claimed.Page);
  rec.FileName = rec.Claim->Path();
  return ClaimedAs(rec.FileName);
}

TNameClaimed TSheetNames::ClaimFor(TSaveRec &rec) {
  // Every name is told before its claim exists: the page's under its number, a back's claimed with
  // its front under none until its own page takes it.
  const unsigned page = rec.JournalPage;
  const TClaimNotice forPage = [this, page](const std::string &path) {
    if (Claimed)
      Claimed(page, path);
  };
  const TClaimNotice forBack = [this](const std::string &path) {
    if (Claimed)
      Claimed(0, path);
  };
  const char side = PageNameSide(rec.FileName);
  if (rec.Sheet == 0 || side == 0 || (side == 'F' && !rec.BackFollows))
    return ClaimFreeName(rec.FileName, forPage);

  std::unique_ptr<TNameClaim> kept; // given back, outside the lock, unless the page takes it
  bool ended = false;
  {
    win::Lock lock(Guard);
    const auto it = Backs.find(rec.Sheet);
    if (it != Backs.end()) {
      kept = std::move(it->second.Claim);
      ended = it->second.Ended;
      if (side == 'B' || ended)
        Backs.erase(it);
    }
  }
  TNameClaimed claimed;
  if (side == 'B') {
    if (!kept) // its front never took a name: its own stamp
      return ClaimFreeName(rec.FileName, forPage);
    const std::string keptName = kept->Path();
    if (InOneFolder(keptName, rec.FileName)) {
      forPage(keptName); // the back's own page takes the name claimed with its front
      claimed.Page = std::move(kept);
      return claimed;
    }
    // Its folder changed since its front: its front's stamp in its own folder.
    const std::string folder = PageFolderOf(rec.FileName);
    const std::string name = keptName.substr(keptName.find_last_of("\\/") + 1);
    claimed = ClaimFreeName(folder.empty() ? name : folder + "\\" + name, forPage);
  } else if (ended) {
    claimed = ClaimFreeName(rec.FileName, forPage);
  } else {
    kept.reset();
    claimed = ClaimFreeSheet(rec.FileName, forPage, forBack);
    if (claimed.Back) {
      win::Lock lock(Guard);
      TBackName &back = Backs[rec.Sheet];
      if (back.Ended) // the sheet ended while its names were claimed
        Backs.erase(rec.Sheet);
      else
        back.Claim = std::move(claimed.Back);
    }
  }
  if (!claimed.Page && (kept || ended)) {
    // The folder cannot take the page now: the sheet keeps what it had for the page's next try
    // (its own folder, when the Blank folder is in the way), so that a back keeps its front's
    // stamp and a front whose back never comes claims no name for it.
    win::Lock lock(Guard);
    TBackName &back = Backs[rec.Sheet];
    back.Ended = back.Ended || ended;
    if (!back.Claim)
      back.Claim = std::move(kept);
  }
  return claimed; // a back's name given back here goes outside the lock
}

void TSheetNames::Settle(const TSaveRec &rec, const TPageWriteResult &result) {
  if (!rec.BackFollows || result.Written() || result.Outcome == TPageWriteOutcome::Waiting)
    return;
  // The front will never be written: its back keeps its own stamp.
  std::unique_ptr<TNameClaim> givenBack;
  win::Lock lock(Guard);
  const auto it = Backs.find(rec.Sheet);
  if (it != Backs.end())
    givenBack = std::move(it->second.Claim);
}

void TSheetNames::EndSheet(unsigned sheet) {
  std::unique_ptr<TNameClaim> givenBack;
  win::Lock lock(Guard);
  const auto it = Backs.find(sheet);
  if (it == Backs.end()) {
    Backs[sheet].Ended = true; // its front is still to be claimed
    return;
  }
  givenBack = std::move(it->second.Claim);
  Backs.erase(it);
}
