// Cost of the shared window procedure per message: a window sent WM_MOUSEMOVE (the most
// frequent reported message) and an unreported message, unhooked and hooked, with the tables
// as the program has them (two entries) and grown long by repeated hooking. Also counts heap
// allocations made while messages pass through.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "hook/msghook.h"

#include "bench/alloc_counter.h"

namespace {

constexpr int kMessages = 200000;

HWND MakeWindow() {
  static const bool registered = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvikHookBench";
    return RegisterClassW(&wc) != 0;
  }();
  (void)registered;
  return CreateWindowExW(0, L"OrvikHookBench", L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
}

void Measure(const char* label, HWND w, UINT msg) {
  const long before = AllocationsSoFar();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kMessages; ++i) SendMessageW(w, msg, 0, MAKELPARAM(i & 0x3FF, 20));
  const auto ns =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start);
  std::printf("%-44s %8.0f ns/message, %ld allocations\n", label, ns.count() / kMessages,
              AllocationsSoFar() - before);
}

}  // namespace

int main() {
  HWND frame = MakeWindow();
  HWND panel = MakeWindow();
  Measure("unhooked, WM_MOUSEMOVE", frame, WM_MOUSEMOVE);
  Measure("unhooked, WM_APP", frame, WM_APP);

  auto tmsg = orvik::msghook::Create();
  long events = 0;
  tmsg->msgevent = [&](HWND, UINT, int32_t, int32_t, int32_t) { ++events; };
  tmsg->setmsghook(frame, true);
  tmsg->setmsghook(panel, true);
  Measure("hooked (2 entries), WM_MOUSEMOVE, first", frame, WM_MOUSEMOVE);
  Measure("hooked (2 entries), WM_MOUSEMOVE, second", panel, WM_MOUSEMOVE);
  Measure("hooked (2 entries), WM_APP", panel, WM_APP);

  for (int i = 0; i < 100; ++i) {
    tmsg->setmsghook(frame, false);
    tmsg->setmsghook(frame, true);
  }
  Measure("hooked (202 entries), WM_MOUSEMOVE, last", frame, WM_MOUSEMOVE);
  std::printf("events raised: %ld\n", events);

  tmsg->setmsghook(nullptr, false);
  DestroyWindow(frame);
  DestroyWindow(panel);
  return 0;
}
