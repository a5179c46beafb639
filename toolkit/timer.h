#pragma once
// Timers with a millisecond interval whose ticks run on the GUI thread.
//
// A timer ticks while Interval is not 0 and Enabled is true; a new Timer has Interval 0 and
// Enabled true, so it is silent until given an interval. Setting Interval (even to the
// same value) restarts the period; switching Enabled on starts a new period.
//
// The period is kept by a multimedia timer (timeSetEvent), because window timers do not go
// below about 10 ms and an interval of 1 must tick as fast as the system allows. The
// multimedia timer only posts a message to a hidden window of the GUI thread; at most one
// tick per timer waits in the queue, so a slow handler never piles ticks up or starves
// input. A tick that arrives while the same timer's handler is still running (it let
// pending messages run) is dropped instead of nesting.
#include <cstdint>
#include <functional>

namespace tk {

class Timer {
 public:
  Timer();
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  uint32_t Interval() const { return interval_; }
  void SetInterval(uint32_t ms);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // True while the timer is set to tick (Interval not 0 and Enabled).
  bool Armed() const { return interval_ != 0 && enabled_; }
  // Holds the next tick back for `ms` milliseconds, after which the timer ticks at its
  // interval again. Interval and Enabled stay as they are; setting either ends the hold.
  // For a handler that knows nothing is due for a while: a 1 ms timer would otherwise wake
  // the GUI thread hundreds of times a second for nothing.
  void DelayNextTick(uint32_t ms);

  std::function<void()> onTimer;

 private:
  friend struct TimerSink;
  void Rearm();
  // Replaces whatever is armed by an event of `kind` (periodic or one-shot) after `ms`.
  void Arm(uint32_t ms, unsigned kind);
  void Disarm();
  void Tick(uint32_t generation);
  void ReleasePending();

  uint32_t id_;
  uint32_t interval_ = 0;
  bool enabled_ = true;
  unsigned mmTimer_ = 0;
  uint32_t generation_ = 0;  // tells ticks of an earlier arming apart
  bool ticking_ = false;
  bool delayed_ = false;       // the armed event is the one-shot of DelayNextTick
  bool* destroyed_ = nullptr;  // set while a tick runs, so a handler may delete its timer
};

}  // namespace tk
