// Image transfer of a TTwainSource: all pending images of one MSG_XFERREADY, by
// memory, native or file transfer.
//
// How the layer treats what a source gets wrong (each tested in tests/twain):
// - A page the layer cannot hold (width or length not positive or above kMaxPageSide, a bit depth a
//   bitmap section cannot hold, more than kMaxPageBytes, a failed CreateDIBSection or buffer),
//   strip data beyond the last row, or a BytesWritten above the buffer fails the page: OnAcquireError
//   with TWRC_FAILURE and a condition code chosen by the layer (TWCC_BADVALUE for what the source
//   described or sent, TWCC_LOWMEMORY for what could not be allocated) without asking DAT_STATUS;
//   the batch goes on with MSG_ENDXFER. Nothing is ever written outside the bitmap.
// - DAT_SETUPMEMXFER failing or giving Preferred 0 before the page: biSizeImage is the exact size
//   of the rows. Preferred 0 in the strip loop: a buffer of TransferBufferSize.
// - ICAP_UNITS unreadable: resolution 0 in the header. tflOther: chocolate.
// - DAT_SETUPFILEXFER failing: OnSourceFileTransfer gets an empty name and tfUnknown.
// - Without an OnTwainAcquire handler the page bitmap is released.
// - An exception of an event handler ends the page; the protocol is finished (MSG_ENDXFER,
//   MSG_RESET when pages remain, the disable) and the exception is passed on.
// - What the source refuses while the batch steps back (MSG_ENDXFER, MSG_RESET, MSG_DISABLEDS) is
//   tried again a few times, reported through OnAcquireError, and leaves the source stranded in the
//   state it is in (TTwainSource::StepBack); nothing is sent that the state does not allow.
#include "twain/CompressedPage.h"
#include "twain/KestraTwain.h"
#include "twain/KestraTwainUtils.h"
#include "twain/PageHeader.h"
#include "twain/PageSections.h"
#include "twain/StripCopy.h"
#include "twain/TwainBatch.h"
#include "twain/TwainBitmap.h"
#include "twain/TwainSource.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

TTwainFormat TTwainSource::FormatFromTwain(uint16_t twainFormat) {
  return twainFormat <= TWFF_EXIF ? static_cast<TTwainFormat>(twainFormat) : tfUnknown;
}

uint32_t TTwainSource::DibColorCount(const void *dib) {
  const uint8_t *bytes = static_cast<const uint8_t *>(dib);
  uint32_t headerSize;
  std::memcpy(&headerSize, bytes, sizeof headerSize);
  uint16_t bitCount;
  if (headerSize == sizeof(BITMAPCOREHEADER)) {
    std::memcpy(&bitCount, bytes + 10, sizeof bitCount);
  } else {
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes, sizeof header);
    if (header.biClrUsed != 0)
      return header.biClrUsed;
    bitCount = header.biBitCount;
  }
  switch (bitCount) {
  case 1:
    return 2;
  case 4:
    return 16;
  case 8:
    return 256;
  default:
    return 0;
  }
}

void TTwainSource::ReportError(const TPageResult &result) {
  if (TTwainBatch *batch = RunningBatch())
    batch->SetFailed();
  TKestraTwain *manager = Owner();
  if (!manager->OnAcquireError)
    return;
  int additional = result.layerCondition >= 0 ? result.layerCondition : ReadConditionCode();
  manager->OnAcquireError(manager, Index, result.rc, additional);
}

void TTwainSource::TransferPending() {
  TKestraTwain *manager = Owner();
  if (manager->Batch())
    return;
  std::exception_ptr failure;
  {
    TTwainBatch batch(*this);
    xferState_ = 6;
    bool cancel = false;
    TPagePlace place;
    place.batch = ++batches_;
    TBatchEnd end;
    for (; xferState_ == 6 && !cancel && !failure; ++place.index) {
      try {
        if (manager->OnBetweenPages)
          manager->OnBetweenPages(manager, Index);
      } catch (...) {
        failure = std::current_exception();
        break;
      }
      if (manager->DropRequested() ||
          (batch.EndRequested() && !TakePageBeforeEnd(end, place, place.index > 0)))
        break;
      // The place keeps the last page's side until the next page is fetched.
      place.side = TPageSide::unknown;
      try {
        TransferPage(place, cancel);
      } catch (...) {
        // A handler failed during the page: the protocol is finished before the failure is passed on.
        failure = std::current_exception();
      }
      if (!EndPage())
        break;
    }
    // No page left, cancelled, asked to end, failed: the rest is dropped and the source disabled.
    try {
      StepBack();
    } catch (...) {
      if (!failure)
        failure = std::current_exception();
    }
  }
  if (closeDeferred_) {
    closeDeferred_ = false;
    try {
      Close();
    } catch (...) {
      if (!failure)
        failure = std::current_exception();
    }
  }
  if (failure)
    std::rethrow_exception(failure);
}

void TTwainSource::TransferPage(TPagePlace &place, bool &cancel) {
  TKestraTwain *manager = Owner();
  TPageResult result;
  TMemoryPage page;
  win::UniqueGlobal native;
  TW_SETUPFILEXFER fileSetup;
  std::memset(&fileSetup, 0, sizeof fileSetup);
  TTwainFormat fileFormat = tfUnknown;

  // Fetch one image.
  switch (TransferMode) {
  case ttmFile: {
    if (manager->OnSourceSetupFileXfer)
      manager->OnSourceSetupFileXfer(manager, Index);
    if (Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &fileSetup) == TWRC_SUCCESS) {
      fileSetup.FileName[sizeof fileSetup.FileName - 1] = '\0';
      fileFormat = FormatFromTwain(fileSetup.Format);
    } else {
      std::memset(&fileSetup, 0, sizeof fileSetup); // reported as an empty name, tfUnknown
    }
    result.rc = Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
    break;
  }
  case ttmNative: {
    TW_UINT32 handle = 0;
    result.rc = Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
    if (result.rc == TWRC_XFERDONE)
      native.reset(reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(handle)));
    break;
  }
  case ttmMemory:
    result = PrepareMemoryBitmap(page);
    if (result.rc == TWRC_SUCCESS)
      result = ReceiveMemoryStrips(page);
    if (result.rc == TWRC_XFERDONE)
      result = FinishMemoryPage(page);
    break;
  default:
    result = {TWRC_FAILURE, TWCC_BADPROTOCOL};
    break;
  }
  if (result.rc == TWRC_XFERDONE || result.rc == TWRC_CANCEL)
    xferState_ = 7; // the source began the page: only MSG_ENDXFER leads out now

  // Act on the outcome.
  if (result.rc == TWRC_CANCEL) {
    cancel = true; // acknowledged with MSG_ENDXFER, the rest dropped with MSG_RESET
    if (manager->OnAcquireCancel)
      manager->OnAcquireCancel(manager, Index);
    return;
  }
  if (result.rc != TWRC_XFERDONE) {
    ReportError(result);
    return;
  }
  place.side = ReadPageSide();
  switch (TransferMode) {
  case ttmFile:
    DeliverTransferredFile(fileSetup.FileName, fileFormat, cancel);
    break;
  case ttmNative: {
    int condition = DeliverNativeImage(native, place, cancel);
    if (condition >= 0)
      ReportError({TWRC_FAILURE, condition});
    break;
  }
  default:
    DeliverMemoryImage(page, place, cancel);
    break;
  }
}

TTwainSource::TPageResult TTwainSource::PrepareMemoryBitmap(TMemoryPage &page) {
  TW_IMAGEINFO image;
  std::memset(&image, 0, sizeof image);
  TW_UINT16 rc = Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &image);
  if (rc != TWRC_SUCCESS)
    return {rc};
  // A page the source compresses as JPEG arrives as the bytes of a JPEG file; any other
  // compression is not read here, and taking it for rows would write garbage.
  page.compressed = image.Compression == TWCP_JPEG;
  if (image.Compression != TWCP_NONE && !page.compressed)
    return {TWRC_FAILURE, TWCC_BADVALUE};
  // A feeder that measures each sheet says -1 until the page is done.
  page.lengthUnknown = image.ImageLength == -1 && !page.compressed;
  TW_IMAGEINFO described = image;
  if (page.lengthUnknown || page.compressed)
    described.ImageLength = 1;
  if (page.compressed && (described.BitsPerPixel != 8 && described.BitsPerPixel != 24))
    described.BitsPerPixel = 24; // the JPEG file describes itself; only its size and resolution count
  if (!PageDescriptionUsable(described))
    return {TWRC_FAILURE, TWCC_BADVALUE};

  TW_SETUPMEMXFER setup;
  std::memset(&setup, 0, sizeof setup);
  uint32_t preferred =
      Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) == TWRC_SUCCESS ? setup.Preferred : 0;

  page.info.reset(new (std::nothrow) TPageBitmapInfo);
  if (!page.info)
    return {TWRC_FAILURE, TWCC_LOWMEMORY};
  TPageBitmapInfo *info = page.info.get();
  std::memset(info, 0, sizeof *info);

  TTwainMeasureUnit unit = tmuInches;
  TTwainMeasureUnits units;
  bool unitKnown = ReadMeasureUnit(unit, units, tcqGet) == tcrOk;
  LONG xPelsPerMeter = PixelsPerMeter(Fix32AsFloat(image.XResolution), unit, unitKnown);
  LONG yPelsPerMeter = PixelsPerMeter(Fix32AsFloat(image.YResolution), unit, unitKnown);
  page.layout = PageLayoutFor(described);
  FillPageHeader(info->Header, described, preferred, xPelsPerMeter, yPelsPerMeter, 0);
  if (page.compressed)
    return {TWRC_SUCCESS};

  auto readFlavor = [this] {
    TTwainFlavor flavor = tflChocolate;
    TTwainFlavors flavors;
    return ReadPixelFlavor(flavor, flavors, tcqGet) == tcrOk ? flavor : tflChocolate;
  };
  uint32_t colorsUsed = 0;
  switch (image.PixelType) {
  case TWPT_BW:
    colorsUsed = FillBlackWhiteColors(info->Colors, readFlavor());
    break;
  case TWPT_GRAY:
    // A vanilla source sends white as 0 at every depth: the ramp runs its way.
    colorsUsed = FillGreyRamp(info->Colors, page.layout.bitmapBits, readFlavor());
    break;
  case TWPT_RGB:
    colorsUsed = 0;
    break;
  default: {
    std::unique_ptr<TW_PALETTE8> palette(new TW_PALETTE8);
    std::memset(palette.get(), 0, sizeof *palette);
    if (Call(DG_IMAGE, DAT_PALETTE8, MSG_GET, palette.get()) == TWRC_SUCCESS)
      colorsUsed = FillPaletteColors(info->Colors, *palette);
    if (colorsUsed == 0)
      colorsUsed = FillGreyRamp(info->Colors, page.layout.bitmapBits);
    break;
  }
  }
  info->Header.biClrUsed = colorsUsed;
  if (page.lengthUnknown)
    return {TWRC_SUCCESS}; // the bitmap is made once the length is known
  return MakePageBitmap(page);
}

TTwainSource::TPageResult TTwainSource::MakePageBitmap(TMemoryPage &page) {
  page.description = SectionDescription(*page.info);
  page.bitmap = MakePageSection(page.description, Owner()->VirtualWindow(), page.pixels, page.reused);
  if (!page.bitmap)
    return {TWRC_FAILURE, TWCC_LOWMEMORY};
  return {TWRC_SUCCESS};
}

TTwainSource::TPageResult TTwainSource::ReceiveMemoryStrips(TMemoryPage &page) {
  TKestraTwain *manager = Owner();
  TW_SETUPMEMXFER setup;
  std::memset(&setup, 0, sizeof setup);
  TPageResult result{Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup)};

  const BITMAPINFOHEADER &header = page.info->Header;
  const uint32_t width = static_cast<uint32_t>(header.biWidth);
  TStripTarget target;
  target.stride = DibRowStride(header.biBitCount, width);
  if (page.bitmap) {
    DIBSECTION section;
    std::memset(&section, 0, sizeof section);
    if (::GetObjectA(page.bitmap.get(), sizeof section, &section) != static_cast<int>(sizeof section) ||
        !section.dsBm.bmBits || section.dsBmih.biWidth != header.biWidth || section.dsBmih.biHeight == 0) {
      page.bitmap.reset();
      return result.rc == TWRC_SUCCESS ? TPageResult{TWRC_FAILURE, TWCC_LOWMEMORY} : result;
    }
    target.pixels = static_cast<uint8_t *>(section.dsBm.bmBits);
    target.height = static_cast<uint32_t>(std::abs(section.dsBmih.biHeight));
  } else if (page.lengthUnknown) {
    target.topDown = true;
  }
  target.swapPixels = page.layout.conversion == TSampleConversion::swapRedBlue ? width : 0;
  target.narrow = page.layout.conversion;
  target.narrowPixels = width;
  const size_t sourceStride = DibRowStride(page.layout.sourceBits, width);
  const size_t minimumRowBytes = (static_cast<size_t>(page.layout.sourceBits) * width + 7) / 8;
  TStripState state;
  const HBITMAP handle = page.bitmap.get();
  auto report = [&](const TOnAcquireProgress &event, uint32_t rowsCompleted) {
    // With the length still unknown, the end moves ahead with the rows stored so far.
    const uint32_t total = page.lengthUnknown ? std::max(rowsCompleted, target.height) : target.height;
    event(this, Index, handle, static_cast<int>(rowsCompleted), static_cast<int>(total) - 1);
  };
  // Made once a page, and only for a handler that wants every row.
  std::function<void(uint32_t)> rowDone;
  if (manager->OnAcquireProgress)
    rowDone = [&](uint32_t rowsCompleted) { report(manager->OnAcquireProgress, rowsCompleted); };

  if (result.rc == TWRC_SUCCESS) {
    const uint32_t bufferSize = TransferBufferSize(setup.MinBufSize, setup.MaxBufSize, setup.Preferred);
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[bufferSize]);
    if (!buffer) {
      page.bitmap.reset();
      return {TWRC_FAILURE, TWCC_LOWMEMORY};
    }
    TW_IMAGEMEMXFER xfer;
    std::memset(&xfer, 0xFF, sizeof xfer);
    while (result.rc == TWRC_SUCCESS) {
      xfer.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
      xfer.Memory.Length = bufferSize;
      xfer.Memory.TheMem = buffer.get();
      xfer.BytesWritten = 0;
      result.rc = Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
      if (result.rc == TWRC_SUCCESS || result.rc == TWRC_XFERDONE || result.rc == TWRC_CANCEL)
        xferState_ = 7; // the source began the page: only MSG_ENDXFER leads out now
      if (result.rc != TWRC_SUCCESS && result.rc != TWRC_XFERDONE)
        break;
      if (xfer.BytesWritten > bufferSize) {
        result = {TWRC_FAILURE, TWCC_BADVALUE}; // the source claims more than the buffer holds
        break;
      }
      // A source may say only in its strips that it sends JPEG.
      if (xfer.Compression == TWCP_JPEG && state.rowsCompleted == 0 && state.bytesInRow == 0)
        page.compressed = true;
      if (page.compressed) {
        const TGatherOutcome gathered =
            GatherStrip(page.jpeg, buffer.get(), xfer.BytesWritten, kMaxPageBytes);
        if (gathered != TGatherOutcome::ok) {
          result = {TWRC_FAILURE, gathered == TGatherOutcome::noMemory ? TWCC_LOWMEMORY : TWCC_BADVALUE};
          break;
        }
        continue;
      }
      if (xfer.Compression != TWCP_NONE && xfer.Compression != 0xFFFF) {
        result = {TWRC_FAILURE, TWCC_BADVALUE}; // compressed data that would be taken for rows
        break;
      }
      size_t rowBytes = StripRowBytes(xfer.BytesPerRow, sourceStride, minimumRowBytes);
      if (page.lengthUnknown) {
        const TGatherOutcome grown =
            GrowRows(page.grown, target.stride, RowsAfterStrip(state, xfer.BytesWritten, rowBytes),
                     kMaxPageSide, kMaxPageBytes);
        if (grown != TGatherOutcome::ok) {
          result = {TWRC_FAILURE, grown == TGatherOutcome::noMemory ? TWCC_LOWMEMORY : TWCC_BADVALUE};
          break;
        }
        target.pixels = page.grown.data();
        target.height = static_cast<uint32_t>(page.grown.size() / target.stride);
      }
      if (CopyStrip(buffer.get(), xfer.BytesWritten, rowBytes, target, state, rowDone) != TStripOutcome::ok) {
        result = {TWRC_FAILURE, TWCC_BADVALUE}; // more data than the page has rows
        break;
      }
      if (manager->OnStripsProgress)
        report(manager->OnStripsProgress, state.rowsCompleted);
    }
  }
  if (page.reused && page.bitmap && result.rc == TWRC_XFERDONE && !page.compressed)
    BlankRowsNotReceived(target, state); // what a short page did not send must not show the last one
  if (page.lengthUnknown && result.rc == TWRC_XFERDONE) {
    // Only the rows received are the page's (the storage may hold more).
    page.grown.resize(static_cast<size_t>(state.rowsCompleted) * target.stride);
  }
  if (result.rc != TWRC_XFERDONE || page.compressed)
    page.bitmap.reset();
  return result;
}

TTwainSource::TPageResult TTwainSource::FinishMemoryPage(TMemoryPage &page) {
  if (page.compressed) {
    TJpegFrame frame;
    if (!ReadJpegFrame(page.jpeg.data(), page.jpeg.size(), frame) || frame.width > kMaxPageSide ||
        frame.height > kMaxPageSide)
      return {TWRC_FAILURE, TWCC_BADVALUE}; // not a whole JPEG image: nothing is handed on
    // The file says the page's resolution, which many drivers leave out of the JFIF header.
    const LONG x = page.info->Header.biXPelsPerMeter, y = page.info->Header.biYPelsPerMeter;
    if (x > 0 && y > 0)
      SetJfifDensity(page.jpeg.data(), page.jpeg.size(), static_cast<uint16_t>((x * 254 + 5000) / 10000),
                     static_cast<uint16_t>((y * 254 + 5000) / 10000));
    return {TWRC_XFERDONE};
  }
  if (!page.lengthUnknown)
    return {TWRC_XFERDONE};

  // The real length, now that the page is done; the rows received when the source cannot say.
  BITMAPINFOHEADER &header = page.info->Header;
  const size_t stride = DibRowStride(header.biBitCount, static_cast<uint32_t>(header.biWidth));
  const uint32_t received = static_cast<uint32_t>(page.grown.size() / stride);
  TW_IMAGEINFO image;
  std::memset(&image, 0, sizeof image);
  uint32_t length = received;
  if (Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &image) == TWRC_SUCCESS && image.ImageLength > 0 &&
      image.ImageLength <= kMaxPageSide)
    length = static_cast<uint32_t>(image.ImageLength);
  if (length == 0)
    return {TWRC_FAILURE, TWCC_BADVALUE};
  if (length > received) {
    // Rows the source announced but never sent stay blank.
    const TGatherOutcome grown = GrowRows(page.grown, stride, length, kMaxPageSide, kMaxPageBytes);
    if (grown != TGatherOutcome::ok)
      return {TWRC_FAILURE, grown == TGatherOutcome::noMemory ? TWCC_LOWMEMORY : TWCC_BADVALUE};
  }
  header.biHeight = static_cast<LONG>(length);
  header.biSizeImage = static_cast<DWORD>(stride * length);
  const TPageResult made = MakePageBitmap(page);
  if (made.rc != TWRC_SUCCESS)
    return made;
  uint8_t *rows = page.pixels;
  for (uint32_t r = 0; r < length; ++r)
    std::memcpy(rows + stride * (length - 1 - r), page.grown.data() + stride * r, stride);
  std::vector<uint8_t>().swap(page.grown);
  return {TWRC_XFERDONE};
}

TPageSide TTwainSource::ReadPageSide() {
  if (!AskPageSide || pageSideRefused_)
    return TPageSide::unknown;
  uint8_t record[kPageSideRecordSize];
  BuildPageSideRequest(record);
  // A refusal is this page's: a source may lack the side of one page and know the next one's.
  if (Call(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, record) != TWRC_SUCCESS)
    return TPageSide::unknown;
  return DecodePageSide(record, sizeof record);
}

void TTwainSource::DeliverMemoryImage(TMemoryPage &page, const TPagePlace &place, bool &cancel) {
  TKestraTwain *manager = Owner();
  if (!manager->OnTwainAcquire) {
    page.bitmap.reset();
    return;
  }
  std::unique_ptr<TTwainBitmap> image;
  if (page.compressed)
    image = std::make_unique<TTwainBitmap>(std::move(page.jpeg), page.info->Header.biXPelsPerMeter,
                                           page.info->Header.biYPelsPerMeter);
  else
    image = std::make_unique<TTwainBitmap>(page.bitmap.release(), page.description);
  image->Side = place.side;
  image->Batch = place.batch;
  image->IndexInBatch = place.index;
  manager->OnTwainAcquire(manager, Index, *image, cancel);
  // The handler has copied what it keeps, or taken the section over: a section left here can
  // serve the next page.
  if (!page.compressed)
    KeepPageSection(image->TakeBack(), page.description);
}

int TTwainSource::DeliverNativeImage(win::UniqueGlobal &native, const TPagePlace &place, bool &cancel) {
  TKestraTwain *manager = Owner();
  win::UniqueBitmap bitmap;
  {
    win::GlobalLockGuard lock(native.get());
    const size_t size = lock.size();
    const uint8_t *dib = static_cast<const uint8_t *>(lock.data());
    if (!dib || size < sizeof(BITMAPCOREHEADER))
      return TWCC_BADVALUE;
    uint32_t headerSize;
    std::memcpy(&headerSize, dib, sizeof headerSize);
    int64_t width, height;
    uint32_t bitCount, entrySize, masks = 0;
    if (headerSize == sizeof(BITMAPCOREHEADER)) {
      BITMAPCOREHEADER core;
      std::memcpy(&core, dib, sizeof core);
      width = core.bcWidth;
      height = core.bcHeight;
      bitCount = core.bcBitCount;
      entrySize = sizeof(RGBTRIPLE);
    } else if (headerSize >= sizeof(BITMAPINFOHEADER) && headerSize <= size) {
      BITMAPINFOHEADER header;
      std::memcpy(&header, dib, sizeof header);
      width = header.biWidth;
      height = header.biHeight;
      bitCount = header.biBitCount;
      entrySize = sizeof(RGBQUAD);
      if (header.biCompression == BI_BITFIELDS && headerSize == sizeof(BITMAPINFOHEADER))
        masks = 3 * sizeof(DWORD);
      else if (header.biCompression != BI_RGB && header.biCompression != BI_BITFIELDS)
        return TWCC_BADVALUE; // compressed DIBs are not taken
    } else {
      return TWCC_BADVALUE;
    }
    const uint32_t colors = DibColorCount(dib);
    if (height < 0)
      height = -height;
    if (width <= 0 || height <= 0 || width > kMaxPageSide || height > kMaxPageSide || colors > 256)
      return TWCC_BADVALUE;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
      return TWCC_BADVALUE;
    const uint64_t offset =
        static_cast<uint64_t>(headerSize) + masks + static_cast<uint64_t>(colors) * entrySize;
    const uint64_t pixelBytes = static_cast<uint64_t>(DibRowStride(bitCount, static_cast<uint32_t>(width))) *
                                static_cast<uint64_t>(height);
    if (offset > size || pixelBytes > size - offset)
      return TWCC_BADVALUE;

    win::WindowDC dc(manager->VirtualWindow());
    bitmap.reset(::CreateDIBitmap(dc.get(), reinterpret_cast<const BITMAPINFOHEADER *>(dib), CBM_INIT,
                                  dib + offset, reinterpret_cast<const BITMAPINFO *>(dib), DIB_RGB_COLORS));
  }
  native.reset(); // the application owns the DIB once the transfer is done
  if (!bitmap)
    return TWCC_LOWMEMORY;
  if (manager->OnTwainAcquire) {
    TTwainBitmap image(bitmap.release());
    image.Side = place.side;
    image.Batch = place.batch;
    image.IndexInBatch = place.index;
    manager->OnTwainAcquire(manager, Index, image, cancel);
  }
  return -1;
}

void TTwainSource::DeliverTransferredFile(const TW_STR255 &fileName, TTwainFormat format, bool &cancel) {
  TKestraTwain *manager = Owner();
  if (!manager->OnSourceFileTransfer)
    return;
  TW_STR255 name;
  std::memcpy(name, fileName, sizeof name);
  name[sizeof name - 1] = '\0';
  manager->OnSourceFileTransfer(this, Index, name, format, cancel);
}
