#pragma once
// Presses of the mouse's buttons shown in the recorded frames: a ring around the pointer's hot
// spot while the button is held, fading out once it is let go, so viewers see where the user
// clicked. Only the frames get the rings, never the screen. No <windows.h>.
#include <cstdint>
#include <optional>
#include <vector>

namespace orvik {

enum class PressButton : uint8_t { Left, Right };

// A button going down or up, where the pointer's hot spot was, in screen pixels, and when, in
// the seconds of the clock the recording's slots are measured with.
struct PressEvent {
  PressButton button = PressButton::Left;
  bool down = true;
  int32_t x = 0, y = 0;
  double time = 0;
};

// A ring to draw into a frame, centred on a hot spot.
struct VisibleRing {
  PressButton button = PressButton::Left;
  int32_t x = 0, y = 0;
  float opacity = 1;  // 0..1
};

class ClickMarks {
 public:
  static constexpr double kFadeSeconds = 0.5;
  // More presses than this showing at once (a program clicking for the user) keep the newest.
  static constexpr size_t kMostRings = 32;

  // A release ends the hold of the latest press of its button; one whose press came before
  // the marks began listening is not shown.
  void Add(const PressEvent& event);
  // The rings showing at `now`, oldest first: presses from before `now`, full while held, then
  // fading. Forgets those that have faded out.
  std::vector<VisibleRing> RingsAt(double now);
  void Clear() { presses_.clear(); }

 private:
  struct Press {
    PressButton button;
    int32_t x, y;
    double down;
    std::optional<double> up;
  };
  std::vector<Press> presses_;
};

// The colour of a button's ring, 0xRRGGBB: left and right differ at a glance.
constexpr uint32_t kLeftRingColor = 0xFFB000;
constexpr uint32_t kRightRingColor = 0x1E90FF;
constexpr uint32_t RingColor(PressButton button) {
  return button == PressButton::Left ? kLeftRingColor : kRightRingColor;
}

// The ring's size in pixels: its radius to the middle of the stroke, the stroke's width, and
// the side of the square it is drawn in (centred on the middle of the square's centre pixel).
constexpr int kRingRadius = 14;
constexpr int kRingStroke = 4;
constexpr int kRingSide = 2 * (kRingRadius + kRingStroke) + 1;

// The ring as drawn on a screen of `dpi`: the sizes above at 96, scaled with it.
struct RingSize {
  int radius = kRingRadius, stroke = kRingStroke, side = kRingSide;
};
RingSize RingSizeAt(int dpi);

// A ring of `color` as 32-bit premultiplied BGRA pixels, rows top-down, `side` x `side`, its
// edges smoothed by how much of each pixel the stroke covers.
std::vector<uint32_t> RingPixels(int side, double radius, double stroke, uint32_t color);

}  // namespace orvik
