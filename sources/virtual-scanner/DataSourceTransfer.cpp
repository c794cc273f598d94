// The image triplets of the data source: image description, palette, and the memory, native
// and file transfers of the current page.
#include "sources/virtual-scanner/DataSource.h"

#include "sources/common/TransferBuffer.h"
#include "sources/virtual-scanner/JpegPage.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>

namespace vscan {
namespace {

constexpr TW_UINT16 TWPA_RGB = 0;
constexpr TW_UINT16 TWPA_GRAY = 1;
constexpr TW_UINT16 TWCP_NONE = 0;
constexpr TW_UINT16 TWCP_GROUP4 = 5;
constexpr TW_UINT16 TWCP_JPEG = 6;
constexpr TW_UINT16 TWEI_PAGESIDE = 0x1245;
constexpr TW_UINT16 TWCS_TOP = 1;

TW_UINT16 TwainCompression(Compression c) {
  return c == Compression::Jpeg ? TWCP_JPEG : c == Compression::Group4 ? TWCP_GROUP4 : TWCP_NONE;
}

} // namespace

DataSource::Result DataSource::ImageInfo(TW_IMAGEINFO *info) {
  *info = TW_IMAGEINFO{};
  info->XResolution.Whole = static_cast<TW_INT16>(format_.resolution);
  info->YResolution.Whole = static_cast<TW_INT16>(format_.resolution);
  info->ImageWidth = format_.width;
  // A feeder that measures the sheet knows its length only once the page is transferred.
  info->ImageLength = scenario_.undefinedLength && !pageDone_ ? -1 : format_.height;
  const bool rgb = format_.kind == PixelKind::Rgb;
  info->SamplesPerPixel = rgb ? 3 : 1;
  for (int i = 0; i < info->SamplesPerPixel; ++i)
    info->BitsPerSample[i] = static_cast<TW_INT16>(rgb ? 8 : format_.bits);
  info->BitsPerPixel = static_cast<TW_INT16>(BitsPerPixel(format_));
  info->Planar = 0;
  info->PixelType = static_cast<TW_INT16>(TwainPixelType(format_.kind));
  info->Compression = TwainCompression(scenario_.compression);
  if (scenario_.compression == Compression::Jpeg && !rgb) {
    info->BitsPerSample[0] = 8;
    info->BitsPerPixel = 8;
  }
  notes_ = "page=" + std::to_string(feeder_.Page()) + " width=" + std::to_string(info->ImageWidth) +
           " height=" + std::to_string(info->ImageLength) + " bpp=" + std::to_string(info->BitsPerPixel) +
           " PixelType=" + std::to_string(info->PixelType);
  return Result{};
}

DataSource::Result DataSource::ImageLayout(TW_UINT16 msg, dscommon::TW_IMAGELAYOUT *layout) {
  // The scanner images its whole page: a frame asked for is answered with the page.
  const TW_FRAME page = PageFrame(scenario_);
  const bool asked = msg != MSG_SET || std::memcmp(&layout->Frame, &page, sizeof page) == 0;
  if (msg == MSG_SET && !OnPage(layout->Frame, page))
    return Result{TWRC_FAILURE, TWCC_BADVALUE};
  switch (msg) {
  case MSG_GET:
  case MSG_GETDEFAULT:
  case MSG_SET:
  case MSG_RESET:
    layout->Frame = page;
    layout->DocumentNumber = static_cast<TW_UINT32>(std::max(1, feeder_.Sheet()));
    layout->PageNumber = static_cast<TW_UINT32>(std::max(1, feeder_.Page()));
    layout->FrameNumber = 1;
    return asked ? Result{} : Result{TWRC_CHECKSTATUS, TWCC_SUCCESS};
  default:
    return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
  }
}

DataSource::Result DataSource::Palette(TW_PALETTE8 *palette) {
  if (format_.kind != PixelKind::Palette && format_.kind != PixelKind::Gray)
    return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
  *palette = TW_PALETTE8{};
  const uint32_t entries = ColorCount(format_);
  palette->NumColors = static_cast<TW_UINT16>(entries);
  palette->PaletteType = (format_.kind == PixelKind::Gray || format_.grayPalette) ? TWPA_GRAY : TWPA_RGB;
  for (uint32_t i = 0; i < entries; ++i) {
    const Rgb c = EntryColor(format_, i);
    palette->Colors[i] = TW_ELEMENT8{static_cast<TW_UINT8>(i), c.r, c.g, c.b};
  }
  notes_ = "NumColors=" + std::to_string(entries);
  return Result{};
}

DataSource::Result DataSource::StartPage(TW_UINT16 mechanism) {
  if (!MechanismWorks(scenario_, mechanism))
    return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
  // As a careful driver does: only the mechanism ICAP_XFERMECH names transfers.
  if (mechanism != capState_.xferMech)
    return Result{TWRC_FAILURE, TWCC_SEQERROR};
  if (pageDone_)
    return Result{TWRC_FAILURE, TWCC_SEQERROR};
  if (log_.On()) // built for every strip: the note costs more than the strip's copy
    notes_ = "page=" + std::to_string(feeder_.Page()) + " side=" + std::to_string(feeder_.Side());
  if (pageStarted_)
    return Result{};
  if (scenario_.cancelAtPage == feeder_.Page()) {
    pageDone_ = true;
    state_ = 7;
    return Result{TWRC_CANCEL, TWCC_SUCCESS};
  }
  if (const TW_UINT16 condition = PaperFaultNow()) {
    pageDone_ = true;
    return Result{TWRC_FAILURE, condition};
  }
  if (scenario_.jamAtPage == feeder_.Page()) {
    feeder_.Jam();
    pageDone_ = true;
    return Result{TWRC_FAILURE, TWCC_PAPERJAM};
  }
  if (scenario_.timePerPageMs > 0)
    ::Sleep(static_cast<DWORD>(scenario_.timePerPageMs));
  const auto &blank = scenario_.blankPages;
  format_.blank = std::find(blank.begin(), blank.end(), feeder_.Page()) != blank.end();
  pageStarted_ = true;
  return Result{};
}

void DataSource::EndPageData() {
  pageStarted_ = false;
  pageDone_ = false;
  pageRows_.clear();
  sending_ = nullptr;
  // The next page of a batch is the same size: its rows reuse the storage instead of paying for
  // fresh memory. Between batches the memory goes back.
  if (!feeder_.InBatch()) {
    pageRows_.shrink_to_fit();
    drawnSides_.clear();
  }
  pageOffset_ = 0;
}

const std::vector<uint8_t> &DataSource::PageBytes() {
  std::vector<uint8_t> *bytes = &pageRows_;
  // A blank side is its own picture, never one of the drawn ones.
  if (scenario_.drawnSides > 0 && !format_.blank) {
    drawnSides_.resize(static_cast<size_t>(scenario_.drawnSides));
    bytes = &drawnSides_[static_cast<size_t>(feeder_.Page() - 1) % drawnSides_.size()];
    if (!bytes->empty())
      return *bytes;
  }
  // Group 4 strips here are the page's raw rows sent under that name: what a reader that takes
  // them for rows would get wrong.
  if (scenario_.compression == Compression::Jpeg)
    *bytes = JpegPage(format_, feeder_.Page(), feeder_.Side(), feeder_.Sheet());
  else
    TransferRows(format_, feeder_.Page(), feeder_.Side(), feeder_.Sheet(), *bytes);
  return *bytes;
}

DataSource::Result DataSource::MemoryTransfer(TW_IMAGEMEMXFER *xfer) {
  // A driver's progress window: the application's messages (a close, a timer, a click) get a turn.
  if (scenario_.pumpMessages)
    PumpMessages();
  if (state_ < 6) // the application ended the batch from its messages
    return Result{TWRC_FAILURE, TWCC_SEQERROR};
  const Result start = StartPage(TWSX_MEMORY);
  if (start.rc != TWRC_SUCCESS || !pageStarted_)
    return start;
  const bool compressed = scenario_.compression != Compression::None;
  if (!sending_) {
    sending_ = &PageBytes();
    if (sending_->empty()) {
      sending_ = nullptr;
      return Result{TWRC_FAILURE, TWCC_LOWMEMORY};
    }
  }
  const std::vector<uint8_t> &page = *sending_;

  const dscommon::TransferBuffer buffer(xfer->Memory);
  void *const target = buffer.data();
  const TW_UINT32 length = buffer.length();
  if (!target || length == 0)
    return Result{TWRC_FAILURE, TWCC_BADVALUE};

  const TW_UINT32 rowBytes = TransferRowBytes(format_);
  const size_t remaining = page.size() - pageOffset_;
  size_t n = 0;
  if (compressed) {
    n = std::min<size_t>({scenario_.stripBytes ? scenario_.stripBytes : length, length, remaining});
  } else if (scenario_.stripBytes == 0) {
    const size_t rows = length / rowBytes;
    if (rows == 0)
      return Result{TWRC_FAILURE, TWCC_BADVALUE};
    n = std::min(rows * rowBytes, remaining);
  } else {
    n = std::min<size_t>({scenario_.stripBytes, length, remaining});
  }
  std::memcpy(target, page.data() + pageOffset_, n);
  const size_t firstRow = pageOffset_ / rowBytes;
  const size_t endRow = (pageOffset_ + n + rowBytes - 1) / rowBytes;
  pageOffset_ += n;

  xfer->Compression = TwainCompression(scenario_.compression);
  xfer->BytesPerRow = compressed ? 0 : rowBytes;
  xfer->Columns = static_cast<TW_UINT32>(format_.width);
  xfer->Rows = compressed ? 0 : static_cast<TW_UINT32>(endRow - firstRow);
  xfer->XOffset = 0;
  xfer->YOffset = compressed ? 0 : static_cast<TW_UINT32>(firstRow);
  xfer->BytesWritten = static_cast<TW_UINT32>(n);
  state_ = 7;
  if (log_.On()) // a strip's notes cost more than its copy when nobody reads them
    notes_ += " Length=" + std::to_string(length) + " BytesWritten=" + std::to_string(n) +
              " YOffset=" + std::to_string(firstRow);
  if (pageOffset_ < page.size())
    return Result{};
  pageDone_ = true;
  return Result{TWRC_XFERDONE, TWCC_SUCCESS};
}

DataSource::Result DataSource::ExtImageInfo(TW_MEMREF data) {
  if (!scenario_.pageSide)
    return Result{TWRC_FAILURE, TWCC_BADPROTOCOL};
  // A strict driver tells the side only to an application that asked for it in state 4.
  if (state_ != 7 || !pageDone_ || (scenario_.pageSideStrict && !capState_.extImageInfo))
    return Result{TWRC_FAILURE, TWCC_SEQERROR};
  // TW_EXTIMAGEINFO: NumInfos, then TW_INFO records of 12 bytes (InfoID, ItemType, NumItems,
  // ReturnCode, Item); the application sized the record for the infos it asks for.
  uint8_t *record = static_cast<uint8_t *>(data);
  TW_UINT32 infos;
  std::memcpy(&infos, record, sizeof infos);
  for (TW_UINT32 i = 0; i < infos && i < 100; ++i) {
    uint8_t *info = record + 4 + 12 * i;
    TW_UINT16 id;
    std::memcpy(&id, info, 2);
    const bool side = id == TWEI_PAGESIDE;
    const TW_UINT16 fields[3] = {TWTY_UINT16, static_cast<TW_UINT16>(side ? 1 : 0),
                                 static_cast<TW_UINT16>(side ? TWRC_SUCCESS : TWRC_INFONOTSUPPORTED)};
    std::memcpy(info + 2, fields, sizeof fields);
    const TW_UINT32 item = side ? static_cast<TW_UINT32>(TWCS_TOP + feeder_.Side()) : 0;
    std::memcpy(info + 8, &item, sizeof item);
  }
  if (log_.On()) // built for every strip: the note costs more than the strip's copy
    notes_ = "page=" + std::to_string(feeder_.Page()) + " side=" + std::to_string(feeder_.Side());
  return Result{};
}

DataSource::Result DataSource::NativeTransfer(TW_MEMREF data) {
  const Result start = StartPage(TWSX_NATIVE);
  if (start.rc != TWRC_SUCCESS || !pageStarted_)
    return start;
  const std::vector<uint8_t> dib = PackedDib(format_, feeder_.Page(), feeder_.Side(), feeder_.Sheet());
  win::UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE, dib.size()));
  {
    win::GlobalLockGuard lock(block.get());
    if (!lock)
      return Result{TWRC_FAILURE, TWCC_LOWMEMORY};
    std::memcpy(lock.data(), dib.data(), dib.size());
  }
  notes_ += " bytes=" + std::to_string(dib.size());
  // From here the application owns the block.
  *static_cast<HGLOBAL *>(data) = block.release();
  pageDone_ = true;
  state_ = 7;
  return Result{TWRC_XFERDONE, TWCC_SUCCESS};
}

DataSource::Result DataSource::FileTransfer() {
  const Result start = StartPage(TWSX_FILE);
  if (start.rc != TWRC_SUCCESS || !pageStarted_)
    return start;
  const std::string name = FileNameForPage();
  notes_ += " FileName=\"" + name + "\"";
  const std::vector<uint8_t> bmp = BmpFile(format_, feeder_.Page(), feeder_.Side(), feeder_.Sheet());
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
  out.close();
  if (!out)
    return Result{TWRC_FAILURE, TWCC_FILEWRITEERROR};
  pageDone_ = true;
  state_ = 7;
  return Result{TWRC_XFERDONE, TWCC_SUCCESS};
}

TW_UINT16 DataSource::PaperFaultNow() {
  const PaperFault &fault = scenario_.paperFault;
  if (fault.condition == 0 || paperFaultDone_)
    return 0;
  const bool here = feeder_.Sheet() == fault.sheet && feeder_.Side() == fault.side;
  if (here && fault.image) {
    paperFaultNext_ = true; // this side's image is delivered; the next page reports it
    return 0;
  }
  if (!here && !paperFaultNext_)
    return 0;
  paperFaultDone_ = true;
  const bool pending = fault.condition == TWCC_PAPERDOUBLEFEED && scenario_.doubleFeedDetection
                           ? capState_.doubleFeedResponse == kStopAndWait
                           : fault.pending;
  feeder_.PaperFault(fault.sheet, !pending);
  return fault.condition;
}

} // namespace vscan
