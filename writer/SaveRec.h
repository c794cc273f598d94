// One queued page and the queue between the window's thread, the encoders and the writer. Its
// own header, so that the pool, the writer and the side writer share the record without one
// including another.
#pragma once

#include "image/FreeBitmap.h"
#include "image/SidePicture.h"
#include "win/Owners.h"
#include "writer/PageFile.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Where a queued page's encode stands. Read and changed under the queue's lock.
enum class TPageEncoding {
  Waiting, // nobody has looked at it yet
  Running, // an encoder holds its pixels: nobody else touches its bitmap or bytes
  Settled, // encoded, or left to the writer (the scanner's JPEG, another format, a failed encode)
};

// One page to write: a bitmap to encode, or (when not empty) a JPEG file the scanner made, or an
// encoder made ahead of the writer, written as it is.
struct TSaveRec {
  std::string FileName;
  TFreeWinBitmap Bitmap{FIT_BITMAP, 0, 0, 0};
  std::vector<uint8_t> Jpeg;
  TPageEncoding Encoding = TPageEncoding::Waiting;
  // The sheet the page belongs to, shared by its front and back; 0 for a page on its own.
  unsigned Sheet = 0;
  // A front whose back is still to come: the back's name is claimed with the front's.
  bool BackFollows = false;
  // The name claimed on disk for the page, once the writer has tried it.
  std::unique_ptr<TNameClaim> Claim;
  unsigned JournalPage = 0; // its number in the crash journal; 0 when not in one
  // The person asked for blank sides to be set aside when the page was scanned (see SideWriter).
  bool SetBlankAside = false;
  unsigned Batch = 0; // the station's batch the page came in
  TSideLook Look;     // what the encoder (or the writer) saw in the pixels
};

// The queue between the two threads. Callers hold Lock/Unlock only around list operations.
class TSaveRecs {
public:
  void Add(std::unique_ptr<TSaveRec> rec) { Items.push_back(std::move(rec)); }
  // Puts a page that has to wait back where it was: first.
  void AddFirst(std::unique_ptr<TSaveRec> rec) { Items.push_front(std::move(rec)); }
  std::unique_ptr<TSaveRec> TakeFirst();
  // Takes the first page for which `may` is true; null when there is none.
  std::unique_ptr<TSaveRec> TakeFirstWhere(const std::function<bool(const TSaveRec &)> &may);
  // Every queued page, in order, for renaming in place.
  template <typename Visit> void ForEach(Visit visit) {
    for (auto &rec : Items)
      visit(*rec);
  }
  size_t Count() const { return Items.size(); }
  void Lock() { Guard.Enter(); }
  void Unlock() { Guard.Leave(); }
  win::CriticalSection &GuardSection() { return Guard; }

private:
  std::deque<std::unique_ptr<TSaveRec>> Items;
  win::CriticalSection Guard;
};

// Bytes allowed to wait in the queue (pixels, or a page's JPEG once encoded) before QueuePage
// holds the scan back, so a slow disk slows the scan instead of exhausting a 32-bit address space.
constexpr size_t kQueueBudgetBytes = 512u * 1024u * 1024u;

// Bytes a page holds while it waits in the queue.
size_t PageBytes(const TSaveRec &rec);

// The folder part of a page's file name; empty for a name alone.
std::string PageFolderOf(const std::string &fileName);
