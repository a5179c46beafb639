#pragma once
// Device frames (float stereo) at their positions on a device's stream: runs of frames with
// silence between them, which costs nothing to keep. The timeline places sound here, edits
// what the writer has not reached yet when it must move, and resamples from it.
#include <cstddef>
#include <cstdint>
#include <deque>

namespace orvik::sound {

class PlacedSound {
 public:
  // `at` is at or after the end of everything placed before.
  void Append(int64_t at, const float* stereo, size_t frames);
  bool Reaches(int64_t from, int64_t to) const;
  // Copies positions [from, from + frames) to `out`, which holds zeros.
  void CopyOut(int64_t from, size_t frames, float* out) const;
  void DropBefore(int64_t position);

  // Moves everything from `at` on `frames` later, leaving silence.
  void Insert(int64_t at, int64_t frames);
  // Takes out positions [at, at + frames); what follows moves up.
  void Remove(int64_t at, int64_t frames);
  // Fades the `frames` positions before `at` out, or those from `at` on in.
  void FadeOut(int64_t at, int64_t frames);
  void FadeIn(int64_t at, int64_t frames);

 private:
  struct Run {
    int64_t start;
    std::deque<float> samples;
    int64_t End() const { return start + static_cast<int64_t>(samples.size() / 2); }
  };
  // Makes `at` the start of a run where a run holds it.
  void Split(int64_t at);
  // Multiplies positions [from, from + frames) by gain(i), i counted from `from`.
  template <typename Gain>
  void Scale(int64_t from, int64_t frames, Gain gain);

  std::deque<Run> runs_;
};

}  // namespace orvik::sound
