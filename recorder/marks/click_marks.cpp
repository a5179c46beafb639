#include "recorder/marks/click_marks.h"

#include "toolkit/units.h"

#include <algorithm>
#include <cmath>

namespace orvik {

void ClickMarks::Add(const PressEvent& event) {
  if (event.down) {
    presses_.push_back(Press{event.button, event.x, event.y, event.time, std::nullopt});
    if (presses_.size() > kMostRings) presses_.erase(presses_.begin());
    return;
  }
  for (auto it = presses_.rbegin(); it != presses_.rend(); ++it) {
    if (it->button == event.button && !it->up) {
      it->up = std::max(event.time, it->down);
      return;
    }
  }
}

std::vector<VisibleRing> ClickMarks::RingsAt(double now) {
  presses_.erase(
      std::remove_if(presses_.begin(), presses_.end(),
                     [now](const Press& p) { return p.up && now - *p.up >= kFadeSeconds; }),
      presses_.end());
  std::vector<VisibleRing> rings;
  for (const Press& p : presses_) {
    if (p.down > now) continue;  // taken after this frame's moment: the next frame shows it
    const double faded = p.up && *p.up < now ? (now - *p.up) / kFadeSeconds : 0.0;
    rings.push_back(VisibleRing{p.button, p.x, p.y, static_cast<float>(1.0 - faded)});
  }
  return rings;
}

namespace {
// How much of the pixel whose centre is `distance` from the ring's centre the stroke covers:
// the distance to the stroke's edges, clamped to a pixel's width.
double Coverage(double distance, double radius, double stroke) {
  const double half = stroke / 2;
  const double inside = std::clamp(distance - (radius - half) + 0.5, 0.0, 1.0);
  const double outside = std::clamp((radius + half) - distance + 0.5, 0.0, 1.0);
  return std::min(inside, outside);
}
}  // namespace

std::vector<uint32_t> RingPixels(int side, double radius, double stroke, uint32_t color) {
  std::vector<uint32_t> pixels(static_cast<size_t>(side) * static_cast<size_t>(side), 0);
  const double centre = (side - 1) / 2.0;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const double a = Coverage(std::hypot(x - centre, y - centre), radius, stroke);
      if (a <= 0) continue;
      auto premultiplied = [a](uint32_t c) { return static_cast<uint32_t>(std::lround(c * a)); };
      const uint32_t r = premultiplied((color >> 16) & 0xFF);
      const uint32_t g = premultiplied((color >> 8) & 0xFF);
      const uint32_t b = premultiplied(color & 0xFF);
      pixels[static_cast<size_t>(y) * side + x] = premultiplied(255) << 24 | r << 16 | g << 8 | b;
    }
  }
  return pixels;
}

RingSize RingSizeAt(int dpi) {
  RingSize size;
  size.radius = ScaledPixelsAt(kRingRadius, dpi);
  size.stroke = ScaledPixelsAt(kRingStroke, dpi);
  size.side = 2 * (size.radius + size.stroke) + 1;
  return size;
}

}  // namespace orvik
