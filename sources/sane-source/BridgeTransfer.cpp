// The batch and image triplets of the bridge: pending transfers, the image description and
// palette, and the memory and native transfers of the page read from the device. Both transfers
// work whatever ICAP_XFERMECH says: the triplet the application sends is its choice.
#include "sources/sane-source/Bridge.h"

#include "sources/common/TransferBuffer.h"
#include "sources/common/TwainText.h"
#include "sources/sane-source/ScanArea.h"
#include "win/Owners.h"

#include <algorithm>
#include <cstring>

namespace sanesrc {

namespace {

constexpr TW_UINT16 TWPA_GRAY = 1;
constexpr TW_UINT16 TWCP_NONE = 0;
constexpr TW_UINT16 kMorePages = 0xFFFF; // -1: more pages, how many is not known
constexpr TW_UINT32 kPreferredBuffer = 64 * 1024;

TW_INT16 PixelTypeOf(const PageRows &page) {
  if (page.samplesPerPixel == 3)
    return TWPT_RGB;
  return page.bitsPerSample == 1 ? TWPT_BW : TWPT_GRAY;
}

// The page as a BMP file, written a row at a time (bottom row first): the page is not copied.
bool WriteBmpFile(const std::string &path, const PageRows &page, const DibLayout &layout, int xDotsPerInch,
                  int yDotsPerInch) {
  win::UniqueHandle file(
      ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return false;
  }
  std::vector<uint8_t> bytes(sizeof(BITMAPFILEHEADER) + layout.headerBytes);
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42; // "BM"
  header.bfSize = static_cast<DWORD>(sizeof header + layout.totalBytes);
  header.bfOffBits = static_cast<DWORD>(sizeof header + layout.headerBytes);
  std::memcpy(bytes.data(), &header, sizeof header);
  WriteDibHeader(page, xDotsPerInch, yDotsPerInch, bytes.data() + sizeof header);
  const auto write = [&](const std::vector<uint8_t> &b) {
    DWORD written = 0;
    return ::WriteFile(file.get(), b.data(), static_cast<DWORD>(b.size()), &written, nullptr) &&
           written == b.size();
  };
  if (!write(bytes))
    return false;
  bytes.assign(layout.stride, 0);
  for (uint32_t r = page.rows; r-- > 0;)
    if (!WriteDibRow(page, r, bytes.data()) || !write(bytes))
      return false;
  return true;
}

} // namespace

PageRows *Bridge::Page(Result &failure) {
  if (!scan_) {
    failure = Result{TWRC_FAILURE, TWCC_SEQERROR};
    return nullptr;
  }
  // A sheet after the first is read while the application goes on: its first look at the page
  // waits for it, keeping the application's windows painting.
  if (!scan_->Finished() && hasWindow_ && !waiting_)
    WaitForSheet();
  if (cancelAsked_) { // asked while it waited: the page is not wanted
    pageFailed_ = true;
    failure = Result{TWRC_CANCEL, TWCC_SUCCESS};
    return nullptr;
  }
  PageResult &page = scan_->Wait();
  if (page.status == int(SaneStatus::Good))
    return &page.page;
  pageFailed_ = true;
  StatusMeaning meaning = MeaningOf(page.status);
  if (page.status == int(SaneStatus::Jammed) && page.doubleFeed)
    meaning.cc = TWCC_PAPERDOUBLEFEED;
  failure = Result{meaning.rc, meaning.cc};
  closeAfterBatch_ = closeAfterBatch_ || meaning.closeRequest;
  return nullptr;
}

Bridge::Result Bridge::TransferFailure(const Result &failure) {
  // Only a transfer answers TWRC_CANCEL, and then ends in state 7 as a finished one does (the
  // application ends it with MSG_ENDXFER).
  if (failure.rc == TWRC_CANCEL)
    state_ = 7;
  return failure;
}

Bridge::Result Bridge::DescriptionFailure(const Result &failure) {
  // The description of a page that could not be read: refused, and the session stays where it is,
  // so that MSG_ENDXFER or MSG_RESET lead back.
  if (failure.rc == TWRC_CANCEL)
    return Result{TWRC_FAILURE, TWCC_OPERATIONERROR};
  return failure;
}

void Bridge::WaitForSheet(bool untilStarted) {
  // A real driver keeps the application's windows painting while its device works; a thread that
  // blocked here for every sheet of a long batch would show as hung. Messages are dispatched as
  // the application's own loop would, and a WM_QUIT is put back for that loop.
  struct Waiting {
    bool &flag;
    bool &forStart;
    Waiting(bool &f, bool &start, bool untilStarted) : flag(f), forStart(start) {
      flag = true;
      forStart = untilStarted;
    }
    ~Waiting() { flag = forStart = false; }
  } waiting{waiting_, awaitingStart_, untilStarted};
  bool quit = false;
  WPARAM quitCode = 0;
  while (!cancelAsked_ && (untilStarted ? scan_->StartAnswer() < 0 : !scan_->Finished())) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (!quit && ::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;
        quitCode = message.wParam;
        break;
      }
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }
    if (quit) // the loop ends: the rest of the wait needs no messages
      break;
  }
  if (quit)
    ::PostQuitMessage(static_cast<int>(quitCode));
}

void Bridge::EndBatch() {
  // A sheet still awaited or read is cancelled, and SANE's scan ends also after its last page; the
  // owner does both when the device lets it.
  if (device_)
    device_->Cancel(scan_);
  scan_.reset();
  cancelAsked_ = false;
  offset_ = 0;
}

Bridge::Result Bridge::PendingXfers(TW_UINT16 msg, TW_PENDINGXFERS *pending) {
  pending->EOJ = 0;
  switch (msg) {
  case MSG_GET:
    pending->Count = PendingCount();
    return Result{};
  case MSG_ENDXFER: {
    ++pagesDone_;
    const bool countReached = session_.xferCount > 0 && pagesDone_ >= session_.xferCount;
    // A stopped feeder still gives the back of the sheet already in the path.
    const bool backInPath = duplexBatch_ && pagesDone_ % 2 == 1;
    bool more = feederBatch_ && (!stopFeeder_ || backInPath) && !pageFailed_ && !countReached;
    if (more) {
      // The next sheet is read on the worker; only its sane_start tells whether there is one.
      StartPage(false);
      if (hasWindow_)
        WaitForSheet(true);
      else
        scan_->Wait();
      if (cancelAsked_) {
        more = false;
      } else if (scan_->StartAnswer() == int(SaneStatus::NoDocs)) {
        scan_->Wait();
        session_.feederLoaded = false;
        more = false;
      }
    }
    if (more) {
      state_ = 6;
    } else {
      EndBatch();
      state_ = 5;
      if (closeAfterBatch_)
        Notify(Pending::CloseRequest);
      else
        AfterBatch();
    }
    pending->Count = more ? PendingCount() : 0;
    return Result{};
  }
  case MSG_RESET:
    EndBatch();
    state_ = 5;
    pending->Count = 0;
    AfterBatch();
    return Result{};
  case MSG_STOPFEEDER:
    stopFeeder_ = true; // the sheet already fed is still delivered, both its sides
    pending->Count = PendingCount();
    return Result{};
  default:
    return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
  }
}

TW_UINT16 Bridge::PendingCount() const {
  if (state_ < 6)
    return 0;
  if (feederBatch_ && !stopFeeder_)
    return kMorePages; // the page in hand, and an unknown number after it
  // The page in hand, and after a duplex sheet's front its back.
  return feederBatch_ && duplexBatch_ && pagesDone_ % 2 == 0 ? 2 : 1;
}

Bridge::Result Bridge::SetupMemXfer(TW_SETUPMEMXFER *setup) {
  TW_UINT32 row = 1;
  if (state_ >= 6) {
    // The page's own rows: a sheet after the first may still be read, and is waited for as its
    // description is.
    Result failure;
    const PageRows *page = Page(failure);
    if (!page)
      return DescriptionFailure(failure);
    row = std::max<TW_UINT32>(1, page->bytesPerRow);
  }
  setup->MinBufSize = row;
  setup->MaxBufSize = 0xFFFFFFFF;
  setup->Preferred = std::max(row, kPreferredBuffer / row * row);
  return Result{};
}

Bridge::Result Bridge::ImageInfo(TW_IMAGEINFO *info) {
  Result failure;
  const PageRows *page = Page(failure);
  if (!page)
    return DescriptionFailure(failure);
  const PageResult &scanned = scan_->Wait();
  *info = TW_IMAGEINFO{};
  info->XResolution.Whole = static_cast<TW_INT16>(std::clamp(scanned.xDotsPerInch, 0, 32767));
  info->YResolution.Whole = static_cast<TW_INT16>(std::clamp(scanned.yDotsPerInch, 0, 32767));
  info->ImageWidth = static_cast<TW_INT32>(page->width);
  // The page is whole in memory before MSG_XFERREADY, so its length is known even where the device
  // did not announce it; only an application that asked for undefined sizes gets -1 (and the
  // strips' rows then say how far the page goes).
  info->ImageLength = page->lengthKnown || !undefinedImageSize_ ? static_cast<TW_INT32>(page->rows) : -1;
  info->SamplesPerPixel = static_cast<TW_INT16>(page->samplesPerPixel);
  for (int i = 0; i < page->samplesPerPixel; ++i)
    info->BitsPerSample[i] = static_cast<TW_INT16>(page->bitsPerSample);
  info->BitsPerPixel = static_cast<TW_INT16>(page->bitsPerSample * page->samplesPerPixel);
  info->Planar = 0;
  info->PixelType = PixelTypeOf(*page);
  info->Compression = TWCP_NONE;
  return Result{};
}

Bridge::Result Bridge::Palette(TW_PALETTE8 *palette) {
  // The page's, or before a page the one its pixel type will have.
  int pixelType = TWPT_RGB;
  if (state_ >= 6) {
    Result failure;
    const PageRows *page = Page(failure);
    if (!page)
      return DescriptionFailure(failure);
    pixelType = PixelTypeOf(*page);
  } else if (const std::optional<CapValue> type =
                 DescribeCap(ICAP_PIXELTYPE, options_, defaults_, session_)) {
    pixelType = static_cast<int>(type->CurrentItem());
  }
  if (pixelType != TWPT_BW && pixelType != TWPT_GRAY)
    return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
  *palette = TW_PALETTE8{};
  const unsigned entries = pixelType == TWPT_BW ? 2 : 256;
  palette->NumColors = static_cast<TW_UINT16>(entries);
  palette->PaletteType = TWPA_GRAY;
  for (unsigned i = 0; i < entries; ++i) {
    const auto level = static_cast<TW_UINT8>(i * 255 / (entries - 1));
    palette->Colors[i] = TW_ELEMENT8{static_cast<TW_UINT8>(i), level, level, level};
  }
  return Result{};
}

Bridge::Result Bridge::MemoryTransfer(TW_IMAGEMEMXFER *xfer) {
  Result failure;
  PageRows *page = Page(failure);
  if (!page)
    return TransferFailure(failure);
  const size_t rowBytes = page->bytesPerRow;
  const size_t total = size_t(page->rows) * rowBytes;
  if (offset_ >= total && total != 0)
    return Result{TWRC_FAILURE, TWCC_SEQERROR}; // the page was handed over already

  const dscommon::TransferBuffer buffer(xfer->Memory);
  auto *const target = static_cast<uint8_t *>(buffer.data());
  const size_t rows = rowBytes ? buffer.length() / rowBytes : 0;
  if (!target || rows == 0)
    return Result{TWRC_FAILURE, TWCC_BADVALUE};
  const uint32_t first = static_cast<uint32_t>(offset_ / rowBytes);
  const uint32_t count = static_cast<uint32_t>(std::min<size_t>(rows, page->rows - first));
  for (uint32_t r = 0; r < count; ++r) {
    const uint8_t *row = page->bytes.Row(first + r);
    if (!row)
      return Result{TWRC_FAILURE, TWCC_SEQERROR};
    std::memcpy(target + size_t(r) * rowBytes, row, rowBytes);
  }
  // The rows handed over are the application's now: the page is not held twice.
  page->bytes.ReleaseBefore(first + count);
  xfer->Compression = TWCP_NONE;
  xfer->BytesPerRow = static_cast<TW_UINT32>(rowBytes);
  xfer->Columns = page->width;
  xfer->Rows = count;
  xfer->XOffset = 0;
  xfer->YOffset = first;
  xfer->BytesWritten = static_cast<TW_UINT32>(size_t(count) * rowBytes);
  offset_ += size_t(count) * rowBytes;
  state_ = 7;
  return offset_ < total ? Result{} : Result{TWRC_XFERDONE, TWCC_SUCCESS};
}

PageRows *Bridge::DibPage(DibLayout &layout, Result &answer) {
  Result failure;
  PageRows *page = Page(failure);
  if (!page) {
    answer = TransferFailure(failure);
    return nullptr;
  }
  layout = DibLayoutOf(*page);
  if (layout.totalBytes == 0) {
    answer = Result{TWRC_FAILURE, TWCC_LOWMEMORY};
    return nullptr;
  }
  return page;
}

Bridge::Result Bridge::NativeTransfer(TW_MEMREF data) {
  DibLayout layout;
  Result answer;
  PageRows *page = DibPage(layout, answer);
  if (!page)
    return answer;
  win::UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE, layout.totalBytes));
  {
    win::GlobalLockGuard lock(block.get());
    if (!lock)
      return Result{TWRC_FAILURE, TWCC_LOWMEMORY};
    // The rows go into the application's bitmap and are given back as they go.
    const PageResult &scanned = scan_->Wait();
    if (!WriteDib(*page, scanned.xDotsPerInch, scanned.yDotsPerInch, static_cast<uint8_t *>(lock.data()),
                  true))
      return Result{TWRC_FAILURE, TWCC_SEQERROR};
  }
  // From here the application owns the block.
  *static_cast<HGLOBAL *>(data) = block.release();
  state_ = 7;
  return Result{TWRC_XFERDONE, TWCC_SUCCESS};
}

Bridge::Result Bridge::SetupFileXfer(TW_UINT16 msg, TW_SETUPFILEXFER *setup) {
  switch (msg) {
  case MSG_SET:
    if (setup->Format != TWFF_BMP)
      return Result{TWRC_FAILURE, TWCC_BADVALUE};
    fileName_ = dscommon::FieldText(setup->FileName, sizeof setup->FileName);
    if (fileName_.empty())
      fileName_ = defaultFileName_;
    return Result{};
  case MSG_RESET:
    fileName_ = defaultFileName_;
    break;
  case MSG_GET:
  case MSG_GETDEFAULT:
    break;
  default:
    return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
  }
  dscommon::CopyText(setup->FileName, sizeof setup->FileName,
                     msg == MSG_GETDEFAULT ? defaultFileName_ : fileName_);
  setup->Format = TWFF_BMP;
  setup->VRefNum = 0;
  return Result{};
}

Bridge::Result Bridge::FileTransfer() {
  DibLayout layout;
  Result answer;
  PageRows *page = DibPage(layout, answer);
  if (!page)
    return answer;
  const PageResult &scanned = scan_->Wait();
  if (!WriteBmpFile(fileName_, *page, layout, scanned.xDotsPerInch, scanned.yDotsPerInch))
    return Result{TWRC_FAILURE, TWCC_FILEWRITEERROR};
  state_ = 7;
  return Result{TWRC_XFERDONE, TWCC_SUCCESS};
}

Bridge::Result Bridge::ImageLayout(TW_UINT16 msg, dscommon::TW_IMAGELAYOUT *layout) {
  if (state_ == 4)
    ReadOptions();
  Result result;
  switch (msg) {
  case MSG_SET:
  case MSG_RESET: {
    const std::optional<TW_FRAME> wanted =
        msg == MSG_SET ? std::optional<TW_FRAME>(layout->Frame) : AreaFrame(defaults_);
    if (!wanted || !AreaFrame(options_))
      return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
    const std::vector<OptionChange> changes = AreaChanges(options_, *wanted);
    if (changes.empty())
      return Result{TWRC_FAILURE, TWCC_BADVALUE};
    const dscommon::SetOutcome outcome = WriteChanges(changes);
    if (outcome.cc != TWCC_SUCCESS)
      return Result{TWRC_FAILURE, outcome.cc};
    const std::optional<TW_FRAME> now = AreaFrame(options_);
    if (!now || std::memcmp(&*now, &*wanted, sizeof *now) != 0)
      result.rc = TWRC_CHECKSTATUS; // the device took the nearest area it can scan
    break;
  }
  case MSG_GET:
  case MSG_GETDEFAULT:
    break;
  default:
    return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
  }
  const std::optional<TW_FRAME> frame = AreaFrame(msg == MSG_GETDEFAULT ? defaults_ : options_);
  if (!frame)
    return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
  layout->Frame = *frame;
  layout->DocumentNumber = 1;
  layout->PageNumber = static_cast<TW_UINT32>(pagesDone_ + 1);
  layout->FrameNumber = 1;
  return result;
}

} // namespace sanesrc
