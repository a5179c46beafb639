#include "toolkit/timer.h"

#include <windows.h>
#include <mmsystem.h>

#include <mutex>
#include <unordered_map>

#include "toolkit/app.h"
#include "toolkit/window_util.h"

namespace tk {

namespace {

constexpr wchar_t kSinkClass[] = L"OrvikTimerSink";
constexpr UINT kTickMessage = WM_APP + 1;

// What the multimedia timer thread may touch: per armed timer, whether a tick is already
// waiting in the queue. Guarded by a mutex because that thread is not the GUI thread.
struct PendingTicks {
  std::mutex lock;
  std::unordered_map<uint32_t, bool> waiting;  // timer id -> a tick is queued
  HWND sink = nullptr;
};

PendingTicks& Pending() {
  static PendingTicks* p = new PendingTicks;  // outlives static destruction: the timer
  return *p;                                  // thread may still call in at exit
}

std::unordered_map<uint32_t, Timer*>& Timers() {
  static std::unordered_map<uint32_t, Timer*> timers;
  return timers;
}

uint32_t NewTimerId() {
  static uint32_t next = 1;
  return next++;
}

// WPARAM carries the timer id, LPARAM the arming generation.
void CALLBACK OnMultimediaTick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  const auto id = static_cast<uint32_t>(user >> 32);
  const auto generation = static_cast<uint32_t>(user);
  PendingTicks& p = Pending();
  std::lock_guard<std::mutex> guard(p.lock);
  auto it = p.waiting.find(id);
  if (it == p.waiting.end() || it->second) return;
  if (PostMessageW(p.sink, kTickMessage, id, generation)) it->second = true;
}

}  // namespace

struct TimerSink {
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != kTickMessage) return DefWindowProcW(hwnd, msg, wParam, lParam);
    const auto id = static_cast<uint32_t>(wParam);
    auto it = Timers().find(id);
    if (it != Timers().end()) {
      it->second->Tick(static_cast<uint32_t>(lParam));
    }
    return 0;
  }

  static HWND Get() {
    PendingTicks& p = Pending();
    if (p.sink) return p.sink;
    if (!detail::RegisterClassOnce(kSinkClass, WndProc, 0, nullptr)) return nullptr;
    HWND sink = CreateWindowExW(0, kSinkClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                AppInstance(), nullptr);
    std::lock_guard<std::mutex> guard(p.lock);
    p.sink = sink;
    return sink;
  }
};

Timer::Timer() : id_(NewTimerId()) { Timers()[id_] = this; }

Timer::~Timer() {
  if (destroyed_) *destroyed_ = true;
  Disarm();
  Timers().erase(id_);
}

void Timer::SetInterval(uint32_t ms) {
  interval_ = ms;
  Rearm();
}

void Timer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Rearm();
}

void Timer::Disarm() {
  if (mmTimer_) {
    timeKillEvent(mmTimer_);
    mmTimer_ = 0;
  }
  PendingTicks& p = Pending();
  std::lock_guard<std::mutex> guard(p.lock);
  p.waiting.erase(id_);
}

void Timer::Rearm() { Arm(interval_, TIME_PERIODIC); }

void Timer::DelayNextTick(uint32_t ms) {
  if (Armed() && ms > interval_) Arm(ms, TIME_ONESHOT);
}

void Timer::Arm(uint32_t ms, unsigned kind) {
  Disarm();
  ++generation_;  // a tick of the old arming that is still queued is ignored
  delayed_ = false;
  if (!Armed() || !TimerSink::Get()) return;
  {
    PendingTicks& p = Pending();
    std::lock_guard<std::mutex> guard(p.lock);
    p.waiting[id_] = false;
  }
  const DWORD_PTR user = (static_cast<DWORD_PTR>(id_) << 32) | generation_;
  mmTimer_ = timeSetEvent(ms, 1, OnMultimediaTick, user,
                          kind | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
  delayed_ = kind == TIME_ONESHOT && mmTimer_ != 0;
}

void Timer::Tick(uint32_t generation) {
  if (generation != generation_ || !Armed()) return;
  if (delayed_) {
    // The held-back tick has come: from here on the timer ticks at its interval again.
    Rearm();
    generation = generation_;
  }
  if (ticking_) {
    // The handler let messages run and its own next tick came up: drop it.
    ReleasePending();
    return;
  }
  bool destroyed = false;
  destroyed_ = &destroyed;
  ticking_ = true;
  detail::Guarded([&] {
    if (onTimer) onTimer();
  });
  if (destroyed) return;
  ticking_ = false;
  destroyed_ = nullptr;
  // Only now may the next tick be queued, so a slow handler never finds one waiting. A
  // handler that rearmed the timer started a fresh count already.
  if (generation == generation_) ReleasePending();
}

void Timer::ReleasePending() {
  PendingTicks& p = Pending();
  std::lock_guard<std::mutex> guard(p.lock);
  auto it = p.waiting.find(id_);
  if (it != p.waiting.end()) it->second = false;
}

}  // namespace tk
