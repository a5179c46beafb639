// The frame window's first appearance: shown fully transparent, then made opaque in 256
// steps with pending messages run between them.
#include "frame/form1.h"
#include "toolkit/app.h"

namespace orvik {

// There is no timer: the fade lasts as long as 256 rounds of message processing. The window
// is first shown, and so first laid out, here; commands that arrive during the rounds wait
// for the end of the load (see WhenLoaded and Form_Unload).
void Form1::FadeInWindow(HWND window) {
  const LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
  SetWindowLongPtrW(window, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
  SetLayeredWindowAttributes(window, 0, 0, LWA_ALPHA);
  Show();
  for (int alpha = 0; alpha <= 255; ++alpha) {
    tk::DoEvents();
    if (!IsWindow(window)) return;
    SetLayeredWindowAttributes(window, 0, static_cast<BYTE>(alpha), LWA_ALPHA);
  }
  SetWindowLongPtrW(window, GWL_EXSTYLE, exStyle);
}

}  // namespace orvik
