// How a batch asked to end early (a close, the end of the session, a queue that cannot take more)
// ends: between sheets, never inside one. A duplex scanner images both sides as the sheet passes,
// so once a front is transferred its back exists and the sheet has left the feeder: the back is
// fetched too. A source that feeds from its feeder is told to stop it (MSG_STOPFEEDER, state 6)
// and then says itself what is still in its paper path; the others are reset after the sheet.
#include "twain/TwainSource.h"

#include <cstring>

TTwainSource::TFeederStop TTwainSource::StopFeeder() {
  bool feeding = false;
  if ((ReadCurrentBool(CAP_FEEDERENABLED, feeding) != tcrOk || !feeding) &&
      (ReadCurrentBool(CAP_AUTOFEED, feeding) != tcrOk || !feeding))
    return TFeederStop::notStopped;
  TW_PENDINGXFERS pending;
  std::memset(&pending, 0, sizeof pending);
  if (Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_STOPFEEDER, &pending) != TWRC_SUCCESS)
    return TFeederStop::notStopped;
  // Count -1 (0xFFFF) is a source that cannot say how many: MSG_ENDXFER will say when none is left.
  return pending.Count == 0 ? TFeederStop::pathEmpty : TFeederStop::pagesInPath;
}

bool TTwainSource::SheetOpen(TBatchEnd &end, const TPagePlace &last) {
  if (last.side == TPageSide::back)
    return false;
  if (end.duplex < 0) {
    bool duplex = false;
    // A source that cannot say is taken for duplex, as the pages are named: a page too many is
    // written rather than a back lost.
    end.duplex = ReadCurrentBool(CAP_DUPLEXENABLED, duplex) != tcrOk || duplex ? 1 : 0;
  }
  if (end.duplex == 0)
    return false;
  // Without the source's word, sides alternate from a front at the start of the batch.
  return last.side == TPageSide::front || last.index % 2 == 0;
}

bool TTwainSource::TakePageBeforeEnd(TBatchEnd &end, const TPagePlace &next, bool anyPage) {
  if (end.pagesTaken >= kMaxPagesAfterEnd)
    return false;
  if (!end.stopTried) {
    end.stopTried = true;
    const TFeederStop stop = StopFeeder();
    if (stop == TFeederStop::pathEmpty)
      return false; // stopped with nothing in its path: the reset that follows only leaves state 6
    end.feederStopped = stop == TFeederStop::pagesInPath;
  }
  bool take = end.feederStopped;
  if (!take && anyPage) {
    TPagePlace last = next;
    --last.index;
    take = SheetOpen(end, last);
  }
  if (take)
    ++end.pagesTaken;
  return take;
}
