// The main window's frame: class, controls and their layout, and message dispatch.
#include "app/ControlIds.h"
#include "app/MessageLoop.h"
#include "app/Resources.h"
#include "app/WindowScale.h"
#include "app/uMain.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <stdexcept>

using namespace station;

namespace {

constexpr int kControlsWidth = 469; // the controls' column; the last sheet's pictures are right of it
constexpr int kClientWidth = TfMain::kPicturesLeft + 2 * TfMain::kPictureWidth + TfMain::kPictureGap + 16;
constexpr int kClientHeight = 172;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr int kFontHeight = -11; // 8 point at 96 dpi

// Where each control sits at 96 dpi: left, top, width, height.
struct TControlPlace {
  int Id, Left, Top, Width, Height;
};
constexpr TControlPlace kControlPlaces[] = {
    {idBtGo, 16, 16, 75, 25},
    {idCbShowConfig, 120, 20, 97, 17},
    {idPb, 16, 56, 433, 17},
    {idCbAuto, 344, 20, 97, 17},
    // The folder field 16,80,433,21 is the edit box and, at its right end, its browse button.
    {idEDir, 16, 80, 410, 21},
    {idEDirBrowse, 428, 80, 21, 21},
    {idLbStatus, 16, 120, 0, 0}, // as wide as its text
    {idCbBlankAside, 16, 146, 150, 17},
    {idLbCounts, 176, 148, kClientWidth - 176 - 16, 15},
};

RECT ControlRect(int id, UINT dpi) {
  for (const TControlPlace &place : kControlPlaces) {
    if (place.Id == id)
      return ScaledRect({place.Left, place.Top, place.Left + place.Width, place.Top + place.Height}, dpi);
  }
  throw std::logic_error("A control without a place");
}

// "MS Sans Serif" is a bitmap font made for 96 dpi; at other sizes its TrueType cut keeps the
// text sharp.
HFONT StationFont(UINT dpi) {
  return ::CreateFontA(ScaledPixels(kFontHeight, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE,
                       dpi == kDesignDpi ? "MS Sans Serif" : "Microsoft Sans Serif");
}

HINSTANCE Instance() { return ::GetModuleHandleA(nullptr); }

} // namespace

TfMain::TfMain() {
  static const ATOM windowClass = [] {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = Instance();
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hIcon = ::LoadIconA(Instance(), MAKEINTRESOURCEA(IDI_TOVIKSCAN));
    // The title bar's small icon from the 16-pixel image rather than the large one shrunk.
    wc.hIconSm = static_cast<HICON>(::LoadImageA(Instance(), MAKEINTRESOURCEA(IDI_TOVIKSCAN), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON),
                                                 ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainWindowClass;
    return ::RegisterClassExA(&wc);
  }();
  if (!windowClass)
    throw std::runtime_error("Cannot register the main window class");

  ::CreateWindowExA(0, kMainWindowClass, kMainWindowCaption, kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    kClientWidth, kClientHeight, nullptr, nullptr, Instance(), this);
  if (!Hwnd)
    throw std::runtime_error("Cannot create the main window");
  Dpi = WindowDpi(Hwnd);
  FitClientArea();

  CreateControls();
  Clock = StationPageClock();
  Pages = std::make_unique<TPageHandOff>([this] { return GivenFolder; },
                                         [this](std::unique_ptr<TSaveRec> rec) { QueuePage(std::move(rec)); },
                                         Clock);
  Pages->OnSheetEnded = [this](unsigned sheet) { SaveThread->EndSheet(sheet); };
  FormCreate();
}

void TfMain::Show() {
  RECT r;
  ::GetWindowRect(Hwnd, &r);
  int width = r.right - r.left, height = r.bottom - r.top;
  // On a screen smaller than the window its left and top stay in sight: the controls are there.
  ::SetWindowPos(Hwnd, nullptr, std::max(0, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2),
                 std::max(0, (::GetSystemMetrics(SM_CYSCREEN) - height) / 2), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
  ::ShowWindow(Hwnd, SW_SHOWNORMAL);
  ::UpdateWindow(Hwnd);
}

// The client area is what the design gives: the frame around it is whatever the system draws.
void TfMain::FitClientArea() {
  RECT frame, client;
  ::GetWindowRect(Hwnd, &frame);
  ::GetClientRect(Hwnd, &client);
  ::SetWindowPos(Hwnd, nullptr, 0, 0,
                 frame.right - frame.left + ScaledPixels(kClientWidth, Dpi) - client.right,
                 frame.bottom - frame.top + ScaledPixels(kClientHeight, Dpi) - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The window moved to a monitor of another scale: every control, the font and the status line's
// room follow it.
void TfMain::Rescale(UINT dpi) {
  Dpi = dpi;
  win::UniqueFont font(StationFont(Dpi));
  for (const TControlPlace &place : kControlPlaces) {
    const RECT r = ControlRect(place.Id, Dpi);
    const UINT keepSize = place.Width ? 0 : SWP_NOSIZE; // the status line sizes itself
    ::SetWindowPos(::GetDlgItem(Hwnd, place.Id), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE | keepSize);
    ::SendMessageA(::GetDlgItem(Hwnd, place.Id), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  }
  Status->SetFont(font.get(), ScaledPixels(kControlsWidth - 2 * 16, Dpi));
  Font = std::move(font); // the old font goes once no control uses it
  FitClientArea();
  ::InvalidateRect(Hwnd, nullptr, TRUE);
}

void TfMain::InvalidatePictures() {
  RECT pictures = ScaledRect({kPicturesLeft, kPicturesTop, kPicturesLeft + 2 * kPictureWidth + kPictureGap,
                              kPicturesTop + kPictureHeight},
                             Dpi);
  ::InflateRect(&pictures, 1, 1); // their frames
  ::InvalidateRect(Hwnd, &pictures, FALSE);
}

void TfMain::CreateControls() {
  Font.reset(StationFont(Dpi));
  // Creation order is the tab order.
  auto add = [this](DWORD exStyle, const char *cls, const char *text, DWORD style, int id) {
    const RECT r = ControlRect(id, Dpi);
    HWND control = ::CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                                     r.right - r.left, r.bottom - r.top, Hwnd,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    if (!control)
      throw std::runtime_error(std::string("Cannot create the control ") + text);
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font.get()), FALSE);
    return control;
  };
  btGo = add(0, "BUTTON", "Go..", WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON, idBtGo);
  Batches = std::make_unique<TBatchControl>(btGo);
  cbShowConfig = add(0, "BUTTON", "Show Config", WS_TABSTOP | BS_AUTOCHECKBOX, idCbShowConfig);
  pb = add(0, PROGRESS_CLASSA, "", 0, idPb);
  ::SendMessageA(pb, PBM_SETRANGE32, 0, 100);
  Progress = std::make_unique<TPageProgress>(pb);
  cbAuto = add(0, "BUTTON", "Auto", WS_TABSTOP | BS_AUTOCHECKBOX, idCbAuto);
  eDir = add(WS_EX_CLIENTEDGE, "EDIT", "eDir", WS_TABSTOP | ES_AUTOHSCROLL, idEDir);
  ::SetWindowSubclass(eDir, FolderFieldProc, 1, reinterpret_cast<DWORD_PTR>(this));
  eDirBrowse = add(0, "BUTTON", "...", WS_TABSTOP | BS_PUSHBUTTON, idEDirBrowse);
  lbStatus = add(0, "STATIC", "lbStatus", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, idLbStatus);
  Status = std::make_unique<TStatusLine>(lbStatus, Font.get(), ScaledPixels(kControlsWidth - 2 * 16, Dpi));
  Status->Show("lbStatus");
  cbBlankAside = add(0, "BUTTON", "Set blank sides aside", WS_TABSTOP | BS_AUTOCHECKBOX, idCbBlankAside);
  lbCounts = add(0, "STATIC", "", SS_LEFT | SS_NOPREFIX, idLbCounts);
  CountsLine = std::make_unique<TCountsLine>(lbCounts);
  Progress->SetCompanion([this] { CountsLine->Paint(); });
}

std::string TfMain::OutputFolderText() const {
  int length = ::GetWindowTextLengthA(eDir);
  std::string text(length + 1, '\0');
  text.resize(::GetWindowTextA(eDir, &text[0], length + 1));
  return text;
}

void TfMain::SetOutputFolderText(const std::string &text) { ::SetWindowTextA(eDir, text.c_str()); }

void TfMain::PaintPictures(HDC dc) {
  const struct {
    const TSidePicture &Picture;
    int Left;
    const char *Caption;
  } sides[] = {{Pictures.Front(), kPicturesLeft, "Front"},
               {Pictures.Back(), kPicturesLeft + kPictureWidth + kPictureGap, "Back"}};
  win::SelectGuard font(dc, Font.get());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetStretchBltMode(dc, HALFTONE);
  ::SetBrushOrgEx(dc, 0, 0, nullptr);
  for (const auto &side : sides) {
    const RECT area =
        ScaledRect({side.Left, kPicturesTop, side.Left + kPictureWidth, kPicturesTop + kPictureHeight}, Dpi);
    RECT frame = area;
    ::InflateRect(&frame, 1, 1);
    ::FrameRect(dc, &frame, ::GetSysColorBrush(COLOR_BTNSHADOW));
    const TSidePicture &p = side.Picture;
    if (!p.Empty()) {
      BITMAPINFO info = {};
      info.bmiHeader.biSize = sizeof info.bmiHeader;
      info.bmiHeader.biWidth = p.Width;
      info.bmiHeader.biHeight = p.Height; // bottom-up
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 24;
      info.bmiHeader.biCompression = BI_RGB;
      // The picture's pixels are the design's: it grows with the window, centred as at 96 dpi.
      const int width = ScaledPixels(p.Width, Dpi), height = ScaledPixels(p.Height, Dpi);
      ::StretchDIBits(dc, area.left + (area.right - area.left - width) / 2,
                      area.top + (area.bottom - area.top - height) / 2, width, height, 0, 0, p.Width,
                      p.Height, p.Bgr.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    }
    RECT caption = {area.left, area.bottom + ScaledPixels(4, Dpi), area.right,
                    area.bottom + ScaledPixels(20, Dpi)};
    ::DrawTextA(dc, side.Caption, -1, &caption, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
}

bool TfMain::IsTicked(HWND checkBox) const {
  return ::SendMessageA(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TfMain::HandleCommand(int id, int code) {
  if (id == idEDir && code == EN_KILLFOCUS)
    GiveOutputFolder();
  if (code != BN_CLICKED)
    return;
  if (id == IDCANCEL) // Esc, through the loop's dialog keys
    StopClick();
  else if (id == idBtGo)
    btGoClick();
  else if (id == idCbAuto)
    cbAutoClick();
  else if (id == idEDirBrowse)
    eDirBrowseClick();
  else if (id == idCbBlankAside)
    cbBlankAsideClick();
}

LRESULT TfMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_COMMAND:
    HandleCommand(LOWORD(wParam), HIWORD(wParam));
    return 0;
  case WM_TIMER:
    if (wParam == kCheckTimerId && Started) {
      try {
        tmCheckTimer();
      } catch (const std::exception &e) {
        SetStatus(e.what());
      }
      if (Shutdown && Shutdown->WriterChanged())
        ::DestroyWindow(Hwnd);
    }
    return 0;
  case kWriteFailedMessage:
    ShowWriteFailure();
    return 0;
  case kThreadErrorMessage:
    ShowThreadError();
    return 0;
  case kPagesLostMessage:
    ShowPagesLostInACrash();
    return 0;
  case kSideNewsMessage:
    TakeSideNews();
    return 0;
  case WM_GETMINMAXINFO:
    // Only the station sizes its window (a fixed border), to the design at the monitor's scale:
    // on a screen smaller than that the window goes past its edge rather than cut its controls.
    reinterpret_cast<MINMAXINFO *>(lParam)->ptMaxTrackSize = {SHRT_MAX, SHRT_MAX};
    return 0;
  case WM_DPICHANGED: {
    // Windows suggests the frame on the new monitor; the client area is then fitted to the design.
    const RECT &suggested = *reinterpret_cast<const RECT *>(lParam);
    ::SetWindowPos(Hwnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Rescale(LOWORD(wParam));
    return 0;
  }
  case WM_PAINT: {
    win::PaintDC dc(Hwnd);
    PaintPictures(dc.get());
    return 0;
  }
  case kWriterStateMessage:
    RefreshStatus();
    ShowCounts();
    if (Shutdown && Shutdown->WriterChanged())
      ::DestroyWindow(Hwnd);
    return 0;
  case WM_CLOSE:
    if (!Started) {
      CloseAskedEarly = true;
      return 0;
    }
    if (BatchHoldsClose())
      return 0;
    // Then the pages on their way to disk.
    if (!Shutdown || Shutdown->CloseRequested())
      ::DestroyWindow(Hwnd);
    return 0;
  case WM_QUERYENDSESSION:
  case WM_ENDSESSION:
    // Windows ends the process after WM_ENDSESSION; the window ends it in order meanwhile.
    if (Shutdown && (message == WM_QUERYENDSESSION || wParam)) {
      if (Shutdown->EndSession(message == WM_ENDSESSION) && !BatchHoldsClose())
        ::DestroyWindow(Hwnd);
    } else if (Shutdown) {
      Shutdown->EndSessionCancelled();
    }
    return message == WM_QUERYENDSESSION ? TRUE : 0;
  case WM_DESTROY:
    ::KillTimer(Hwnd, kCheckTimerId);
    GuardedCall([this] { FormDestroy(); });
    ::PostQuitMessage(0);
    return 0;
  case WM_NCDESTROY:
    Window.release();
    break;
  }
  return ::DefWindowProcA(Hwnd, message, wParam, lParam);
}

// A batch still uses the window, the manager and the source: it ends in order first, and the
// close comes again once it has.
bool TfMain::BatchHoldsClose() {
  return Scanner && Scanner->DeferClose([window = Hwnd] { ::PostMessageA(window, WM_CLOSE, 0, 0); });
}

LRESULT CALLBACK TfMain::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto *self = reinterpret_cast<TfMain *>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<TfMain *>(reinterpret_cast<CREATESTRUCTA *>(lParam)->lpCreateParams);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->Hwnd = window;
    self->Window.reset(window);
  }
  if (!self)
    return ::DefWindowProcA(window, message, wParam, lParam);
  LRESULT result = 0;
  if (!GuardedCall([&] { result = self->HandleMessage(message, wParam, lParam); }))
    return message == WM_NCCREATE ? FALSE : 0;
  return result;
}
