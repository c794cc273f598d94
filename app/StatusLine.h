// The status line: a label at its place that takes the width of its text up to the window's
// edge, a second line for words that need one, cuts a long path in the middle, and shows the
// whole text when the mouse rests on it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The text as it fits into maxWidth: unchanged when it fits; otherwise characters are cut from
// the middle of its path (from a drive letter or "\\" on) and replaced by "...", keeping the
// path's start and its last component, or from the middle of the whole text when it holds none.
std::string MiddleEllipsis(const std::string &text, const std::function<int(const std::string &)> &width,
                           int maxWidth);

class TStatusLine {
public:
  // The label must have SS_NOTIFY, so that the hover text sees the mouse.
  TStatusLine(HWND label, HFONT font, int maxWidth);
  TStatusLine(const TStatusLine &) = delete;
  TStatusLine &operator=(const TStatusLine &) = delete;

  void Show(const std::string &text);
  // The window's scale changed: the same text again, measured in the new font.
  void SetFont(HFONT font, int maxWidth);
  const std::string &Text() const { return Current; }

private:
  HWND Label;
  HFONT Font;
  int MaxWidth;
  HWND Tip = nullptr; // owned by the main window, which destroys it with itself
  std::string Current;
};
