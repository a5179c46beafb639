// The sound timeline meets packets of any format, size and time, and a writer asking at any
// moment: it must read no byte outside a packet, produce exactly the frames asked for, and
// never a sample that is not a number or louder than its input can make it. The mix of what
// it produced must stay in range too.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/sound_timeline_fuzz.h"
#include "sound/sample_convert.h"
#include "sound/sound_timeline.h"

namespace {

using namespace orvik::sound;

// Float input is held within +/-4, and the kernel's weights add up to well under 2 in size.
constexpr float kLoudestChannel = 8;
// Edge cases, not long recordings: the clock stops here, so no input costs much.
constexpr double kLongest = 0.5;

class Input {
 public:
  Input(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  bool Empty() const { return p_ == end_; }
  uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }
  const uint8_t* Take(size_t n, size_t* taken) {
    *taken = std::min<size_t>(n, end_ - p_);
    p_ += *taken;
    return p_ - *taken;
  }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

DeviceFormat ReadFormat(Input& in) {
  DeviceFormat format;
  format.type = static_cast<SampleType>(in.Byte() % 4);
  const uint8_t channels = in.Byte();
  format.channels = channels < 128 ? channels % 8 + 1 : channels - 128u;
  const uint32_t rate = in.Byte();
  format.rate = (rate | in.Byte() << 8) * soundfuzz::kRateUnit;
  for (int shift = 0; shift < 32; shift += 8) format.channelMask |= uint32_t{in.Byte()} << shift;
  return format;
}

// How loud the output can be: the loudest channel on every channel the fold adds to a side.
float Loudest(const DeviceFormat& format) {
  if (!format.Valid()) return kLoudestChannel;
  const StereoDownmix mix(format.channels, format.channelMask);
  float left = 0, right = 0;
  for (uint32_t c = 0; c < mix.Channels(); ++c) {
    left += mix.Left(c);
    right += mix.Right(c);
  }
  return kLoudestChannel * std::max({left, right, 1.0f}) * 1.0001f;
}

void Push(Timeline& timeline, const DeviceFormat& format, uint8_t op, double clock, Input& in,
          std::vector<uint8_t>& packet) {
  const uint32_t frames = in.Byte() * 4u;
  size_t length = 0;
  const uint8_t* pattern = in.Take(in.Byte() & soundfuzz::kPatternMask, &length);
  packet.resize(static_cast<size_t>(frames) * format.BytesPerFrame());
  for (size_t i = 0; length > 0 && i < packet.size(); ++i) packet[i] = pattern[i % length];
  double readAt = clock;
  if (op & soundfuzz::kRawTime) {
    size_t taken = 0;
    const uint8_t* raw = in.Take(sizeof readAt, &taken);
    if (taken == sizeof readAt) std::memcpy(&readAt, raw, sizeof readAt);
  }
  timeline.Push(length > 0 ? packet.data() : nullptr, frames, readAt, op & soundfuzz::kSilent);
}

void Produce(Timeline& timeline, double until, float loudest, std::vector<float>& out) {
  const uint64_t before = timeline.ProducedFrames();
  const double asked = until > 0 ? std::floor(until * kOutputRate) : 0;
  const uint64_t expected = asked > before ? static_cast<uint64_t>(asked) - before : 0;
  out.clear();
  timeline.Produce(until, &out);
  if (out.size() != 2 * expected || timeline.ProducedFrames() != before + expected) std::abort();
  for (float v : out)
    if (!(std::fabs(v) <= loudest)) std::abort();
  if (std::fabs(timeline.CorrectionPpm()) > 5000.001) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const DeviceFormat format = ReadFormat(in);
  Timeline timeline(format);
  const float loudest = Loudest(format);
  std::vector<uint8_t> packet;
  std::vector<float> out;
  double clock = 0;
  while (!in.Empty()) {
    const uint8_t op = in.Byte();
    clock = std::min(kLongest, clock + in.Byte() * 0.001);
    if ((op & soundfuzz::kKindMask) == soundfuzz::kProduce)
      Produce(timeline, clock - in.Byte() * 0.004, loudest, out);
    else
      Push(timeline, format, op, clock, in, packet);
  }
  Produce(timeline, clock, loudest, out);
  std::vector<int16_t> pcm(out.size());
  MixToPcm16({out.data(), out.data()}, out.size() / 2, pcm.data());
  return 0;
}
