// What the virtual scanner is and does in one run: devices, feeder, page format, transfer set-up,
// settings dialog and faults on demand. Read from an INI-like text file (see README.md).
#pragma once

#include "sources/virtual-scanner/Pattern.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vscan {

// A triplet that answers a chosen return and condition code instead of doing its work.
struct Fault {
  uint32_t dg = 0;
  uint16_t dat = 0;
  uint16_t msg = 0;
  int page = 0; // 0: at every page; N: only while page N is the current page
  bool once = false;
  uint16_t rc = 1; // TWRC_FAILURE
  uint16_t cc = 1; // TWCC_BUMMER
};

// A double feed or a jam as a document scanner reports it: the transfer of that side fails with
// the condition (TWCC_PAPERDOUBLEFEED or TWCC_PAPERJAM), or, when its image is delivered, the
// next page's does. The source then ends the batch or leaves the rest pending (for a double feed,
// as CAP_DOUBLEFEEDDETECTIONRESPONSE says: TWDP_STOP or TWDP_STOPANDWAIT). The person then puts
// the failed sheet and every later one that left the feeder back on the stack.
struct PaperFault {
  uint16_t condition = 0; // 0: none
  int sheet = 0;          // counted from 1 since the source was opened
  int side = 0;           // 0 front, 1 back
  bool image = false;
  bool pending = false;
};

enum class DialogAnswer { Interactive, Scan, Cancel };
enum class EmptyFeeder { CloseRequest, Wait };
// How memory transfers send a page: rows as they are, or the bytes of a compressed image (JPEG
// made by the scanner; "Group 4" strips the station cannot read).
enum class Compression { None, Jpeg, Group4 };

struct Scenario {
  // Identity
  std::vector<std::string> devices{"KV-S1027C Virtual"};
  std::string manufacturer = "Tovik Virtual Devices";
  std::string productFamily = "KV-S Virtual";

  // Feeder
  int sheets = 3;
  int sides = 2;
  int sheetsPerBatch = 0; // 0: the whole feeder in one batch
  int refills = 0;        // times an empty feeder is loaded again with `sheets` sheets
  EmptyFeeder emptyFeeder = EmptyFeeder::CloseRequest;
  bool feederLoadedSupported = true;
  int timePerPageMs = 0;
  // When the feeder runs empty, MSG_ENDXFER waits this long for paper (a feeder in continuous
  // mode); a refill that comes then continues the batch. Messages are pumped meanwhile only with
  // pumpMessages.
  int paperWaitMs = 0;
  std::vector<int> droppedPages; // page numbers the scanner drops as blank (numbers stay used)
  // ICAP_AUTODISCARDBLANKPAGES is offered (TWBP_AUTO until set): the pages above are dropped only
  // while it is not TWBP_DISABLE. Otherwise they are always dropped and nothing says so.
  bool blankDiscardOffered = false;
  bool blankDiscardLocked = false; // ... but the driver's profile keeps it on: a set is denied
  bool stopCountUnknown = false;   // MSG_STOPFEEDER answers Count -1
  int paperPath = 1;               // sheets pulled into the paper path, the current one included
  std::vector<int> blankPages;     // page numbers that come as bare paper (a blank side)
  // 0: every side is drawn when it is scanned. N: only the first N sides of a batch are drawn;
  // later sides send those pixels again in turn, as a device whose own electronics make the
  // picture leaves the PC only the copy (benchmarks).
  int drawnSides = 0;

  // Page
  int width = 200;
  int height = 300;
  int resolution = 100;
  uint16_t unit = 0; // TWUN_INCHES
  PixelKind pixelKind = PixelKind::Rgb;
  int bitDepth = 24;
  bool vanilla = false;
  bool grayPalette = false;     // palette pages: a grey ramp instead of the generated colours
  bool undefinedLength = false; // DAT_IMAGEINFO gives ImageLength -1 until the page is transferred
  bool pageSide = false;        // DAT_EXTIMAGEINFO answers TWEI_PAGESIDE
  bool pageSideStrict = false;  // ... only once ICAP_EXTIMAGEINFO was set TRUE (page_side = strict)

  // Transfer
  uint32_t preferredBuffer = 16384;
  uint32_t minBuffer = 0; // 0: one row (or one strip when rows are split)
  uint32_t maxBuffer = 0xFFFFFFFFu;
  uint32_t stripBytes = 0; // 0: whole rows per strip; N: strips of N bytes, rows may be split
  bool padRows = true;
  Compression compression = Compression::None;
  bool memoryXfer = true;
  bool nativeXfer = true;
  bool fileXfer = true;
  std::string fileName; // empty: a file in %TEMP%; "{page}" is replaced by the page number

  // Driver behaviours
  bool oneValueCaps = false; // MSG_GET answers the enumerations as one-values (their current item)
  bool modalEnable = false;  // MSG_ENABLEDS runs the source's own message loop until disabled
  bool pumpMessages = false; // every memory transfer pumps the application's messages first

  // CAP_DUPLEXENABLED is answered as an enumeration of FALSE and TRUE, whatever is asked.
  bool duplexEnumeration = false;

  // Settings dialog
  DialogAnswer dialog = DialogAnswer::Interactive;
  int dialogDelayMs = 0;

  // Faults
  std::vector<Fault> faults;
  int cancelAtPage = 0;
  PaperFault paperFault;
  bool doubleFeedDetection = false; // CAP_DOUBLEFEEDDETECTION and its sensitivity and response
  int jamAtPage = 0;

  std::string logPath;
};

// Parses scenario text onto `scenario` (keys not given keep their values). Unknown keys and bad
// values are reported in `errors` (one line each) and otherwise ignored.
void ParseScenario(const std::string &text, Scenario &scenario, std::vector<std::string> &errors);

// Bits per pixel allowed for a pixel kind: BW 1; grey 4, 8 or 16; RGB 24 or 32; palette 4 or 8.
bool BitDepthValid(PixelKind kind, int bits);

} // namespace vscan
