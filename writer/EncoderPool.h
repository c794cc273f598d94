// Pages encoded ahead of the writer: a few threads take the queued pages in order and turn each
// bitmap into the JPEG bytes the writer would put into its file, and let the pixels go. The writer
// stays the only one that names, writes and renames pages, in queue order; it writes the bytes of
// a page that is ready and encodes a page nobody has taken yet itself.
#pragma once

#include "win/Owners.h"
#include "writer/SaveRec.h"

#include <cstddef>
#include <functional>
#include <vector>

// Encoder threads this PC can spare: one for each processor but the one the scanning
// (user-interface) thread needs; none on a single processor, where the writer encodes alone.
size_t EncodersForThisMachine();

class TEncoderPool {
public:
  // Under the queue's lock: an encoded page now holds `after` bytes instead of `before`.
  using TResized = std::function<void(size_t before, size_t after)>;
  // A page's encode ended (outside the lock): the writer may go on, and the queue has room.
  using TEncoded = std::function<void()>;

  TEncoderPool(TSaveRecs &queue, size_t threads, TResized resized, TEncoded encoded);
  // Ends the threads, each after the page it is encoding.
  ~TEncoderPool();
  TEncoderPool(const TEncoderPool &) = delete;
  TEncoderPool &operator=(const TEncoderPool &) = delete;

  // A page was queued.
  void Wake();
  // Encodes the first queued page that nobody has looked at; false when there is none. The
  // writer calls it too when it has nothing it may write.
  bool EncodeOne();
  size_t Threads() const { return Workers.size(); }

private:
  static DWORD WINAPI ThreadEntry(void *self);
  void Run();
  // Under the queue's lock: the first page to encode, marked Running; pages that need no encode
  // are settled on the way.
  TSaveRec *Claim();

  TSaveRecs &Queue;
  TResized Resized;
  TEncoded Encoded;
  win::UniqueHandle Work; // auto-reset: a page may be waiting
  win::UniqueHandle Stop; // manual reset: the pool ends
  std::vector<win::UniqueHandle> Workers;
};
