// Naming of scanned pages and their hand-off to the writer. A page's side is the scanner's word
// when it gives one; else every page of a simplex scanner is a front; else sides alternate from a
// front at the start of every batch, lost pages taking their side. A front takes a new time stamp,
// its back reuses it; a back whose front never came takes one of its own. Front and back carry
// their sheet's number, so that the writer keeps the back's name free with the front's.
#pragma once

#include "app/ScannerLink.h"
#include "writer/PageStamp.h"
#include "writer/uSaveThread.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

// Folder + separator (unless it already ends in one) + "Scan" + stamp + side + ".jpg"; with no
// folder, the name alone, which the writer holds until a folder is given.
std::string PageFileName(const std::string &folder, const SYSTEMTIME &stamp, bool backSide);

// The station's clock, for pages' stamps and the day's count: local time; for tests, a clock that
// stands still at the stamp TOVIK_PAGE_CLOCK gives ("yyyymmddhhmmsszzz"), so that stations started
// together stamp their sheets alike, or with "@FILE" the stamp that file holds when asked, so that
// a test can move the clock (past midnight, say).
std::function<SYSTEMTIME()> StationPageClock();

class TPageHandOff {
public:
  using TFolderText = std::function<std::string()>;
  using TClock = std::function<SYSTEMTIME()>;
  using TQueuePage = std::function<void(std::unique_ptr<TSaveRec>)>;
  // Puts the page's pixels into the record; throws when that fails.
  using TImportPage = std::function<void(TSaveRec &rec, const TScannedPage &page)>;

  TPageHandOff(TFolderText folderText, TQueuePage queuePage, TClock clock = LocalClock,
               TImportPage importPage = ImportWithGdi);

  // Names the page, puts it (or the scanner's JPEG bytes) into a new record and queues the
  // record. The page stays the caller's unless the import takes its bitmap over. When the copy throws,
  // nothing is queued, the side is kept, and the exception goes on to the caller.
  void HandlePage(const TScannedPage &page);
  // A page known only by its bitmap: the side alternates from the previous page's.
  void HandlePage(HBITMAP page);
  // The batch ended: a front still waiting for its back gets none.
  void EndBatch();
  // The name the last page was queued under, and whether it is a front whose back is still to
  // come: what a paper fault is told by.
  const std::string &LastName() const { return LastQueued; }
  bool SheetOpen() const { return BackAwaited; }

  bool BackSide = false;
  SYSTEMTIME PageStamp = {};
  // Told when a front queued with its back to follow will get none; may be unset.
  std::function<void(unsigned sheet)> OnSheetEnded;

  static SYSTEMTIME LocalClock();
  // Takes the page's bitmap over when it can be written as it is, else copies it.
  static void ImportWithGdi(TSaveRec &rec, const TScannedPage &page);

private:
  SYSTEMTIME NextFrontStamp();

  TFolderText FolderText;
  TQueuePage QueuePage;
  TClock Clock;
  TImportPage ImportPage;
  bool HaveFrontStamp = false;
  // The last page queued was a front: its batch and position, for the back that follows it.
  bool FrontWaiting = false;
  unsigned FrontBatch = 0;
  unsigned FrontIndex = 0;
  unsigned LooseBatch = 0;  // batch numbers for pages known only by their bitmap
  unsigned Sheet = 0;       // the sheet of the last page queued
  bool BackAwaited = false; // the last page queued was a front whose back is to follow
  std::string LastQueued;
};
