#include "bugreport/win32/form_exception.h"

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "bugreport/exception_capture.h"
#include "bugreport/report_post.h"
#include "bugreport/report_store.h"
#include "bugreport/win32/png_codec.h"
#include "ui/win32/win32_dialogs.h"
#include "xml/xml_document.h"

namespace zephron::bugreport::win32 {
namespace {

using ui::win32::WideText;

constexpr UINT_PTR kResumeTimer = 1;
constexpr UINT_PTR kMouseSubclass = 1;
constexpr wchar_t kScrollBoxClass[] = L"ZephronScrollBox";
// The narrowest either side of the splitter may be dragged to.
constexpr int kMinSideWidth = 60;
constexpr int kSplitterWidth = 3;
constexpr int kPanel1Height = 116;
constexpr int kPanel3Width = 335;
constexpr int kCommentHeight = 111;
constexpr int kStatusHeight = 19;
constexpr COLORREF kMaroon = RGB(128, 0, 0);

// The edit controls want CR LF line ends.
std::wstring WithCrLf(const std::string& text) {
  std::wstring wide = WideText(text);
  std::wstring result;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] == L'\n' && (i == 0 || wide[i - 1] != L'\r')) result += L'\r';
    result += wide[i];
  }
  return result;
}

LRESULT CALLBACK MouseMoveProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR form) {
  if (message == WM_MOUSEMOVE) reinterpret_cast<TformException*>(form)->eContentsMouseMove();
  return DefSubclassProc(window, message, wParam, lParam);
}

// The scroll box: the picture in its window's GWLP_USERDATA (an HBITMAP),
// scrolled by its bars.
void UpdateScrollBars(HWND box) {
  auto picture = reinterpret_cast<HBITMAP>(GetWindowLongPtrW(box, GWLP_USERDATA));
  BITMAP bitmap{};
  if (picture) GetObjectW(picture, sizeof bitmap, &bitmap);
  RECT client{};
  GetClientRect(box, &client);
  SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE, 0, 0, 0, 0, 0};
  info.nMax = bitmap.bmWidth > 0 ? bitmap.bmWidth - 1 : 0;
  info.nPage = static_cast<UINT>(client.right);
  SetScrollInfo(box, SB_HORZ, &info, TRUE);
  info.nMax = bitmap.bmHeight > 0 ? bitmap.bmHeight - 1 : 0;
  info.nPage = static_cast<UINT>(client.bottom);
  SetScrollInfo(box, SB_VERT, &info, TRUE);
}

void Scroll(HWND box, int bar, WPARAM request) {
  SCROLLINFO info{sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
  GetScrollInfo(box, bar, &info);
  int position = info.nPos;
  switch (LOWORD(request)) {
    case SB_LINEUP: position -= 16; break;
    case SB_LINEDOWN: position += 16; break;
    case SB_PAGEUP: position -= static_cast<int>(info.nPage); break;
    case SB_PAGEDOWN: position += static_cast<int>(info.nPage); break;
    case SB_THUMBTRACK: case SB_THUMBPOSITION: position = info.nTrackPos; break;
    default: return;
  }
  info.fMask = SIF_POS;
  info.nPos = position;
  SetScrollInfo(box, bar, &info, TRUE);
  InvalidateRect(box, nullptr, TRUE);
}

LRESULT CALLBACK ScrollBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      UpdateScrollBars(box);
      return 0;
    case WM_HSCROLL:
      Scroll(box, SB_HORZ, wParam);
      return 0;
    case WM_VSCROLL:
      Scroll(box, SB_VERT, wParam);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(box, &paint);
      if (auto picture = reinterpret_cast<HBITMAP>(GetWindowLongPtrW(box, GWLP_USERDATA))) {
        BITMAP bitmap{};
        GetObjectW(picture, sizeof bitmap, &bitmap);
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, picture);
        BitBlt(dc, -GetScrollPos(box, SB_HORZ), -GetScrollPos(box, SB_VERT), bitmap.bmWidth, bitmap.bmHeight, memory,
               0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
      }
      EndPaint(box, &paint);
      return 0;
    }
    default:
      return DefWindowProcW(box, message, wParam, lParam);
  }
}

void RegisterScrollBox() {
  static const bool registered = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &ScrollBoxProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kScrollBoxClass;
    return RegisterClassW(&windowClass) != 0;
  }();
  (void)registered;
}

// Runs at the end of its scope, however the scope is left.
struct Finally {
  std::function<void()> work;
  ~Finally() { work(); }
};

}  // namespace

TformException::TformException()
    : Form(WideText(texts::kCaption), WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN, kWidth, kHeight),
      ServerURL(BugReportServer()) {}

TformException::~TformException() {
  if (hwnd_) KillTimer(hwnd_, kResumeTimer);
  if (hwnd_) RemovePropW(hwnd_, kWindowMark);
  if (picture_) DeleteObject(picture_);
  if (fixedFont_) DeleteObject(fixedFont_);
}

void TformException::BindMouseMove(HWND control) {
  SetWindowSubclass(control, &MouseMoveProc, kMouseSubclass, reinterpret_cast<DWORD_PTR>(this));
}

void TformException::Build() {
  RegisterScrollBox();
  SetPropW(hwnd_, kWindowMark, reinterpret_cast<HANDLE>(1));
  LOGFONTW face{};
  GetObjectW(ui::win32::DialogFont(), sizeof face, &face);
  face.lfWidth = 0;
  face.lfWeight = FW_NORMAL;
  face.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  lstrcpynW(face.lfFaceName, L"Courier New", LF_FACESIZE);
  fixedFont_ = CreateFontIndirectW(&face);
  constexpr DWORD kMemo = ES_MULTILINE | ES_AUTOHSCROLL | ES_AUTOVSCROLL | WS_HSCROLL | WS_VSCROLL | WS_TABSTOP;
  AddControl(WC_BUTTONW, L"Contents", BS_GROUPBOX, kContentsGroup, 0, 0, 10, 10);
  AddControl(WC_EDITW, WithCrLf(Contents), kMemo | ES_READONLY, kContents, 0, 0, 10, 10, WS_EX_CLIENTEDGE,
             fixedFont_);
  AddControl(WC_BUTTONW, L"User comment", BS_GROUPBOX, kCommentGroup, 0, 0, 10, 10);
  AddControl(WC_EDITW, L"", kMemo | ES_WANTRETURN, kComment, 0, 0, 10, 10, WS_EX_CLIENTEDGE, fixedFont_);
  AddControl(WC_STATICW, L"", 0, kSplitter, 0, 0, 10, 10);
  AddControl(WC_BUTTONW, L"Screenshot", BS_GROUPBOX, kScreenshotGroup, 0, 0, 10, 10);
  AddControl(kScrollBoxClass, L"", WS_HSCROLL | WS_VSCROLL, kScrollBox, 0, 0, 10, 10, WS_EX_CLIENTEDGE);
  AddControl(WC_STATICW, WideText(texts::kExplanation), SS_LEFT, kExplanation, 0, 0, 10, 10);
  AddControl(WC_BUTTONW, WideText(texts::kAllowReport), BS_AUTOCHECKBOX | WS_TABSTOP, kAllowReport, 0, 0, 10, 10);
  AddControl(WC_BUTTONW, WideText(texts::kAllowScreenshot), BS_AUTOCHECKBOX | WS_TABSTOP, kAllowScreenshot, 0, 0,
             10, 10);
  AddControl(WC_STATICW, L"", SS_LEFT, kResuming, 0, 0, 10, 10);
  AddControl(WC_BUTTONW, WideText(texts::kContinue), BS_DEFPUSHBUTTON | WS_TABSTOP, kContinue, 0, 0, 10, 10);
  AddControl(WC_BUTTONW, WideText(texts::kShutdown), BS_PUSHBUTTON | WS_TABSTOP, kShutdown, 0, 0, 10, 10);
  AddControl(STATUSCLASSNAMEW, L"", CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER, kStatusBar, 0, 0, 10, 10);
  // The static texts let the mouse through to the window, which binds them by their place.
  for (const int id : {kContentsGroup, kContents, kCommentGroup, kComment, kScrollBox, kAllowReport,
                       kAllowScreenshot, kContinue}) {
    BindMouseMove(Item(id));
  }

  CheckDlgButton(hwnd_, kAllowReport, InitialAllowReport ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(hwnd_, kAllowScreenshot, InitialAllowScreenshot ? BST_CHECKED : BST_UNCHECKED);
  ShowScreenshot(ReplacementReport.empty() && exceptIntf ? exceptIntf->GetScreenShot() : nullptr);
  UpdateScreenshotOption();
  Arrange();
  FormCreate();
  SetFocus(Item(kContinue));
}

void TformException::FormCreate() {
  ResumeIn = kResumeSeconds;
  // The window is never made so small that "Continue" is cut off.
  const RECT corner = ui::win32::ChildRect(Item(kContinue));
  RECT frame{}, client{};
  GetWindowRect(hwnd_, &frame);
  GetClientRect(hwnd_, &client);
  minimum_.cx = std::max<LONG>(kMinWidth, corner.right + (frame.right - frame.left) - client.right);
  minimum_.cy = std::max<LONG>(kMinHeight, corner.bottom + (frame.bottom - frame.top) - client.bottom);
  if (frame.right - frame.left < minimum_.cx || frame.bottom - frame.top < minimum_.cy) {
    SetWindowPos(hwnd_, nullptr, 0, 0, std::max(frame.right - frame.left, minimum_.cx),
                 std::max(frame.bottom - frame.top, minimum_.cy), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ui::win32::CentreOnWorkArea(hwnd_);
  }
  timerActive_ = SetTimer(hwnd_, kResumeTimer, 1000, nullptr) != 0;
}

void TformException::Arrange() {
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int width = client.right;
  const int top = std::max(0, static_cast<int>(client.bottom) - kPanel1Height - kStatusHeight);
  const int leftWidth = showScreenshot_ ? std::min(leftWidth_, width) : width;
  const auto place = [this](int id, int left, int y, int w, int h) {
    MoveWindow(Item(id), left, y, std::max(w, 0), std::max(h, 0), TRUE);
  };
  place(kContentsGroup, 0, 0, leftWidth, top);
  place(kCommentGroup, 8, top - kCommentHeight - 6, leftWidth - 16, kCommentHeight);
  place(kComment, 16, top - kCommentHeight + 12, leftWidth - 32, kCommentHeight - 26);
  place(kContents, 8, 18, leftWidth - 16, top - kCommentHeight - 30);
  place(kSplitter, leftWidth, 0, kSplitterWidth, top);
  const int right = leftWidth + kSplitterWidth;
  place(kScreenshotGroup, right, 0, width - right, top);
  place(kScrollBox, right + 8, 18, width - right - 16, top - 26);
  const int panel3 = width - kPanel3Width;
  place(kExplanation, 8, top + 8, panel3 - 16, kPanel1Height - 16);
  place(kAllowReport, panel3 + 8, top + 8, kPanel3Width - 16, 20);
  place(kAllowScreenshot, panel3 + 8, top + 30, kPanel3Width - 16, 20);
  place(kResuming, panel3 + 8, top + 58, kPanel3Width - 16, 18);
  place(kContinue, panel3 + 8, top + 80, 150, 28);
  place(kShutdown, panel3 + 166, top + 80, 150, 28);
  place(kStatusBar, 0, top + kPanel1Height, width, kStatusHeight);
  for (const int id : {kSplitter, kScreenshotGroup, kScrollBox}) ShowWindow(Item(id), showScreenshot_ ? SW_SHOW : SW_HIDE);
}

bool TformException::OnSplitter(POINT at) const {
  const RECT splitter = ui::win32::ChildRect(Item(kSplitter));
  return PtInRect(&splitter, at) != FALSE;
}

void TformException::ShowScreenshot(const TScreenshot* screenshot) {
  showScreenshot_ = screenshot != nullptr;
  if (!screenshot) return;
  // A picture the system cannot read leaves the box empty, at the screenshot's size.
  picture_ = DecodePng(screenshot->Png(), pictureSize_);
  SetWindowLongPtrW(Item(kScrollBox), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(picture_));
  UpdateScrollBars(Item(kScrollBox));
}

bool TformException::Checked(int id) const { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }

void TformException::timResumeTimer() {
  SetWindowTextW(Item(kResuming), WideText(ResumingText(ResumeIn)).c_str());
  const int before = ResumeIn--;
  if (before == 1) {
    KillTimer(hwnd_, kResumeTimer);
    timerActive_ = false;
    SendMessageW(Item(kContinue), BM_CLICK, 0, 0);
  }
}

void TformException::eContentsMouseMove() {
  KillTimer(hwnd_, kResumeTimer);
  timerActive_ = false;
  ShowWindow(Item(kResuming), SW_HIDE);
}

void TformException::cbAllowReportClick() { UpdateScreenshotOption(); }

void TformException::UpdateScreenshotOption() {
  EnableWindow(Item(kAllowScreenshot), ScreenshotChoiceOpen(Checked(kAllowReport), exceptIntf.get(), ReplacementReport));
  if (!Checked(kAllowReport)) CheckDlgButton(hwnd_, kAllowScreenshot, BST_UNCHECKED);
}

std::unique_ptr<TxmlDocument> TformException::BuildReportRequest() {
  return bugreport::BuildReportRequest(exceptIntf.get(), ReplacementReport, Checked(kAllowScreenshot),
                                       ui::win32::WindowText(Item(kComment)));
}

void TformException::bContinueClick() {
  // The window closes with OK once "Continue" has run, also when building
  // the request failed and that failure goes on to the program's handler.
  const Finally closing{[this] { CloseWithOk(); }};
  EnableWindow(Item(kContinue), FALSE);
  if (!Checked(kAllowReport)) return;
  SendMessageW(Item(kStatusBar), SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(WideText(texts::kSending).c_str()));
  UpdateWindow(Item(kStatusBar));
  const std::optional<std::string> failure = DeliverReportRequest(BuildReportRequest(), ServerURL);
  if (failure) ui::win32::Win32Dialogs(hwnd_).MessageBox(*failure, ui::MessageKind::Warning, ui::MessageButtons::Ok);
}

void TformException::CloseWithOk() {
  ModalResult = IDOK;
  FinalAllowReport = Checked(kAllowReport);
  FinalAllowScreenshot = Checked(kAllowScreenshot);
  End(IDOK);
}

void TformException::bShutdownClick() { CloseApplication(); }

bool TformException::Command(int id, int code) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case kAllowReport:
      cbAllowReportClick();
      return true;
    case IDOK:  // Enter
    case kContinue:
      // Nothing may leave the dialog procedure: a failure while building
      // the request goes to the program's handler from here.
      try {
        bContinueClick();
      } catch (...) {
        ReportException(std::current_exception());
      }
      return true;
    case kShutdown:
      bShutdownClick();
    case IDCANCEL:  // the close box and Escape: the window closes by its buttons only
      return true;
    default:
      return false;
  }
}

bool TformException::Message(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  switch (message) {
    case WM_TIMER:
      if (wParam != kResumeTimer) return false;
      timResumeTimer();
      return true;
    case WM_SIZE:
      Arrange();
      return true;
    case WM_GETMINMAXINFO:
      reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{minimum_.cx, minimum_.cy};
      return true;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) != Item(kSplitter)) return false;
      {
        static HBRUSH maroon = CreateSolidBrush(kMaroon);
        result = reinterpret_cast<INT_PTR>(maroon);
      }
      return true;
    case WM_SETCURSOR: {
      // The splitter lets the mouse through (a static text): its place shows the sizing cursor.
      POINT at{};
      GetCursorPos(&at);
      ScreenToClient(hwnd_, &at);
      if (!showScreenshot_ || (!dragging_ && !OnSplitter(at))) return false;
      SetCursor(LoadCursorW(nullptr, IDC_SIZEWE));
      result = TRUE;
      return true;
    }
    case WM_LBUTTONDOWN: {
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (!showScreenshot_ || !OnSplitter(at)) return false;
      dragging_ = true;
      dragOffset_ = at.x - leftWidth_;
      SetCapture(hwnd_);
      return true;
    }
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (!dragging_) return false;
      dragging_ = false;
      if (message == WM_LBUTTONUP) ReleaseCapture();
      return true;
    case WM_MOUSEMOVE: {
      if (dragging_) {
        RECT client{};
        GetClientRect(hwnd_, &client);
        const int x = static_cast<short>(LOWORD(lParam)) - dragOffset_;
        const int widest = std::max<int>(kMinSideWidth, client.right - kSplitterWidth - kMinSideWidth);
        leftWidth_ = std::clamp(x, kMinSideWidth, widest);
        Arrange();
        return true;
      }
      // Over the window itself: the contents' group and the bottom panel
      // (its texts let the mouse through) are bound, the rest is not.
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      const RECT contents = ui::win32::ChildRect(Item(kContentsGroup));
      RECT client{};
      GetClientRect(hwnd_, &client);
      const RECT panel1{0, client.bottom - kPanel1Height - kStatusHeight, client.right, client.bottom - kStatusHeight};
      if (PtInRect(&contents, at) || PtInRect(&panel1, at)) eContentsMouseMove();
      return false;
    }
    default:
      return false;
  }
}

void ShowReportDialog(const TExceptionReportPtr& report, bool& handled, const std::string& replacement) {
  TformException form;
  form.Contents = !replacement.empty() ? replacement : report->GetBugReport();
  if (report->GetAutoSave()) SaveBugReport(report->GetBugReport());
  form.InitialAllowReport = RememberedAllowReport();
  form.InitialAllowScreenshot = RememberedAllowScreenshot();
  form.exceptIntf = report;
  form.ReplacementReport = replacement;
  form.RunModal(GetActiveWindow());
  RememberedAllowReport() = form.FinalAllowReport;
  RememberedAllowScreenshot() = form.FinalAllowScreenshot;
  handled = true;
}

}  // namespace zephron::bugreport::win32
