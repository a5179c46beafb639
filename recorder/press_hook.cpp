#include "recorder/press_hook.h"

#include "toolkit/app.h"
#include "toolkit/handles.h"
#include "toolkit/screen.h"

namespace orvik {

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

struct PressHook::Shared {
  tk::UniqueHandle ready = tk::UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  tk::UniqueHandle ended = tk::UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<DWORD> threadId{0};
  std::atomic<bool> installed{false}, quit{false};
  std::mutex mutex;
  std::vector<PressEvent> events;
};

// The hook procedure has no context of its own: it runs on the hook's thread, which keeps its
// shared state here.
static thread_local PressHook::Shared* t_hook = nullptr;

PressHook::PressHook() : s_(std::make_shared<Shared>()) {
  if (!s_->ready || !s_->ended) return;
  thread_ = std::thread([s = s_] { Run(s); });
  tk::WaitRunningSentMessages(s_->ready.get(), kHookAnswerMs);
}

PressHook::~PressHook() {
  if (!thread_.joinable()) return;
  s_->quit = true;  // a thread that has no queue yet sees this instead
  if (const DWORD id = s_->threadId) PostThreadMessageW(id, WM_QUIT, 0, 0);
  if (tk::WaitRunningSentMessages(s_->ended.get(), kHookAnswerMs))
    thread_.join();
  else
    thread_.detach();  // it ends when it can, on memory of its own
}

bool PressHook::Installed() const { return s_->installed; }

// The hook's thread: the system calls the hook procedure from this thread's message loop.
void PressHook::Run(const std::shared_ptr<Shared>& s) {
  t_hook = s.get();
  s->threadId = GetCurrentThreadId();
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before WM_QUIT is posted
  HHOOK hook =
      s->quit ? nullptr : SetWindowsHookExW(WH_MOUSE_LL, OnMouse, GetModuleHandleW(nullptr), 0);
  s->installed = hook != nullptr;
  if (hook) ++live_;
  SetEvent(s->ready.get());
  if (hook) {
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    UnhookWindowsHookEx(hook);
    --live_;
  }
  SetEvent(s->ended.get());
}

LRESULT CALLBACK PressHook::OnMouse(int code, WPARAM message, LPARAM data) {
  PressEvent event;
  Shared* s = t_hook;
  if (code == HC_ACTION && s && PressOf(message, &event)) {
    const auto* info = reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
    event.x = info->pt.x;
    event.y = info->pt.y;
    event.time = tk::MonotonicSeconds();
    std::lock_guard<std::mutex> lock(s->mutex);
    s->events.push_back(event);
  }
  return CallNextHookEx(nullptr, code, message, data);
}

std::vector<PressEvent> PressHook::Take() {
  std::vector<PressEvent> taken;
  std::lock_guard<std::mutex> lock(s_->mutex);
  taken.swap(s_->events);
  return taken;
}

}  // namespace orvik
