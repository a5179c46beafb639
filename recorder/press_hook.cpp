#include "recorder/press_hook.h"

#include "toolkit/handles.h"
#include "toolkit/screen.h"

namespace orvik {

std::atomic<PressHook*> PressHook::current_{nullptr};
std::atomic<int> PressHook::live_{0};

namespace {
// The button and direction of a mouse message; false for moves and wheels.
bool PressOf(WPARAM message, PressEvent* event) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      event->button = PressButton::Left;
      event->down = message == WM_LBUTTONDOWN;
      return true;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      event->button = PressButton::Right;
      event->down = message == WM_RBUTTONDOWN;
      return true;
    default:
      return false;
  }
}
}  // namespace

PressHook::PressHook() {
  tk::UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!ready) return;
  current_.store(this);
  thread_ = std::thread([this, event = ready.get()] { Run(event); });
  WaitForSingleObject(ready.get(), INFINITE);
}

PressHook::~PressHook() {
  if (thread_.joinable()) {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
  }
  PressHook* self = this;
  current_.compare_exchange_strong(self, nullptr);
}

// The hook's thread: the system calls the hook procedure from this thread's message loop.
void PressHook::Run(HANDLE ready) {
  threadId_ = GetCurrentThreadId();
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before WM_QUIT is posted
  HHOOK hook = SetWindowsHookExW(WH_MOUSE_LL, OnMouse, GetModuleHandleW(nullptr), 0);
  installed_ = hook != nullptr;
  if (installed_) ++live_;
  SetEvent(ready);
  if (!hook) return;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  UnhookWindowsHookEx(hook);
  --live_;
}

LRESULT CALLBACK PressHook::OnMouse(int code, WPARAM message, LPARAM data) {
  PressEvent event;
  PressHook* hook = current_.load();
  if (code == HC_ACTION && hook && PressOf(message, &event)) {
    const auto* info = reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
    event.x = info->pt.x;
    event.y = info->pt.y;
    event.time = tk::MonotonicSeconds();
    hook->Keep(event);
  }
  return CallNextHookEx(nullptr, code, message, data);
}

void PressHook::Keep(const PressEvent& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back(event);
}

std::vector<PressEvent> PressHook::Take() {
  std::vector<PressEvent> taken;
  std::lock_guard<std::mutex> lock(mutex_);
  taken.swap(events_);
  return taken;
}

}  // namespace orvik
