// One page file on its way to disk, so that no page is lost, cut short or replaced: its name is
// claimed first, then its bytes go through a file handle of our own into "<name>.partial", every
// write checked, flushed to disk and closed, and only then does the file move onto its name. A
// name already on disk is never replaced: the stamp in the name moves on by 1 ms until the name
// is free.
#pragma once

#include <windows.h>

#include <FreeImage.h>

#include "win/Owners.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

enum class TPageWriteOutcome {
  Written,
  Waiting, // the folder or its disk cannot take the page now (unreachable, full, no folder given)
  Refused, // the page can never be written as asked (its format, an empty page)
};

struct TPageWriteResult {
  TPageWriteOutcome Outcome = TPageWriteOutcome::Refused;
  std::string Reason;    // why not written, in words for the status line ("the disk is full")
  std::string FinalName; // the name the page was written under

  bool Written() const { return Outcome == TPageWriteOutcome::Written; }
  static TPageWriteResult Refusal(std::string reason) {
    return {TPageWriteOutcome::Refused, std::move(reason), std::string()};
  }
};

// The open ".partial" file handed to whatever produces the page's bytes. Small pieces gather in
// the sink and reach the file together: an encoder hands its bytes on a few kilobytes at a time,
// and a system call for each costs the writer more than the copy.
class TPageFileSink {
public:
  static constexpr size_t kGatherBytes = 64u << 10;

  explicit TPageFileSink(HANDLE file) : File(file) {}
  TPageFileSink(const TPageFileSink &) = delete;
  TPageFileSink &operator=(const TPageFileSink &) = delete;
  // Takes all of it or records why not; once a write failed, every later one fails too.
  bool Write(const void *data, size_t size);
  // Puts what is gathered into the file; before a seek, a tell and the file's flush.
  bool Flush();
  DWORD ErrorCode() const { return Error; }
  HANDLE Handle() const { return File; }
  // FreeImage's I/O over a sink: pass the sink's address as the handle.
  static FreeImageIO IO();

private:
  bool WriteThrough(const char *bytes, size_t size);

  HANDLE File;
  DWORD Error = 0;
  size_t GatheredBytes = 0;
  char Gathered[kGatherBytes];
};

// Writes the bytes the producer gives into the file; false from the producer (with no failed
// write) means it had nothing it could write, which is a refusal.
using TPageBytesProducer = std::function<bool(TPageFileSink &sink)>;

// A page's name taken before the page is written, so that no other station writing into the
// same folder can take it meanwhile: the name's ".partial" file, created exclusively (which holds
// on network shares too) and held open; the page's bytes go into it and it moves onto the name
// only when they are all on disk, so a program reading the folder never sees a name without its
// page. Unless the page was moved in, the ".partial" file goes when the claim ends.
class TNameClaim {
public:
  TNameClaim(std::string path, HANDLE held) : Name(std::move(path)), Held(held) {}
  ~TNameClaim();
  TNameClaim(const TNameClaim &) = delete;
  TNameClaim &operator=(const TNameClaim &) = delete;
  const std::string &Path() const { return Name; }
  // The claim's own file, emptied for the page's bytes; INVALID_HANDLE_VALUE (the error in
  // GetLastError) when it cannot be had now.
  HANDLE Emptied();
  // Flushes and closes the file and moves it onto the name; 0 or the system's error.
  DWORD MovePageIn();

private:
  std::string Name;
  win::UniqueFile Held;
  bool Filled = false;
};

// The file a page's bytes go into before it moves onto its name; it is also the name's claim.
std::string PartialNameOf(const std::string &pageName);

// What a claim gives: the page's name (and its back's, for a sheet) or why none could be had now.
struct TNameClaimed {
  std::unique_ptr<TNameClaim> Page, Back;
  TPageWriteResult Failure; // when Page is null: the folder cannot take the page now
};

// Told each name just before its ".partial" file is made, so that the crash journal holds every
// claim that can exist.
using TClaimNotice = std::function<void(const std::string &path)>;

// Claims the name or the first one after it that is free, the stamp moved on 1 ms at a time (a
// counter before the extension for a name of another form). The folder chain is made when it is
// missing and its drive is reachable; a name with no folder waits for one.
TNameClaimed ClaimFreeName(const std::string &fileName, const TClaimNotice &before = {});
// A sheet: the first stamp from the front's at which the front's name and the back's are both
// free, both claimed. A front name of another form is claimed alone.
TNameClaimed ClaimFreeSheet(const std::string &frontName, const TClaimNotice &beforeFront = {},
                            const TClaimNotice &beforeBack = {});

// Writes the page onto its claimed name; the claim stays when the page could not be written.
TPageWriteResult WritePageFile(TNameClaim &claim, const TPageBytesProducer &produce);
// The same under a name claimed for this page alone.
TPageWriteResult WritePageFile(const std::string &fileName, const TPageBytesProducer &produce);

// The status-line words for a system error code of a failed write.
std::string PageWriteErrorText(DWORD errorCode);
