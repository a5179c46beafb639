#pragma once
// The countdown before a recording's first frame: which digit shows at which moment. No
// <windows.h>.

namespace orvik {

// One countdown of whole seconds from a start moment (seconds on any monotonic clock). The
// digits leave the screen a little before the end, so that what lay under them is painted again
// by the time the first frame is taken.
class CountdownTimeline {
 public:
  // Time for the windows under the digits to repaint: a few frames of a busy screen.
  static constexpr double kClearBeforeEnd = 0.2;

  CountdownTimeline(int seconds, double start) : seconds_(seconds), start_(start) {}

  // The digit on the screen at `now`: the whole seconds left, rounded up (3, 2, 1); 0 once the
  // digits are off the screen.
  int DigitAt(double now) const;
  // True from the end on: the first frame may be taken.
  bool Over(double now) const { return now >= EndsAt(); }
  double EndsAt() const { return start_ + seconds_; }

 private:
  int seconds_;
  double start_;
};

}  // namespace orvik
