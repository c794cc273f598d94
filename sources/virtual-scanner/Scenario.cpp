#include "sources/virtual-scanner/Scenario.h"

#include "sources/virtual-scanner/TripletNames.h"
#include "twain/TwainRecords.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace vscan {
namespace {

std::string Trim(const std::string &s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
    ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
    --e;
  return s.substr(b, e - b);
}

std::string Lower(std::string s) {
  for (char &c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ParseInt(const std::string &text, long long low, long long high, long long &out) {
  if (text.empty())
    return false;
  char *end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 0);
  if (*end != '\0' || v < low || v > high)
    return false;
  out = v;
  return true;
}

// "double_feed 3 front [image] [pending]" or "jam 4 back [image] [pending]".
bool ParsePaperFault(const std::string &text, PaperFault &out) {
  std::istringstream words(Lower(text));
  std::string kind, side, word;
  PaperFault fault;
  if (!(words >> kind >> fault.sheet >> side) || fault.sheet < 1 || (side != "front" && side != "back"))
    return false;
  if (kind != "double_feed" && kind != "jam")
    return false;
  fault.condition = kind == "jam" ? TWCC_PAPERJAM : TWCC_PAPERDOUBLEFEED;
  fault.side = side == "back" ? 1 : 0;
  while (words >> word) {
    if (word != "image" && word != "pending")
      return false;
    (word == "image" ? fault.image : fault.pending) = true;
  }
  out = fault;
  return true;
}

bool ParseBool(const std::string &text, bool &out) {
  const std::string t = Lower(text);
  if (t == "1" || t == "yes" || t == "true" || t == "on") {
    out = true;
    return true;
  }
  if (t == "0" || t == "no" || t == "false" || t == "off") {
    out = false;
    return true;
  }
  return false;
}

std::vector<std::string> Split(const std::string &text, const std::string &separators) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : text) {
    if (separators.find(c) != std::string::npos) {
      parts.push_back(Trim(current));
      current.clear();
    } else {
      current += c;
    }
  }
  parts.push_back(Trim(current));
  return parts;
}

int DefaultBits(PixelKind kind) {
  switch (kind) {
  case PixelKind::Bw:
    return 1;
  case PixelKind::Rgb:
    return 24;
  case PixelKind::Gray:
  case PixelKind::Palette:
    break;
  }
  return 8;
}

// "CONTROL/USERINTERFACE/ENABLEDS [page=N] [once] rc=FAILURE cc=DENIED"
bool ParseFault(const std::string &text, Fault &fault) {
  std::vector<std::string> tokens;
  std::istringstream in(text);
  for (std::string t; in >> t;)
    tokens.push_back(t);
  if (tokens.empty())
    return false;
  std::vector<std::string> triplet = Split(tokens[0], "/");
  size_t next = 1;
  if (triplet.size() == 1 && tokens.size() >= 3) {
    triplet = {tokens[0], tokens[1], tokens[2]};
    next = 3;
  }
  if (triplet.size() != 3)
    return false;
  const auto dg = ValueOf(NameKind::Dg, triplet[0]);
  const auto dat = ValueOf(NameKind::Dat, triplet[1]);
  const auto msg = ValueOf(NameKind::Msg, triplet[2]);
  if (!dg || !dat || !msg || *dat > 0xFFFF || *msg > 0xFFFF)
    return false;
  fault.dg = *dg;
  fault.dat = static_cast<uint16_t>(*dat);
  fault.msg = static_cast<uint16_t>(*msg);
  for (size_t i = next; i < tokens.size(); ++i) {
    const std::string &t = tokens[i];
    if (Lower(t) == "once") {
      fault.once = true;
      continue;
    }
    const size_t eq = t.find('=');
    if (eq == std::string::npos)
      return false;
    const std::string key = Lower(t.substr(0, eq));
    const std::string value = t.substr(eq + 1);
    long long n = 0;
    if (key == "page" && ParseInt(value, 0, 1 << 30, n)) {
      fault.page = static_cast<int>(n);
    } else if (key == "rc") {
      const auto rc = ValueOf(NameKind::Rc, value);
      if (!rc || *rc > 0xFFFF)
        return false;
      fault.rc = static_cast<uint16_t>(*rc);
    } else if (key == "cc") {
      const auto cc = ValueOf(NameKind::Cc, value);
      if (!cc || *cc > 0xFFFF)
        return false;
      fault.cc = static_cast<uint16_t>(*cc);
    } else {
      return false;
    }
  }
  return true;
}

class Parser {
public:
  Parser(Scenario &s, std::vector<std::string> &errors) : s_(s), errors_(errors) {}

  void Line(int number, const std::string &raw) {
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[')
      return;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      Error(number, "expected key = value");
      return;
    }
    const std::string key = Lower(Trim(line.substr(0, eq)));
    const std::string value = Trim(line.substr(eq + 1));
    if (!Apply(key, value))
      Error(number, "bad value for " + key + ": " + value);
  }

  void Finish() {
    if (!bitsGiven_)
      s_.bitDepth = DefaultBits(s_.pixelKind);
    if (!BitDepthValid(s_.pixelKind, s_.bitDepth)) {
      errors_.push_back("bit_depth " + std::to_string(s_.bitDepth) + " does not fit the pixel type");
      s_.bitDepth = DefaultBits(s_.pixelKind);
    }
    // A page beyond what a TWAIN frame can say (32767 inches each way) is not one to scan.
    const Scenario plain;
    for (auto side : {std::make_pair("width", &Scenario::width), std::make_pair("height", &Scenario::height)})
      if (s_.*side.second / s_.resolution >= 32768) {
        errors_.push_back(std::string(side.first) + " " + std::to_string(s_.*side.second) +
                          " at resolution " + std::to_string(s_.resolution) + " is beyond 32767 inches");
        s_.*side.second = plain.*side.second;
      }
  }

private:
  bool Int(const std::string &value, long long low, long long high, int &out) {
    long long n = 0;
    if (!ParseInt(value, low, high, n))
      return false;
    out = static_cast<int>(n);
    return true;
  }
  bool UInt(const std::string &value, uint32_t &out) {
    long long n = 0;
    if (!ParseInt(value, 0, 0xFFFFFFFFll, n))
      return false;
    out = static_cast<uint32_t>(n);
    return true;
  }

  bool Apply(const std::string &key, const std::string &value) {
    const std::string v = Lower(value);
    constexpr long long kBig = 1 << 30;
    constexpr long long kMaxSheets = 30000;
    if (key == "devices") {
      std::vector<std::string> names;
      for (const std::string &name : Split(value, "|"))
        if (!name.empty())
          names.push_back(name.substr(0, 33));
      if (names.empty())
        return false;
      s_.devices = names;
      return true;
    }
    if (key == "manufacturer") {
      s_.manufacturer = value.substr(0, 33);
      return true;
    }
    if (key == "product_family") {
      s_.productFamily = value.substr(0, 33);
      return true;
    }
    // Both sides of every sheet must fit a TW_PENDINGXFERS Count (0xFFFF means "unknown").
    if (key == "sheets")
      return Int(value, 0, kMaxSheets, s_.sheets);
    if (key == "sides")
      return Int(value, 1, 2, s_.sides);
    if (key == "sheets_per_batch")
      return Int(value, 0, kMaxSheets, s_.sheetsPerBatch);
    if (key == "refills")
      return Int(value, 0, kBig, s_.refills);
    if (key == "empty_feeder") {
      if (v == "closedsreq")
        s_.emptyFeeder = EmptyFeeder::CloseRequest;
      else if (v == "wait")
        s_.emptyFeeder = EmptyFeeder::Wait;
      else
        return false;
      return true;
    }
    if (key == "feeder_loaded")
      return ParseBool(value, s_.feederLoadedSupported);
    if (key == "time_per_page_ms")
      return Int(value, 0, 600000, s_.timePerPageMs);
    if (key == "paper_wait_ms")
      return Int(value, 0, 600000, s_.paperWaitMs);
    if (key == "width")
      return Int(value, 1, 65535, s_.width);
    if (key == "height")
      return Int(value, 1, 65535, s_.height);
    if (key == "resolution")
      return Int(value, 1, 32767, s_.resolution);
    if (key == "unit") {
      if (v == "inches")
        s_.unit = 0;
      else if (v == "centimeters")
        s_.unit = 1;
      else
        return false;
      return true;
    }
    if (key == "pixel_type") {
      if (v == "bw")
        s_.pixelKind = PixelKind::Bw;
      else if (v == "gray" || v == "grey")
        s_.pixelKind = PixelKind::Gray;
      else if (v == "rgb")
        s_.pixelKind = PixelKind::Rgb;
      else if (v == "palette")
        s_.pixelKind = PixelKind::Palette;
      else
        return false;
      return true;
    }
    if (key == "bit_depth") {
      bitsGiven_ = true;
      return Int(value, 1, 32, s_.bitDepth);
    }
    if (key == "pixel_flavor") {
      if (v == "chocolate")
        s_.vanilla = false;
      else if (v == "vanilla")
        s_.vanilla = true;
      else
        return false;
      return true;
    }
    if (key == "palette") {
      if (v == "generated")
        s_.grayPalette = false;
      else if (v == "gray" || v == "grey")
        s_.grayPalette = true;
      else
        return false;
      return true;
    }
    if (key == "drawn_sides")
      return Int(value, 0, 1000, s_.drawnSides);
    if (key == "preferred_buffer")
      return UInt(value, s_.preferredBuffer) && s_.preferredBuffer > 0;
    if (key == "min_buffer")
      return UInt(value, s_.minBuffer);
    if (key == "max_buffer")
      return UInt(value, s_.maxBuffer);
    if (key == "strip_bytes")
      return UInt(value, s_.stripBytes);
    if (key == "pad_rows")
      return ParseBool(value, s_.padRows);
    if (key == "compression") {
      if (v == "none")
        s_.compression = Compression::None;
      else if (v == "jpeg")
        s_.compression = Compression::Jpeg;
      else if (v == "group4")
        s_.compression = Compression::Group4;
      else
        return false;
      return true;
    }
    if (key == "undefined_length")
      return ParseBool(value, s_.undefinedLength);
    if (key == "page_side") {
      // strict: the side is told only once ICAP_EXTIMAGEINFO was set TRUE
      s_.pageSideStrict = v == "strict";
      if (s_.pageSideStrict) {
        s_.pageSide = true;
        return true;
      }
      return ParseBool(value, s_.pageSide);
    }
    if (key == "blank_discard") {
      if (v != "fixed" && v != "auto" && v != "profile")
        return false;
      s_.blankDiscardOffered = v != "fixed";
      s_.blankDiscardLocked = v == "profile";
      return true;
    }
    if (key == "stop_feeder_count") {
      if (v != "pending" && v != "unknown")
        return false;
      s_.stopCountUnknown = v == "unknown";
      return true;
    }
    if (key == "paper_path")
      return Int(value, 1, kBig, s_.paperPath);
    if (key == "dropped_pages" || key == "blank_pages") {
      std::vector<int> pages;
      for (const std::string &part : Split(value, ", "))
        if (!part.empty()) {
          int page = 0;
          if (!Int(part, 1, kBig, page))
            return false;
          pages.push_back(page);
        }
      (key == "dropped_pages" ? s_.droppedPages : s_.blankPages) = pages;
      return true;
    }
    if (key == "mechanisms") {
      bool memory = false, native = false, file = false;
      for (const std::string &m : Split(v, ", ")) {
        if (m == "memory")
          memory = true;
        else if (m == "native")
          native = true;
        else if (m == "file")
          file = true;
        else if (!m.empty())
          return false;
      }
      s_.memoryXfer = memory;
      s_.nativeXfer = native;
      s_.fileXfer = file;
      return true;
    }
    if (key == "file_name") {
      if (value.size() > 255)
        return false;
      s_.fileName = value;
      return true;
    }
    if (key == "one_value_caps")
      return ParseBool(value, s_.oneValueCaps);
    if (key == "modal_enable")
      return ParseBool(value, s_.modalEnable);
    if (key == "pump_messages")
      return ParseBool(value, s_.pumpMessages);
    if (key == "duplex_enumeration")
      return ParseBool(value, s_.duplexEnumeration);
    if (key == "dialog") {
      if (v == "interactive")
        s_.dialog = DialogAnswer::Interactive;
      else if (v == "scan")
        s_.dialog = DialogAnswer::Scan;
      else if (v == "cancel")
        s_.dialog = DialogAnswer::Cancel;
      else
        return false;
      return true;
    }
    if (key == "dialog_delay_ms")
      return Int(value, 0, 600000, s_.dialogDelayMs);
    if (key == "fault") {
      Fault f;
      if (!ParseFault(value, f))
        return false;
      s_.faults.push_back(f);
      return true;
    }
    if (key == "cancel_at_page")
      return Int(value, 0, kBig, s_.cancelAtPage);
    if (key == "paper_fault") {
      if (!ParsePaperFault(value, s_.paperFault))
        return false;
      s_.doubleFeedDetection = s_.doubleFeedDetection || s_.paperFault.condition == TWCC_PAPERDOUBLEFEED;
      return true;
    }
    if (key == "double_feed_detection")
      return ParseBool(value, s_.doubleFeedDetection);
    if (key == "jam_at_page")
      return Int(value, 0, kBig, s_.jamAtPage);
    if (key == "log") {
      s_.logPath = value;
      return true;
    }
    errors_.push_back("unknown key " + key);
    return true;
  }

  void Error(int line, const std::string &what) {
    errors_.push_back("line " + std::to_string(line) + ": " + what);
  }

  Scenario &s_;
  std::vector<std::string> &errors_;
  bool bitsGiven_ = false;
};

} // namespace

bool BitDepthValid(PixelKind kind, int bits) {
  switch (kind) {
  case PixelKind::Bw:
    return bits == 1;
  case PixelKind::Gray:
    return bits == 4 || bits == 8 || bits == 16;
  case PixelKind::Palette:
    return bits == 4 || bits == 8;
  case PixelKind::Rgb:
    break;
  }
  return bits == 24 || bits == 32;
}

void ParseScenario(const std::string &text, Scenario &scenario, std::vector<std::string> &errors) {
  Parser parser(scenario, errors);
  std::istringstream in(text);
  int number = 0;
  for (std::string line; std::getline(in, line);)
    parser.Line(++number, line);
  parser.Finish();
}

} // namespace vscan
