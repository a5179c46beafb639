// Orvik: records the screen, or a rectangle of it, into an AVI file.
#include <windows.h>

#include "frame/form1.h"
#include "frame/forms.h"
#include "toolkit/app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  tk::SetAppTitle(L"Orvik");
  if (!form1().Create()) return 1;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
