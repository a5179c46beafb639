#include "sound/sound_timeline.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>

#include "sound/placed_sound.h"
#include "sound/sample_convert.h"
#include "sound/sinc_kernel.h"

// How the sound finds its place. Every device frame has a position on a stream of device
// frames; output frame n is resampled from stream position readPos, which advances by `step`
// device frames an output frame. A packet normally follows on from the one before, and the
// output time its last frame will reach, minus its readAt, is its offset.
// - Drift: the median of the last 256 offsets drives a PI controller that sets `step` within
//   +/-0.5 % of the nominal rate ratio, twice a second, ramped over the frames in between.
// - Stalls and gaps: a packet more than 40 ms late is held back with those after it. If one of
//   them is on time again, the device had stalled and they follow on; if none is, it sent
//   nothing for a while, and they are placed at the median of their own times when the writer
//   reaches them. Positions nothing was placed at are silence; sound placed where the writer
//   has passed is dropped.
// - Frames lost (or doubled) without a word: the median of the last 16 offsets leaves the
//   longer one by more than 30 ms; the stream is cut where the change began, still ahead of the
//   writer, and silence put in or sound taken out there, with short fades.

namespace orvik::sound {
namespace {

constexpr double kLateLimit = 0.040;
// Held packets later than this were a stall's backlog: they say nothing of where sound lands.
constexpr double kBacklogLimit = 0.080;
constexpr double kShiftLimit = 0.030;
constexpr double kMaxCorrection = 0.005;
// Per second and per second squared: a natural frequency of 0.1 rad/s, critically damped. A
// device 1000 ppm off then strays about 4 ms before the integral has its rate, while a median
// of jittery packets that is 2 ms off moves the ratio by only 400 ppm (under a cent).
constexpr double kProportional = 0.2;
constexpr double kIntegral = 0.01;
// About 2.6 s of 10 ms packets: one stall or a few late packets cannot move this median.
constexpr size_t kOffsetWindow = 256;
// About 0.16 s, so a shift is caught before the writer (200 ms or more behind) gets there,
// while the jitter of 16 packets moves their median by a few milliseconds only.
constexpr size_t kRecentWindow = 16;
// Held-back sound is placed when the writer is this close to it, or when this much has piled
// up because the writer stopped asking.
constexpr double kPlaceAhead = 0.001;
constexpr double kMaxHeldSeconds = 2.0;
constexpr int64_t kFadeFrames = 96;
// Output frames resampled at a time: bounds the window of device frames copied out for them.
constexpr uint64_t kRenderBlock = 4096;
// Times are held below this (about four months), so stream positions stay exact in a double.
constexpr double kMaxTime = 1e7;

double Median(double* begin, double* end) {
  double* mid = begin + (end - begin) / 2;
  std::nth_element(begin, mid, end);
  return *mid;
}

// The offsets of the last packets that followed on, with the stream position each began at.
class OffsetWindow {
 public:
  struct Entry {
    double offset;
    int64_t from;
  };
  void Add(double offset, int64_t from) {
    entries_[next_] = {offset, from};
    next_ = (next_ + 1) % kOffsetWindow;
    size_ = std::min(size_ + 1, kOffsetWindow);
    ++fresh_;
  }
  size_t Size() const { return size_; }
  // How many were added since MarkRead.
  size_t Fresh() const { return fresh_; }
  void MarkRead() { fresh_ = 0; }
  // The last `count` (or all there are), oldest first.
  size_t Last(size_t count, Entry* out) const {
    count = std::min(count, size_);
    for (size_t i = 0; i < count; ++i)
      out[i] = entries_[(next_ + kOffsetWindow - count + i) % kOffsetWindow];
    return count;
  }
  double Median(size_t count) const {
    std::array<Entry, kOffsetWindow> last;
    std::array<double, kOffsetWindow> offsets;
    count = Last(count, last.data());
    for (size_t i = 0; i < count; ++i) offsets[i] = last[i].offset;
    return sound::Median(offsets.data(), offsets.data() + count);
  }
  // Sound from `position` on was moved `seconds` later.
  void Move(int64_t position, double seconds) {
    for (size_t i = 0; i < size_; ++i)
      if (entries_[i].from >= position) entries_[i].offset += seconds;
  }

 private:
  std::array<Entry, kOffsetWindow> entries_{};
  size_t next_ = 0, size_ = 0, fresh_ = 0;
};

// Where a run of offsets changes level: the split into two parts that leaves the least squared
// deviation from each part's mean. Returns the first entry of the second part (never empty).
size_t ChangePoint(const OffsetWindow::Entry* e, size_t n) {
  size_t best = 0;
  double bestCost = INFINITY;
  for (size_t k = 0; k < n; ++k) {
    double cost = 0;
    for (const auto& [lo, hi] : {std::pair{size_t{0}, k}, std::pair{k, n}}) {
      double sum = 0, squares = 0;
      for (size_t i = lo; i < hi; ++i) {
        sum += e[i].offset;
        squares += e[i].offset * e[i].offset;
      }
      if (hi > lo) cost += squares - sum * sum / static_cast<double>(hi - lo);
    }
    if (cost < bestCost) {
      bestCost = cost;
      best = k;
    }
  }
  return best;
}

// Packets held back until it is known where their sound belongs.
class HeldSound {
 public:
  bool Empty() const { return packets_.empty(); }
  size_t Frames() const { return samples_.size() / 2; }
  const float* Samples() const { return samples_.data(); }
  void Add(const std::vector<float>& stereo, double readAt) {
    samples_.insert(samples_.end(), stereo.begin(), stereo.end());
    packets_.push_back({Frames(), readAt});
  }
  // When their first frame was made, had none been lost between them, by the median of what
  // each packet says at `rate` device frames a second.
  double StartTime(double rate) const {
    std::vector<double> starts;
    for (const Packet& p : packets_) starts.push_back(p.readAt - p.end / rate);
    return Median(starts.data(), starts.data() + starts.size());
  }
  // Calls f(frames up to the end of the packet, readAt) for each packet.
  template <typename F>
  void ForEachPacket(F f) const {
    for (const Packet& p : packets_) f(p.end, p.readAt);
  }
  void Clear() {
    samples_.clear();
    packets_.clear();
  }

 private:
  struct Packet {
    size_t end;
    double readAt;
  };
  std::vector<float> samples_;
  std::vector<Packet> packets_;
};

double CleanTime(double t, double last) {
  if (!(t >= 0)) t = 0;  // NaN too
  return std::max(std::min(t, kMaxTime), last);
}

}  // namespace

// A stretch of output frames, with what resampling it needs copied out of the state, so that
// it is resampled without the lock.
struct Timeline::Block {
  uint64_t frames = 0;
  double readPos = 0, step = 0, stepIncrement = 0;
  uint64_t rampLeft = 0;
  int64_t from = 0;           // the device position window[0] holds
  std::vector<float> window;  // stereo; empty: nothing was placed there, the block is silence
};

struct Timeline::State {
  State(const DeviceFormat& f, double startsAt);

  void Push(const void* data, uint32_t frames, double readAt, bool silent);
  // Plans the output up to `until` into blocks[0..n), reusing what they hold; returns n.
  size_t Produce(double until, std::vector<Block>* blocks);

  void Convert(const void* data, uint32_t frames, bool silent);
  void Hold(double readAt);
  void FlushHeld();
  void PlaceHeld();
  // `stereo` null: silence, which takes no room.
  void FollowOn(const float* stereo, size_t frames, double late);
  void CheckForShift();
  void Move(int64_t at, double seconds);
  void Control(uint64_t target);
  void Plan(uint64_t frames, Block* block);
  void Advance(uint64_t frames);

  // The output time stream position `position` reaches at the present ratio.
  double OutputTimeOf(double position) const {
    return (outFrames + (position - readPos) / step) / kOutputRate;
  }
  double PositionAt(double time) const { return readPos + (time * kOutputRate - outFrames) * step; }
  double DeviceRate() const { return step * kOutputRate; }
  // The first position the writer has not used yet.
  int64_t Unread() const {
    return static_cast<int64_t>(std::ceil(readPos)) + kernel.Taps() / 2 + 1;
  }

  mutable std::mutex mutex;
  const DeviceFormat format;
  const bool usable;
  const StereoDownmix mix;
  const double nominalStep;
  const SincKernel kernel;
  std::vector<float> converted;

  PlacedSound placed;
  bool started = false;
  int64_t streamEnd = 0;
  HeldSound held;
  double lastPacketAt = -1;

  OffsetWindow offsets;
  double offset = 0, integral = 0, correction = 0;
  uint64_t controlledAt = 0;
  double step, stepIncrement = 0;
  uint64_t rampLeft = 0;

  double readPos = 0;
  uint64_t outFrames = 0;
};

Timeline::State::State(const DeviceFormat& f, double startsAt)
    : format(f),
      usable(f.Valid()),
      mix(usable ? f.channels : 2, usable ? f.channelMask : 0),
      nominalStep(static_cast<double>(usable ? f.rate : kOutputRate) / kOutputRate),
      kernel(nominalStep),
      step(nominalStep) {
  const double start = startsAt > 0 ? std::min(startsAt, kMaxTime) : 0;
  outFrames = controlledAt = static_cast<uint64_t>(std::floor(start * kOutputRate));
}

void Timeline::State::Push(const void* data, uint32_t frames, double readAt, bool silent) {
  lastPacketAt = CleanTime(readAt, lastPacketAt);
  if (!usable || frames == 0) return;
  silent = silent || !data;
  Convert(data, frames, silent);
  if (!started || !held.Empty()) return Hold(lastPacketAt);
  const double late = OutputTimeOf(static_cast<double>(streamEnd + frames)) - lastPacketAt;
  if (late < -kLateLimit) return Hold(lastPacketAt);
  FollowOn(silent ? nullptr : converted.data(), frames, late);
  CheckForShift();
}

void Timeline::State::Convert(const void* data, uint32_t frames, bool silent) {
  converted.assign(2 * static_cast<size_t>(frames), 0.0f);
  if (!silent) ConvertToStereo(format, mix, data, frames, converted.data());
}

void Timeline::State::Hold(double readAt) {
  // Held packets are taken to follow on from one another; one that comes later than that
  // allows begins sound of its own, and what was held before it is placed now.
  const double rate = DeviceRate(), frames = static_cast<double>(converted.size() / 2);
  if (!held.Empty() &&
      readAt - frames / rate > held.StartTime(rate) + held.Frames() / rate + kLateLimit)
    PlaceHeld();
  held.Add(converted, readAt);
  const double end = static_cast<double>(streamEnd) + held.Frames();
  if (started && OutputTimeOf(end) - readAt >= -kLateLimit) {
    // On time again: the device had stalled, and what it sent meanwhile follows on.
    FlushHeld();
    CheckForShift();
  } else if (held.Frames() > kMaxHeldSeconds * format.rate) {
    PlaceHeld();
  }
}

void Timeline::State::FlushHeld() {
  const int64_t at = streamEnd;
  size_t from = 0;
  held.ForEachPacket([&](size_t end, double readAt) {
    const double late = OutputTimeOf(static_cast<double>(at) + end) - readAt;
    FollowOn(held.Samples() + 2 * from, end - from, late >= -kBacklogLimit ? late : NAN);
    from = end;
  });
  held.Clear();
}

void Timeline::State::PlaceHeld() {
  int64_t at = std::llround(PositionAt(held.StartTime(DeviceRate())));
  if (started) at = std::max(at, streamEnd);
  streamEnd = at;
  started = true;
  size_t from = 0;
  held.ForEachPacket([&](size_t end, double readAt) {
    FollowOn(held.Samples() + 2 * from, end - from,
             OutputTimeOf(static_cast<double>(at) + end) - readAt);
    from = end;
  });
  held.Clear();
}

void Timeline::State::FollowOn(const float* stereo, size_t frames, double late) {
  if (!std::isnan(late)) offsets.Add(late, streamEnd);
  if (stereo) placed.Append(streamEnd, stereo, frames);
  streamEnd += static_cast<int64_t>(frames);
}

void Timeline::State::CheckForShift() {
  // Against the level the last Produce found: the longer median is too dear for every packet.
  if (offsets.Size() < kOffsetWindow / 4) return;
  if (std::fabs(offsets.Median(kRecentWindow) - offset) <= kShiftLimit) return;
  std::array<OffsetWindow::Entry, kRecentWindow> last;
  const size_t n = offsets.Last(kRecentWindow, last.data());
  const size_t split = ChangePoint(last.data(), n);
  std::array<double, kRecentWindow> after;
  for (size_t i = split; i < n; ++i) after[i - split] = last[i].offset;
  Move(last[split].from, offset - Median(after.data(), after.data() + (n - split)));
}

// Moves the sound from stream position `at` on by `seconds` (+: later), where the writer has
// not been yet.
void Timeline::State::Move(int64_t at, double seconds) {
  at = std::max(at, Unread() + kFadeFrames);
  const int64_t frames =
      std::min<int64_t>(std::llround(std::fabs(seconds) * DeviceRate()),
                        seconds > 0 ? INT64_MAX : std::max<int64_t>(0, streamEnd - at));
  placed.FadeOut(at, kFadeFrames);
  if (seconds > 0) {
    placed.FadeIn(at, kFadeFrames);
    placed.Insert(at, frames);
  } else {
    placed.FadeIn(at + frames, kFadeFrames);
    placed.Remove(at, frames);
  }
  const int64_t moved = seconds > 0 ? frames : -frames;
  streamEnd += moved;
  offsets.Move(at, moved / DeviceRate());
}

size_t Timeline::State::Produce(double until, std::vector<Block>* blocks) {
  const double end = until > 0 ? std::min(until, kMaxTime) : 0;
  const auto target = static_cast<uint64_t>(std::floor(end * kOutputRate));
  if (target <= outFrames) return 0;
  Control(target);
  if (!held.Empty() && held.StartTime(DeviceRate()) <= end + kPlaceAhead) PlaceHeld();
  size_t n = 0;
  while (outFrames < target) {
    if (n == blocks->size()) blocks->emplace_back();
    Plan(std::min(target - outFrames, kRenderBlock), &(*blocks)[n++]);
  }
  placed.DropBefore(static_cast<int64_t>(std::floor(readPos)) - kernel.Taps() / 2);
  return n;
}

// Updates the ratio from the offsets that came in since the last call; it then moves there
// evenly over the frames up to `target`.
void Timeline::State::Control(uint64_t target) {
  if (offsets.Fresh() == 0) return;  // nothing new (a gap): the ratio holds
  const double dt = std::min(1.0, static_cast<double>(target - controlledAt) / kOutputRate);
  controlledAt = target;
  offsets.MarkRead();
  offset = offsets.Median(kOffsetWindow);
  integral = std::clamp(integral + kIntegral * offset * dt, -kMaxCorrection, kMaxCorrection);
  correction = std::clamp(kProportional * offset + integral, -kMaxCorrection, kMaxCorrection);
  rampLeft = target - outFrames;
  stepIncrement = (nominalStep * (1 + correction) - step) / static_cast<double>(rampLeft);
}

void Timeline::State::Plan(uint64_t frames, Block* block) {
  const int half = kernel.Taps() / 2;
  const double widest = std::max(step, step + stepIncrement * std::min(frames, rampLeft));
  const auto from = static_cast<int64_t>(std::floor(readPos)) - half + 1;
  const auto to = static_cast<int64_t>(std::floor(readPos + widest * frames)) + half + 2;
  block->frames = frames;
  block->readPos = readPos;
  block->step = step;
  block->stepIncrement = stepIncrement;
  block->rampLeft = rampLeft;
  block->from = from;
  block->window.clear();
  if (placed.Reaches(from, to)) {
    block->window.assign(2 * static_cast<size_t>(to - from), 0.0f);
    placed.CopyOut(from, static_cast<size_t>(to - from), block->window.data());
  }
  outFrames += frames;
  Advance(frames);
}

// `frames` output frames on: each moves the read position by `step`, which the ramp changes by
// `stepIncrement` a frame while it lasts (as Render steps through them).
void Timeline::State::Advance(uint64_t frames) {
  const uint64_t ramp = std::min(frames, rampLeft);
  const double r = static_cast<double>(ramp), n = static_cast<double>(frames);
  readPos += step * n + stepIncrement * (r * (r - 1) / 2 + r * (n - r));
  step += stepIncrement * r;
  rampLeft -= ramp;
}

Timeline::Timeline(const DeviceFormat& format, double startsAt)
    : s_(std::make_unique<State>(format, startsAt)), weights_(s_->kernel.Taps()) {}

Timeline::~Timeline() = default;

void Timeline::Push(const void* data, uint32_t frames, double readAt, bool silent) {
  std::lock_guard<std::mutex> lock(s_->mutex);
  s_->Push(data, frames, readAt, silent);
}

void Timeline::Produce(double until, std::vector<float>* out) {
  size_t n;
  {
    std::lock_guard<std::mutex> lock(s_->mutex);
    n = s_->Produce(until, &blocks_);
  }
  uint64_t frames = 0;
  for (size_t i = 0; i < n; ++i) frames += blocks_[i].frames;
  const size_t first = out->size();
  out->resize(first + 2 * frames, 0.0f);
  float* o = out->data() + first;
  for (size_t i = 0; i < n; ++i) {
    Render(blocks_[i], o);
    o += 2 * blocks_[i].frames;
  }
}

// Resamples a block into `out`, which holds zeros. The kernel does not change after
// construction, so it is read without the lock.
void Timeline::Render(const Block& b, float* out) {
  if (b.window.empty()) return;
  const SincKernel& kernel = s_->kernel;
  const int taps = kernel.Taps(), half = taps / 2;
  const size_t count = b.window.size() / 2;
  // Runs of silence (gaps, silent packets) cost no multiplications.
  sounding_.assign(count + 1, 0);
  for (size_t i = 0; i < count; ++i)
    sounding_[i + 1] = sounding_[i] + (b.window[2 * i] != 0 || b.window[2 * i + 1] != 0);
  double pos = b.readPos, step = b.step;
  uint64_t ramp = b.rampLeft;
  for (uint64_t i = 0; i < b.frames; ++i) {
    const double base = std::floor(pos);
    const auto at = static_cast<size_t>(static_cast<int64_t>(base) - half + 1 - b.from);
    if (sounding_[at + taps] != sounding_[at]) {
      kernel.Weights(pos - base, weights_.data());
      float left = 0, right = 0;
      for (int j = 0; j < taps; ++j) {
        left += weights_[j] * b.window[2 * (at + j)];
        right += weights_[j] * b.window[2 * (at + j) + 1];
      }
      out[2 * i] = left;
      out[2 * i + 1] = right;
    }
    pos += step;
    if (ramp > 0) {
      step += b.stepIncrement;
      --ramp;
    }
  }
}

uint64_t Timeline::ProducedFrames() const {
  std::lock_guard<std::mutex> lock(s_->mutex);
  return s_->outFrames;
}

double Timeline::Offset() const {
  std::lock_guard<std::mutex> lock(s_->mutex);
  return s_->offset;
}

double Timeline::CorrectionPpm() const {
  std::lock_guard<std::mutex> lock(s_->mutex);
  return s_->correction * 1e6;
}

}  // namespace orvik::sound
