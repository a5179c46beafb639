#pragma once
// Recording time and frame slots. The stream plays at the recording's frame rate, so at 10
// frames per second frame i stands for recording time i x 100 ms; a tick writes its frame into
// the slot it falls in, at most one frame per slot, and slots no tick reached stay empty
// (players hold the previous frame). Recording time is monotonic time since start minus the
// paused spans: the one clock of a recording. No <windows.h>.
#include <cstdint>
#include <mutex>
#include <optional>

#include "recorder/file/slot.h"

namespace orvik {

// Frames per second of a recording unless the user picks another rate.
constexpr int kDefaultFrameRate = 10;

class RecordingClock {
 public:
  // `framesPerSecond` is clamped to 1..60.
  explicit RecordingClock(int framesPerSecond = kDefaultFrameRate);

  int FrameRate() const { return framesPerSecond_; }
  double SlotSeconds() const { return 1.0 / framesPerSecond_; }

  void Start(double now);
  void Pause(double now);
  void Resume(double now);
  bool Running() const { return started_ && !paused_; }
  bool Paused() const { return paused_; }
  // The `now` the recording was started at.
  double StartedAt() const { return start_; }

  // Seconds of recording time at `now` (paused spans left out; frozen while paused).
  double Elapsed(double now) const;
  // The slot `now` falls in: floor(Elapsed / slot length).
  int64_t SlotAt(double now) const;

  // The slot a frame captured at `now` goes to; none when that slot already has its frame (or
  // lies past the last slot a file can index). Marks the slot as written.
  std::optional<Slot> ClaimSlot(double now);
  // Recording seconds at which the slot after the last claimed one begins.
  double NextSlotStart() const { return static_cast<double>(lastSlot_ + 1) / framesPerSecond_; }

 private:
  int framesPerSecond_;
  double start_ = 0;
  double pausedTotal_ = 0;
  double pauseStart_ = 0;
  bool started_ = false;
  bool paused_ = false;
  int64_t lastSlot_ = -1;
};

// The recording clock as several threads read it: the capture ticks claim slots on the GUI
// thread while the sound's threads place their packets by the recording time.
class SharedClock {
 public:
  explicit SharedClock(int framesPerSecond = kDefaultFrameRate) : clock_(framesPerSecond) {}
  // A new clock at this rate (the recording's); not started.
  void Reset(int framesPerSecond);

  int FrameRate() const;
  void Start(double now);
  void Pause(double now);
  void Resume(double now);
  bool Paused() const;
  double StartedAt() const;
  double Elapsed(double now) const;
  std::optional<Slot> ClaimSlot(double now);
  double NextSlotStart() const;
  // Recording time at `now` while the recording runs; none before its start and while paused.
  std::optional<double> RunningTime(double now) const;

 private:
  mutable std::mutex mutex_;
  RecordingClock clock_;
};

}  // namespace orvik
