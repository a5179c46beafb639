#pragma once
// A low-level hook (mouse or keyboard) on a thread of its own: it answers each event at once,
// whatever the capture is doing on the GUI thread, so the user's input never waits for a
// recording. Making and ending it waits for its thread at most kHookAnswerSeconds (letting sent
// messages run); a thread that does not answer is left behind with what it uses.
#include <windows.h>

#include <atomic>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "recorder/marks/latest_events.h"
#include "toolkit/handles.h"

namespace orvik {

constexpr double kHookAnswerSeconds = 2;

class LowLevelHook {
 public:
  // What the hook's thread shares with its owner; the thread keeps it alive as long as it runs.
  struct Shared {
    virtual ~Shared() = default;
    tk::UniqueHandle ready = tk::UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    tk::UniqueHandle ended = tk::UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<DWORD> threadId{0};
    std::atomic<bool> installed{false}, quit{false};
  };

  // Installs a hook of `kind` (WH_MOUSE_LL, WH_KEYBOARD_LL) calling `proc` on a new thread;
  // `live` counts the hooks of its kind held right now.
  LowLevelHook(int kind, HOOKPROC proc, std::shared_ptr<Shared> shared, std::atomic<int>* live);
  // Removes the hook and ends its thread.
  ~LowLevelHook();
  LowLevelHook(const LowLevelHook&) = delete;
  LowLevelHook& operator=(const LowLevelHook&) = delete;

  bool Installed() const { return s_->installed; }
  // The shared state of the hook whose procedure runs on this thread (the procedure has no
  // context of its own); null on other threads.
  static Shared* Current();

 private:
  static void Run(int kind, HOOKPROC proc, const std::shared_ptr<Shared>& s,
                  std::atomic<int>* live);
  std::shared_ptr<Shared> s_;
  std::thread thread_;
};

// The events a hook's procedure queues for the thread that takes them (the newest only, see
// LatestEvents).
template <class Event>
struct HookEvents : LowLevelHook::Shared {
  void Push(const Event& event) { events.Push(event); }
  // The events since the last call, in the order they came.
  std::vector<Event> Take() { return events.Take(); }
  // The events of the hook running on this thread, or null.
  static HookEvents* Current() { return static_cast<HookEvents*>(LowLevelHook::Current()); }

  LatestEvents<Event> events;
};

// A hook whose procedure queues events of one kind for its owner to take.
template <class Event>
class EventHook {
 public:
  EventHook(int kind, HOOKPROC proc)
      : events_(std::make_shared<HookEvents<Event>>()), hook_(kind, proc, events_, &live_) {}
  // Whether the system took the hook.
  bool Installed() const { return hook_.Installed(); }
  // The events since the last call, in the order they came.
  std::vector<Event> Take() { return events_->Take(); }
  // How many hooks of this kind the process holds right now.
  static int Live() { return live_.load(); }

 private:
  std::shared_ptr<HookEvents<Event>> events_;
  LowLevelHook hook_;  // ended before the events it fills go
  static inline std::atomic<int> live_{0};
};

}  // namespace orvik
