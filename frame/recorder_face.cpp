#include "frame/recorder_face.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/units.h"

namespace orvik {

namespace {
constexpr wchar_t kFaceClass[] = L"OrvikRecorderFace";
// The skin's caption blue behind the title's dark blue.
constexpr COLORREF kFaceBack = RGB(214, 225, 242);
constexpr COLORREF kFaceText = RGB(21, 66, 139);
// Sizes drawn for 100%, in pixels at the windows' DPI.
int Margin() { return ScaledPixels(10); }
int ButtonWidth() { return ScaledPixels(84); }
int ButtonHeight() { return ScaledPixels(26); }
constexpr int kLinesShown = 10;  // the longest summary and a notice

bool RegisterFaceClass(WNDPROC proc) {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = tk::AppInstance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kFaceClass;
  registered = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return registered;
}

// The system's message font at the window's monitor's DPI.
HFONT MessageFont(HWND hwnd) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  using ForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
  using DpiOf = UINT(WINAPI*)(HWND);
  HMODULE user = GetModuleHandleW(L"user32.dll");
  auto forDpi = reinterpret_cast<ForDpi>(
      reinterpret_cast<void (*)()>(GetProcAddress(user, "SystemParametersInfoForDpi")));
  auto dpiOf = reinterpret_cast<DpiOf>(
      reinterpret_cast<void (*)()>(GetProcAddress(user, "GetDpiForWindow")));
  const bool got =
      forDpi && dpiOf ? forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpiOf(hwnd))
                      : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return got ? CreateFontIndirectW(&metrics.lfMessageFont) : nullptr;
}

int LineHeight(HWND hwnd, HFONT font) {
  tk::WindowDc dc(hwnd);
  tk::SelectGuard selected(dc.get(),
                           font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW tm{};
  GetTextMetricsW(dc.get(), &tm);
  return tm.tmHeight + tm.tmExternalLeading + ScaledPixels(4);
}
}  // namespace

RecorderFace::~RecorderFace() {
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

bool RecorderFace::Create(HWND parent) {
  if (!RegisterFaceClass(WndProc)) return false;
  back_.reset(CreateSolidBrush(kFaceBack));
  hwnd_ =
      CreateWindowExW(WS_EX_CONTROLPARENT, kFaceClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                      0, 0, 0, 0, parent, nullptr, tk::AppInstance(), this);
  if (!hwnd_) return false;
  for (int i = 0; i < kLinesShown; ++i) {
    lines_.push_back(CreateWindowExW(0, L"STATIC", L"",
                                     WS_CHILD | SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 0, 0, 0, 0,
                                     hwnd_, nullptr, tk::AppInstance(), nullptr));
  }
  static const wchar_t* const kCaptions[kCommands] = {L"播放", L"打开文件夹", L"复制路径",
                                                      L"复制文件"};
  for (int c = 0; c < kCommands; ++c) {
    commands_[c] = CreateWindowExW(
        0, L"BUTTON", kCaptions[c], WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c + 1)), tk::AppInstance(), nullptr);
    // Tab and Enter work among the commands without a dialog's message loop.
    buttonDefault_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(commands_[c], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ButtonProc)));
    SetWindowLongPtrW(commands_[c], GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  UseFontForTheScaling();
  return true;
}

// The system's message font at the window's DPI, for every line and command; again when the
// window moved to a monitor of another scaling.
void RecorderFace::UseFontForTheScaling() {
  tk::UniqueFont font(MessageFont(hwnd_));
  HFONT use = font ? font.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (HWND line : lines_) SendMessageW(line, WM_SETFONT, reinterpret_cast<WPARAM>(use), FALSE);
  for (HWND c : commands_) SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(use), FALSE);
  font_ = std::move(font);  // the old font goes once nothing uses it
  LayOut();
}

void RecorderFace::Place(int left, int top, int width, int height) {
  if (hwnd_) MoveWindow(hwnd_, left, top, std::max(width, 0), std::max(height, 0), TRUE);
}

void RecorderFace::ShowStart(const StartFacts& facts) {
  beforeCountdown_.reset();
  showsRecording_ = false;
  picture_ = nullptr;
  ShowCommands(false);
  SetLines(StartSummary(facts));
}

void RecorderFace::ShowLive(double seconds, int64_t frames) {
  beforeCountdown_.reset();
  showsRecording_ = false;
  picture_ = nullptr;
  ShowCommands(false);
  SetLines({LiveText(seconds, frames)});
}

void RecorderFace::ShowCountdown(int secondsLeft) {
  if (!beforeCountdown_) beforeCountdown_ = Shown{ShownLines(), showsRecording_, picture_};
  showsRecording_ = false;
  picture_ = nullptr;
  ShowCommands(false);
  SetLines({CountdownText(secondsLeft)});
}

void RecorderFace::ShowBeforeCountdown() {
  if (!beforeCountdown_) return;
  const Shown before = std::exchange(beforeCountdown_, std::nullopt).value();
  showsRecording_ = before.recording;
  picture_ = before.picture;
  SetLines(before.lines);
  ShowCommands(before.recording);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

std::vector<std::wstring> RecorderFace::ShownLines() const { return content_; }

void RecorderFace::SetNotice(const std::wstring& notice) {
  if (notice == notice_) return;
  notice_ = notice;
  ShowLines();
}

void RecorderFace::ShowRecording(const RecordingFacts& facts, HBITMAP picture) {
  beforeCountdown_.reset();
  showsRecording_ = true;
  picture_ = picture;
  path_ = facts.path;
  SetLines(RecordingSummary(facts));
  ShowCommands(true);
}

void RecorderFace::SetLines(const std::vector<std::wstring>& texts) {
  content_ = texts;
  ShowLines();
}

// Only what changed is set again: a live line repaints itself, nothing else.
void RecorderFace::ShowLines() {
  std::vector<std::wstring> texts = content_;
  if (!notice_.empty()) texts.push_back(notice_);
  bool layoutChanged = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const bool shown = i < texts.size();
    if (shown) {
      wchar_t now[1024] = L"";
      GetWindowTextW(lines_[i], now, 1024);
      if (texts[i] != now) SetWindowTextW(lines_[i], texts[i].c_str());
    }
    if (shown != (IsWindowVisible(lines_[i]) != FALSE)) {
      ShowWindow(lines_[i], shown ? SW_SHOWNA : SW_HIDE);
      layoutChanged = true;
    }
  }
  if (layoutChanged || showsRecording_) LayOut();
}

void RecorderFace::ShowCommands(bool show) {
  for (HWND c : commands_) {
    if ((IsWindowVisible(c) != FALSE) != show) ShowWindow(c, show ? SW_SHOWNA : SW_HIDE);
  }
}

// The picture on top (when there is one), the lines under it, the commands in a row at the end.
void RecorderFace::LayOut() {
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int width = client.right - 2 * Margin();
  const int line = LineHeight(hwnd_, font_.get());
  int shownLines = 0;
  for (HWND l : lines_) shownLines += IsWindowVisible(l) ? 1 : 0;
  int y = Margin();
  if (showsRecording_) {
    const int below = shownLines * line + ButtonHeight() + 2 * Margin();
    y = std::max(Margin(), static_cast<int>(client.bottom) - below - Margin());
  }
  for (HWND l : lines_) {
    if (!IsWindowVisible(l)) continue;
    MoveWindow(l, Margin(), y, std::max(width, 0), line, TRUE);
    y += line;
  }
  int x = Margin();
  for (HWND c : commands_) {
    MoveWindow(c, x, y + Margin(), ButtonWidth(), ButtonHeight(), TRUE);
    x += ButtonWidth() + Margin();
  }
  InvalidateRect(hwnd_, nullptr, TRUE);
}

// The picture fills what the lines and commands leave, keeping its shape, centred.
RECT RecorderFace::PictureRect() const {
  RECT client{};
  GetClientRect(hwnd_, &client);
  BITMAP bm{};
  if (!picture_ || !GetObjectW(picture_, sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight == 0)
    return RECT{};
  int top = client.bottom;
  for (HWND l : lines_) {
    if (!IsWindowVisible(l)) continue;
    RECT r{};
    GetWindowRect(l, &r);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    top = std::min(top, static_cast<int>(r.top));
  }
  const int roomW = client.right - 2 * Margin(), roomH = top - 2 * Margin();
  if (roomW <= 0 || roomH <= 0) return RECT{};
  const int bh = std::abs(bm.bmHeight);
  int w = roomW, h = static_cast<int>(static_cast<int64_t>(bh) * roomW / bm.bmWidth);
  if (h > roomH) {
    h = roomH;
    w = static_cast<int>(static_cast<int64_t>(bm.bmWidth) * roomH / bh);
  }
  const int left = (client.right - w) / 2, topAt = Margin() + (roomH - h) / 2;
  return RECT{left, topAt, left + w, topAt + h};
}

void RecorderFace::PaintPicture(HDC dc) {
  const RECT r = PictureRect();
  if (r.right <= r.left) return;
  tk::UniqueMemDc source(CreateCompatibleDC(dc));
  if (!source) return;
  tk::SelectGuard selected(source.get(), picture_);
  BITMAP bm{};
  GetObjectW(picture_, sizeof bm, &bm);
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, source.get(), 0, 0, bm.bmWidth,
             std::abs(bm.bmHeight), SRCCOPY);
}

bool RecorderFace::FocusCommands() const {
  if (!showsRecording_ || !IsWindowVisible(commands_[kPlay])) return false;
  SetFocus(commands_[kPlay]);
  return true;
}

void RecorderFace::Run(Command c) {
  switch (c) {
    case kPlay:
      Play();
      break;
    case kOpenFolder:
      OpenFolder();
      break;
    case kCopyPath:
      CopyPath();
      break;
    case kCopyFile:
      CopyTheFile();
      break;
    default:
      break;
  }
}

// The system's player for the recording's type; where none is set, the user may open the folder
// instead.
void RecorderFace::Play() {
  if (!tk::FileExists(path_)) {
    tk::MsgBox(L"找不到录像文件：\r\n" + path_, MB_OK | MB_ICONWARNING);
    return;
  }
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(hwnd_, L"open", path_.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result > 32) return;
  if (result == SE_ERR_NOASSOC || result == SE_ERR_ASSOCINCOMPLETE) {
    if (tk::MsgBox(L"没有可以播放此录像的程序。\r\n是否打开录像所在的文件夹？",
                   MB_YESNO | MB_ICONQUESTION) == IDYES)
      OpenFolder();
    return;
  }
  tk::MsgBox(L"无法播放录像：\r\n" + path_, MB_OK | MB_ICONWARNING);
}

// Explorer with the file selected.
void RecorderFace::OpenFolder() {
  const std::wstring args = L"/select,\"" + path_ + L"\"";
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(hwnd_, L"open", L"explorer.exe", args.c_str(), nullptr, SW_SHOWNORMAL));
  if (result <= 32) tk::MsgBox(L"无法打开文件夹：\r\n" + path_, MB_OK | MB_ICONWARNING);
}

namespace {
// A movable block holding a copy of `bytes` bytes; empty when the system has no memory left.
tk::UniqueGlobal GlobalCopy(const void* data, size_t bytes) {
  tk::UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, bytes));
  void* p = block ? GlobalLock(block.get()) : nullptr;
  if (!p) return tk::UniqueGlobal();
  std::memcpy(p, data, bytes);
  GlobalUnlock(block.get());
  return block;
}

// The clipboard's content becomes `blocks` (a format each), all or none; it owns those it took.
void PutOnClipboard(HWND owner, std::vector<std::pair<UINT, tk::UniqueGlobal>> blocks) {
  for (const auto& b : blocks)
    if (!b.second) return;
  if (!OpenClipboard(owner)) return;
  EmptyClipboard();
  for (auto& [format, block] : blocks) {
    if (SetClipboardData(format, block.get())) block.release();
  }
  CloseClipboard();
}
}  // namespace

void RecorderFace::CopyPath() {
  std::vector<std::pair<UINT, tk::UniqueGlobal>> blocks;
  blocks.emplace_back(CF_UNICODETEXT,
                      GlobalCopy(path_.c_str(), (path_.size() + 1) * sizeof(wchar_t)));
  PutOnClipboard(hwnd_, std::move(blocks));
}

// CF_HDROP names the file; "Preferred DropEffect" says a paste copies it rather than moves it.
void RecorderFace::CopyTheFile() {
  if (!tk::FileExists(path_)) {
    tk::MsgBox(L"找不到录像文件：\r\n" + path_, MB_OK | MB_ICONWARNING);
    return;
  }
  DROPFILES head{};
  head.pFiles = sizeof head;
  head.fWide = TRUE;
  // The list of names ends in an empty one.
  std::vector<uint8_t> drop(sizeof head + (path_.size() + 2) * sizeof(wchar_t), 0);
  std::memcpy(drop.data(), &head, sizeof head);
  std::memcpy(drop.data() + sizeof head, path_.c_str(), path_.size() * sizeof(wchar_t));
  const DWORD effect = DROPEFFECT_COPY;
  std::vector<std::pair<UINT, tk::UniqueGlobal>> blocks;
  blocks.emplace_back(CF_HDROP, GlobalCopy(drop.data(), drop.size()));
  blocks.emplace_back(RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT),
                      GlobalCopy(&effect, sizeof effect));
  PutOnClipboard(hwnd_, std::move(blocks));
}

LRESULT CALLBACK RecorderFace::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* self =
        static_cast<RecorderFace*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
  }
  auto* self = reinterpret_cast<RecorderFace*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_NCDESTROY && self) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  return self ? self->Handle(msg, wParam, lParam) : DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT RecorderFace::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT r{};
      GetClientRect(hwnd_, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, back_.get());
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      if (showsRecording_) PaintPicture(dc);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, kFaceText);
      SetBkColor(dc, kFaceBack);
      return reinterpret_cast<LRESULT>(back_.get());
    }
    case WM_SIZE:
      LayOut();
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      if (onPress) onPress();
      return 0;
    case WM_COMMAND: {
      const int id = LOWORD(wParam) - 1;
      if (HIWORD(wParam) == BN_CLICKED && id >= 0 && id < kCommands) Run(static_cast<Command>(id));
      return 0;
    }
    default:
      return DefWindowProcW(hwnd_, msg, wParam, lParam);
  }
}

LRESULT CALLBACK RecorderFace::ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<RecorderFace*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_GETDLGCODE) return DLGC_WANTALLKEYS | DLGC_BUTTON;
  if (msg == WM_KEYDOWN && (wParam == VK_TAB || wParam == VK_RETURN)) {
    const auto it = std::find(self->commands_.begin(), self->commands_.end(), hwnd);
    const int at = static_cast<int>(it - self->commands_.begin());
    if (wParam == VK_RETURN) {
      self->Run(static_cast<Command>(at));
    } else {
      const int step = GetKeyState(VK_SHIFT) < 0 ? kCommands - 1 : 1;
      SetFocus(self->commands_[(at + step) % kCommands]);
    }
    return 0;
  }
  return CallWindowProcW(self->buttonDefault_, hwnd, msg, wParam, lParam);
}

}  // namespace orvik
