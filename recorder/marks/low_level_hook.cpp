#include "recorder/marks/low_level_hook.h"

#include "toolkit/app.h"

namespace orvik {

static thread_local LowLevelHook::Shared* t_hook = nullptr;

namespace {
std::function<bool()> Signalled(HANDLE event) {
  return [event] { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; };
}
}  // namespace

LowLevelHook::LowLevelHook(int kind, HOOKPROC proc, std::shared_ptr<Shared> shared,
                           std::atomic<int>* live)
    : s_(std::move(shared)) {
  if (!s_->ready || !s_->ended) return;
  thread_ = std::thread([kind, proc, s = s_, live] { Run(kind, proc, s, live); });
  tk::WaitUntil(Signalled(s_->ready.get()), kHookAnswerSeconds);
}

LowLevelHook::~LowLevelHook() {
  if (!thread_.joinable()) return;
  s_->quit = true;  // a thread that has no queue yet sees this instead
  if (const DWORD id = s_->threadId) PostThreadMessageW(id, WM_QUIT, 0, 0);
  if (tk::WaitUntil(Signalled(s_->ended.get()), kHookAnswerSeconds))
    thread_.join();
  else
    thread_.detach();  // it ends when it can, on memory of its own
}

LowLevelHook::Shared* LowLevelHook::Current() { return t_hook; }

// The hook's thread: the system calls the hook procedure from this thread's message loop.
void LowLevelHook::Run(int kind, HOOKPROC proc, const std::shared_ptr<Shared>& s,
                       std::atomic<int>* live) {
  t_hook = s.get();
  s->threadId = GetCurrentThreadId();
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before WM_QUIT is posted
  HHOOK hook = s->quit ? nullptr : SetWindowsHookExW(kind, proc, GetModuleHandleW(nullptr), 0);
  s->installed = hook != nullptr;
  if (hook) ++*live;
  SetEvent(s->ready.get());
  if (hook) {
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    UnhookWindowsHookEx(hook);
    --*live;
  }
  SetEvent(s->ended.get());
}

}  // namespace orvik
