#include "toolkit/window_frame.h"

#include <dwmapi.h>

#include <iterator>

namespace tk {

bool VisibleFrame(HWND window, RECT* frame) {
  // Where DWM gives no bounds (this Wine, or no composition) it never will: asked once.
  static bool dwmAnswers = true;
  if (dwmAnswers) {
    if (SUCCEEDED(DwmGetWindowAttribute(window, DWMWA_EXTENDED_FRAME_BOUNDS, frame, sizeof *frame)))
      return true;
    dwmAnswers = IsWindow(window) == FALSE;  // a gone window says nothing about DWM
  }
  return GetWindowRect(window, frame) != FALSE;
}

bool ShowsOnScreen(HWND window) {
  if (!IsWindowVisible(window) || IsIconic(window)) return false;
  DWORD cloaked = 0;
  return FAILED(DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof cloaked)) ||
         cloaked == 0;
}

std::wstring WindowTitle(HWND window) {
  wchar_t text[256] = L"";
  GetWindowTextW(window, text, static_cast<int>(std::size(text)));
  return text;
}

}  // namespace tk
