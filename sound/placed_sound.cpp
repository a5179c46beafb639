#include "sound/placed_sound.h"

#include <algorithm>

namespace orvik::sound {

void PlacedSound::Append(int64_t at, const float* stereo, size_t frames) {
  if (runs_.empty() || runs_.back().End() != at) runs_.push_back({at, {}});
  runs_.back().samples.insert(runs_.back().samples.end(), stereo, stereo + 2 * frames);
}

bool PlacedSound::Reaches(int64_t from, int64_t to) const {
  return std::any_of(runs_.begin(), runs_.end(),
                     [&](const Run& run) { return run.start < to && run.End() > from; });
}

void PlacedSound::CopyOut(int64_t from, size_t frames, float* out) const {
  const int64_t to = from + static_cast<int64_t>(frames);
  for (const Run& run : runs_) {
    const int64_t lo = std::max(from, run.start), hi = std::min(to, run.End());
    if (lo >= hi) continue;
    const auto begin = run.samples.begin() + 2 * (lo - run.start);
    std::copy(begin, begin + 2 * (hi - lo), out + 2 * (lo - from));
  }
}

void PlacedSound::DropBefore(int64_t position) {
  while (!runs_.empty() && runs_.front().End() <= position) runs_.pop_front();
  if (runs_.empty() || runs_.front().start >= position) return;
  Run& run = runs_.front();
  run.samples.erase(run.samples.begin(), run.samples.begin() + 2 * (position - run.start));
  run.start = position;
}

void PlacedSound::Insert(int64_t at, int64_t frames) {
  Split(at);
  for (Run& run : runs_)
    if (run.start >= at) run.start += frames;
}

void PlacedSound::Remove(int64_t at, int64_t frames) {
  Split(at);
  Split(at + frames);
  runs_.erase(std::remove_if(runs_.begin(), runs_.end(),
                             [&](const Run& r) { return r.start >= at && r.End() <= at + frames; }),
              runs_.end());
  for (Run& run : runs_)
    if (run.start >= at + frames) run.start -= frames;
}

void PlacedSound::FadeOut(int64_t at, int64_t frames) {
  Scale(at - frames, frames,
        [&](int64_t i) { return static_cast<float>(frames - 1 - i) / frames; });
}

void PlacedSound::FadeIn(int64_t at, int64_t frames) {
  Scale(at, frames, [&](int64_t i) { return static_cast<float>(i + 1) / frames; });
}

void PlacedSound::Split(int64_t at) {
  for (auto it = runs_.begin(); it != runs_.end(); ++it) {
    if (it->start >= at || it->End() <= at) continue;
    const auto cut = it->samples.begin() + 2 * (at - it->start);
    Run tail{at, std::deque<float>(cut, it->samples.end())};
    it->samples.erase(cut, it->samples.end());
    runs_.insert(it + 1, std::move(tail));
    return;
  }
}

template <typename Gain>
void PlacedSound::Scale(int64_t from, int64_t frames, Gain gain) {
  for (Run& run : runs_) {
    const int64_t lo = std::max(from, run.start), hi = std::min(from + frames, run.End());
    for (int64_t p = lo; p < hi; ++p) {
      const float g = gain(p - from);
      run.samples[2 * (p - run.start)] *= g;
      run.samples[2 * (p - run.start) + 1] *= g;
    }
  }
}

}  // namespace orvik::sound
