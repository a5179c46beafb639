#include "toolkit/screen.h"

#include "toolkit/units.h"

namespace tk {

namespace {

// Another program may hold the clipboard for a moment; a few short retries cover that.
bool OpenClipboardPatiently(HWND owner) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (OpenClipboard(owner)) return true;
    Sleep(2);
  }
  return false;
}

class ClipboardSession {
 public:
  explicit ClipboardSession(HWND owner = nullptr) : open_(OpenClipboardPatiently(owner)) {}
  ~ClipboardSession() {
    if (open_) CloseClipboard();
  }
  ClipboardSession(const ClipboardSession&) = delete;
  ClipboardSession& operator=(const ClipboardSession&) = delete;
  bool open() const { return open_; }

 private:
  bool open_;
};

// A user32 call newer systems have, or null.
template <typename Fn>
Fn User32Call(const char* name) {
  return reinterpret_cast<Fn>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

}  // namespace

int SystemDpi() {
  static const auto forSystem = User32Call<UINT(WINAPI*)()>("GetDpiForSystem");
  if (forSystem) return orvik::SaneDpi(static_cast<int>(forSystem()));
  const HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : orvik::kDesignDpi;
  if (screen) ReleaseDC(nullptr, screen);
  return orvik::SaneDpi(dpi);
}

int WindowDpi(HWND hwnd) {
  static const auto forWindow = User32Call<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  const UINT dpi = forWindow && hwnd ? forWindow(hwnd) : 0;
  return dpi ? orvik::SaneDpi(static_cast<int>(dpi)) : SystemDpi();
}

int SystemMetricAt(int index, int dpi) {
  static const auto forDpi = User32Call<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
  return forDpi ? forDpi(index, static_cast<UINT>(dpi)) : GetSystemMetrics(index);
}

int32_t ScreenWidthPixels() { return GetSystemMetrics(SM_CXSCREEN); }
int32_t ScreenHeightPixels() { return GetSystemMetrics(SM_CYSCREEN); }
int32_t ScreenWidthTwips() { return orvik::CInt32(ScreenWidthPixels() * orvik::TwipsPerPixel()); }
int32_t ScreenHeightTwips() { return orvik::CInt32(ScreenHeightPixels() * orvik::TwipsPerPixel()); }

float SecondsSinceMidnight() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  const double s = t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond + t.wMilliseconds / 1000.0;
  return static_cast<float>(s);
}

double MonotonicSeconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / frequency;
}

std::optional<Picture> ClipboardPicture() {
  ClipboardSession session;
  if (!session.open() || !IsClipboardFormatAvailable(CF_BITMAP)) return std::nullopt;
  // The clipboard keeps its bitmap; the caller gets a copy it owns.
  auto* bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
  Picture copy = Picture::CopyOf(bitmap);
  if (copy.empty()) return std::nullopt;
  return copy;
}

bool SetClipboardPicture(const Picture& picture) {
  if (picture.empty()) return false;
  // SetClipboardData takes the bitmap over on success, so it gets a copy of its own.
  UniqueBitmap owned(static_cast<HBITMAP>(CopyImage(picture.handle(), IMAGE_BITMAP, 0, 0, 0)));
  if (!owned) return false;
  ClipboardSession session;
  if (!session.open() || !EmptyClipboard()) return false;
  if (!SetClipboardData(CF_BITMAP, owned.get())) return false;
  owned.release();
  return true;
}

}  // namespace tk
