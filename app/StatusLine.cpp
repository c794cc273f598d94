#include "app/StatusLine.h"

#include "win/Owners.h"

#include <commctrl.h>

#include <algorithm>

namespace {

TOOLINFOA LabelTool(HWND label, const std::string &text) {
  TOOLINFOA tool = {};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = ::GetParent(label);
  tool.uId = reinterpret_cast<UINT_PTR>(label);
  tool.lpszText = const_cast<char *>(text.c_str());
  return tool;
}

// Where the cut may begin and end: the path's folders, or the middle of the text.
void CutRange(const std::string &text, size_t &from, size_t &to) {
  size_t path = text.find(":\\");
  path = path == std::string::npos || path == 0 ? text.find("\\\\") : path - 1;
  const size_t last = text.find_last_of('\\');
  if (path != std::string::npos && last != std::string::npos && last > path + 3) {
    from = path + 3;
    to = last;
  } else {
    from = 0;
    to = text.size();
  }
}

} // namespace

std::string MiddleEllipsis(const std::string &text, const std::function<int(const std::string &)> &width,
                           int maxWidth) {
  if (width(text) <= maxWidth)
    return text;
  size_t from, to;
  CutRange(text, from, to);
  const size_t middle = from + (to - from) / 2;
  auto cut = [&](size_t count) {
    const size_t start = middle - std::min(count / 2, middle - from);
    const size_t end = std::min(start + count, to);
    return text.substr(0, start) + "..." + text.substr(end);
  };
  // The fewest characters cut that make it fit.
  size_t low = 1, high = to - from;
  while (low < high) {
    const size_t count = low + (high - low) / 2;
    if (width(cut(count)) <= maxWidth)
      high = count;
    else
      low = count + 1;
  }
  return cut(low);
}

TStatusLine::TStatusLine(HWND label, HFONT font, int maxWidth)
    : Label(label), Font(font), MaxWidth(maxWidth) {
  Tip = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, ::GetParent(label),
                          nullptr, ::GetModuleHandleA(nullptr), nullptr);
  if (Tip) {
    TOOLINFOA tool = LabelTool(Label, Current);
    ::SendMessageA(Tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageA(Tip, TTM_SETMAXTIPWIDTH, 0, 600);
  }
}

void TStatusLine::Show(const std::string &text) {
  Current = text;
  if (Tip) {
    TOOLINFOA tool = LabelTool(Label, Current);
    ::SendMessageA(Tip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
  }
  win::WindowDC dc(Label);
  if (!dc) {
    ::SetWindowTextA(Label, text.c_str());
    return;
  }
  win::SelectGuard font(dc.get(), Font);
  auto width = [&](const std::string &s) {
    SIZE extent = {};
    ::GetTextExtentPoint32A(dc.get(), s.c_str(), static_cast<int>(s.size()), &extent);
    return static_cast<int>(extent.cx);
  };
  TEXTMETRICA metrics = {};
  ::GetTextMetricsA(dc.get(), &metrics);
  // A text of words that does not fit takes a second line (the label wraps it at a word), so that
  // what the person is to do is read whole; a longer one, or a path, is cut in the middle.
  RECT wrapped = {0, 0, MaxWidth, 0};
  ::DrawTextA(dc.get(), text.c_str(), static_cast<int>(text.size()), &wrapped,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  const bool twoLines = width(text) > MaxWidth && wrapped.bottom <= 2 * metrics.tmHeight &&
                        wrapped.right <= MaxWidth && text.find(":\\") == std::string::npos;
  const std::string shown = twoLines ? text : MiddleEllipsis(text, width, MaxWidth);
  ::SetWindowTextA(Label, shown.c_str());
  ::SetWindowPos(Label, nullptr, 0, 0, twoLines ? MaxWidth : width(shown),
                 (twoLines ? 2 : 1) * metrics.tmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(::GetParent(Label), nullptr, TRUE);
}

void TStatusLine::SetFont(HFONT font, int maxWidth) {
  Font = font;
  MaxWidth = maxWidth;
  Show(Current);
}
