// What makes a virtual page look like a paper document: a coloured letterhead band, an address
// block, a title in large type ("Sheet 3 – back"), paragraphs of text-like lines and a picture.
// The band and the picture show the test pattern, so the colour and grey samples the tests read
// (the top rows, the origin marker) stay where they always were; everything else is paper or ink.
//
// Positions are in pixels from the top-left (laid out for a page of 100 dots per inch); larger
// pages get more paragraphs, smaller ones are clipped. Every answer is O(1) in the position, so
// the scanner serves full-speed pages as before.
//
// Pure and header-only, without Windows: the data source and the tests include it alike.
#pragma once

#include <cstdint>

namespace vscan {

enum class Tone : uint8_t { Pattern, Paper, Ink, TitleInk }; // Pattern.h's colour tables follow this order

// Rows [0, kBandHeight) are the letterhead band: the pattern over the page's whole width.
constexpr int kBandHeight = 40;
// Rows of the title in large type; drawn only when the caller knows the sheet's number.
constexpr int kTitleTop = 168;
constexpr int kTitleScale = 6; // pixels per dot of the 5×7 letters
constexpr int kTitleHeight = 7 * kTitleScale;

namespace document {

constexpr int kLeft = 60, kRight = 790;
constexpr int kLinePitch = 20, kGlyphRows = 14; // body lines: letters 7 dots wide incl. spacing
constexpr int kAddressTop = 64, kAddressLines = 4;
constexpr int kRuleTop = kTitleTop + kTitleHeight + 12, kRuleRows = 2;
constexpr int kBodyTop = 244, kParagraphLines = 7; // six lines of text and a blank one
constexpr int kPictureLeft = 470, kPictureTop = 384, kPictureBottom = 584, kFrame = 2;
constexpr int kWordSlot = 40; // each word starts at a slot and is 5 to 33 pixels long

inline uint32_t Mix(uint32_t v) {
  v ^= v >> 16;
  v *= 0x7feb352dU;
  v ^= v >> 15;
  v *= 0x846ca68bU;
  v ^= v >> 16;
  return v;
}

// One text-like line: words of one to five letter-like strokes (stems, bowls, arches, ascenders
// and descenders) on a baseline. Each word starts at a slot; a word that would cross the line's
// end is left out.
inline uint32_t WordAt(uint32_t lineSeed, int slot) {
  return Mix(lineSeed * 131u + static_cast<uint32_t>(slot));
}
inline int WordLength(uint32_t word) { return static_cast<int>(1 + word % 5) * 7 - 2; }
inline uint32_t LetterOf(uint32_t word, int index) { return Mix(word + static_cast<uint32_t>(index)); }

// Whether dot (col 0..4, row) of a letter is ink.
inline bool LetterDot(uint32_t letter, int col, int row) {
  constexpr int xTop = 4, base = 10, mid = 7; // x-height line, last row on the baseline, middle bar
  const bool left = col == 0, right = col == 4, inner = !left && !right;
  const bool body = row >= xTop && row <= base;
  switch (letter % 8) {
  case 0: // l: one tall stem
    return col == 1 && row >= 0 && row <= base;
  case 1: // o
    return body && (((left || right) && row > xTop && row < base) || (inner && (row == xTop || row == base)));
  case 2: // n
    return body && ((left || right) && row > xTop ? true : inner && row == xTop);
  case 3: // e
    return body && (((left) && row > xTop && row < base) || (right && row > xTop && row <= mid) ||
                    (inner && (row == xTop || row == mid || row == base)));
  case 4: // c
    return body && ((left && row > xTop && row < base) || (inner && (row == xTop || row == base)));
  case 5: // u
    return body && ((left || right) && row < base ? true : inner && row == base);
  case 6: // p: a bowl on a stem that goes below the baseline
    return (left && row >= xTop && row < kGlyphRows) ||
           (body && ((right && row > xTop && row < mid) || (inner && (row == xTop || row == mid))));
  default: // d: a bowl against a tall stem
    return (right && row <= base) ||
           (body && ((left && row > xTop && row < base) || (inner && (row == xTop || row == base))));
  }
}

inline bool LineInk(uint32_t seed, int end, int x, int yInLine) {
  if (x < kLeft || x >= end || yInLine >= kGlyphRows)
    return false;
  const int slot = (x - kLeft) / kWordSlot;
  const int inWord = (x - kLeft) % kWordSlot;
  const uint32_t word = WordAt(seed, slot);
  const int length = WordLength(word);
  if (inWord >= length || x - inWord + length > end || inWord % 7 >= 5)
    return false; // between words, past the line's end or between letters
  return LetterDot(LetterOf(word, inWord / 7), inWord % 7, yInLine);
}

// The 5×7 letters the title needs, one string of 7 rows × 5 columns each.
struct Glyph {
  char c;
  const char *rows;
};
constexpr Glyph kGlyphs[] = {
    {'S', ".#####....#.....###.....#....#####."}, {'h', "#....#....#.##.##..##...##...##...#"},
    {'e', "...........###.#...#######.....###."}, {'t', ".#....#...####..#....#....#..#..##."},
    {'f', "..##..#..#.#...###...#....#....#..."}, {'r', "..........#.##.##..##....#....#...."},
    {'o', "...........###.#...##...##...#.###."}, {'n', "..........#.##.##..##...##...##...#"},
    {'b', "#....#....#.##.##..##...##...#####."}, {'a', "...........###.....#.#####...#.####"},
    {'c', "...........###.#....#....#...#.###."}, {'k', "#....#....#..#.#.#..##...#.#..#..#."},
    {'-', "...............#####..............."}, {'0', ".###.#...##..###.#.###..##...#.###."},
    {'1', "..#...##....#....#....#....#...###."}, {'2', ".###.#...#....#...#...#...#...#####"},
    {'3', "#####...#...#.....#.....##...#.###."}, {'4', "...#...##..#.#.#..#.#####...#....#."},
    {'5', "######....####.....#....##...#.###."}, {'6', "..##..#...#....####.#...##...#.###."},
    {'7', "#####....#...#...#...#....#....#..."}, {'8', ".###.#...##...#.###.#...##...#.###."},
    {'9', ".###.#...##...#.####....#...#..##.."},
};

inline bool GlyphDot(char c, int col, int row) {
  for (const Glyph &g : kGlyphs)
    if (g.c == c)
      return g.rows[row * 5 + col] == '#';
  return false; // a space
}

// "Sheet 12 - front": the dash is drawn as a long one.
inline int TitleText(int sheet, int side, char *out) {
  const char *head = "Sheet ";
  int n = 0;
  while (*head)
    out[n++] = *head++;
  char digits[12];
  int d = 0;
  for (unsigned v = static_cast<unsigned>(sheet); v > 0 || d == 0; v /= 10)
    digits[d++] = static_cast<char>('0' + v % 10);
  while (d > 0)
    out[n++] = digits[--d];
  const char *tail = side == 0 ? " - front" : " - back";
  while (*tail)
    out[n++] = *tail++;
  return n;
}

inline bool TitleDot(int sheet, int side, int x, int y) {
  const int cell = 6 * kTitleScale; // 5 dots and a space
  if (x < kLeft || y < kTitleTop || y >= kTitleTop + kTitleHeight)
    return false;
  char text[40];
  const int n = TitleText(sheet, side, text);
  const int index = (x - kLeft) / cell;
  const int col = (x - kLeft) % cell / kTitleScale;
  if (index >= n || col >= 5)
    return false;
  return GlyphDot(text[index], col, (y - kTitleTop) / kTitleScale);
}

// What one row of the page holds: it is the same for every column but the picture's.
struct Row {
  enum class Kind { Band, Paper, Text, Title, Rule } kind = Kind::Paper;
  uint32_t seed = 0;                          // Text: the line's words
  int end = 0;                                // Text: where the line stops
  int yInLine = 0;                            // Text: row within the line
  bool picture = false, pictureFrame = false; // the row crosses the picture; its frame's top or bottom
};

inline Row RowAt(int page, int side, int y) {
  Row row;
  if (y < kBandHeight) {
    row.kind = Row::Kind::Band;
    return row;
  }
  row.picture = y >= kPictureTop - kFrame && y < kPictureBottom + kFrame;
  row.pictureFrame = row.picture && (y < kPictureTop || y >= kPictureBottom);
  const uint32_t pageSeed = static_cast<uint32_t>(page * 2 + side) * 7919u;
  if (y >= kAddressTop && y < kAddressTop + kAddressLines * kLinePitch) {
    const int line = (y - kAddressTop) / kLinePitch;
    row.kind = Row::Kind::Text;
    row.seed = pageSeed + static_cast<uint32_t>(line);
    row.end = kLeft + 160 + static_cast<int>(Mix(row.seed) % 5) * 30;
    row.yInLine = (y - kAddressTop) % kLinePitch;
    return row;
  }
  if (y >= kTitleTop && y < kTitleTop + kTitleHeight) {
    row.kind = Row::Kind::Title;
    return row;
  }
  if (y >= kRuleTop && y < kRuleTop + kRuleRows) {
    row.kind = Row::Kind::Rule;
    return row;
  }
  if (y < kBodyTop)
    return row;
  const int line = (y - kBodyTop) / kLinePitch;
  const int inParagraph = line % kParagraphLines;
  if (inParagraph == kParagraphLines - 1)
    return row;
  row.kind = Row::Kind::Text;
  row.seed = pageSeed + 1000u + static_cast<uint32_t>(line);
  row.yInLine = (y - kBodyTop) % kLinePitch;
  // Lines beside the picture stop short of it; a paragraph's last line stops early.
  const int lineTop = kBodyTop + line * kLinePitch;
  row.end =
      lineTop + kLinePitch > kPictureTop - 12 && lineTop < kPictureBottom + 12 ? kPictureLeft - 20 : kRight;
  if (inParagraph == kParagraphLines - 2)
    row.end = kLeft + (row.end - kLeft) * static_cast<int>(30 + Mix(row.seed) % 50) / 100;
  return row;
}

inline bool InPicture(int x) { return x >= kPictureLeft - kFrame && x < kRight + kFrame; }
inline Tone PictureTone(const Row &row, int x) {
  return !row.pictureFrame && x >= kPictureLeft && x < kRight ? Tone::Pattern : Tone::Ink;
}

} // namespace document

// What the page shows at (x, y): the pattern, paper, text ink or title ink.
// page and side vary the words; sheet > 0 draws the title "Sheet <sheet> – front/back".
inline Tone DocumentTone(int page, int side, int x, int y, int sheet) {
  using namespace document;
  const Row row = RowAt(page, side, y);
  if (row.picture && InPicture(x))
    return PictureTone(row, x);
  switch (row.kind) {
  case Row::Kind::Band:
    return Tone::Pattern;
  case Row::Kind::Text:
    return LineInk(row.seed, row.end, x, row.yInLine) ? Tone::Ink : Tone::Paper;
  case Row::Kind::Title:
    return sheet > 0 && TitleDot(sheet, side, x, y) ? Tone::TitleInk : Tone::Paper;
  case Row::Kind::Rule:
    return x >= kLeft && x < kRight ? Tone::TitleInk : Tone::Paper;
  case Row::Kind::Paper:
    break;
  }
  return Tone::Paper;
}

// The tones of row y for columns 0 .. width-1, the same as DocumentTone for each, found a word
// at a time: the scanner fills whole pages with this.
// Below the letterhead band every column from here on is paper: the text, the picture and the
// title (as long as its sheet number makes it) end before it.
inline int DocumentInkEnd(int sheet, int side) {
  using namespace document;
  char text[40];
  const int title = kLeft + TitleText(sheet, side, text) * 6 * kTitleScale;
  return title > kRight + kFrame ? title : kRight + kFrame;
}

inline void DocumentRowTones(int page, int side, int y, int sheet, int width, Tone *tones) {
  using namespace document;
  const Row row = RowAt(page, side, y);
  const Tone base = row.kind == Row::Kind::Band ? Tone::Pattern : Tone::Paper;
  for (int x = 0; x < width; ++x)
    tones[x] = base;
  if (row.kind == Row::Kind::Text && row.yInLine < kGlyphRows) {
    for (int start = kLeft, slot = 0; start < row.end && start < width; start += kWordSlot, ++slot) {
      const uint32_t word = WordAt(row.seed, slot);
      const int length = WordLength(word);
      if (start + length > row.end)
        continue;
      for (int i = 0; i < length && start + i < width; i += 7) {
        const uint32_t letter = LetterOf(word, i / 7);
        for (int col = 0; col < 5 && start + i + col < width; ++col)
          if (LetterDot(letter, col, row.yInLine))
            tones[start + i + col] = Tone::Ink;
      }
    }
  } else if (row.kind == Row::Kind::Title || row.kind == Row::Kind::Rule) {
    for (int x = kLeft; x < width; ++x)
      tones[x] = DocumentTone(page, side, x, y, sheet);
  }
  if (row.picture)
    for (int x = kPictureLeft - kFrame; x < kRight + kFrame && x < width; ++x)
      tones[x] = PictureTone(row, x);
}

} // namespace vscan
