#pragma once
// Sound from one device put on the recording's own clock. A device's sample rate is never quite
// what it says, its packets come late, in bursts or not at all (loopback sends nothing while
// nothing plays), and their timestamps jitter by tens of milliseconds under Wine: so the sound is
// placed by comparing the samples received with the recording clock, smoothed over many packets,
// never by one packet's timestamp. Drift is corrected by resampling, gaps become silence, and the
// output is 48000 Hz stereo in which sample n belongs to recording time n / 48000 (pauses left
// out), the same clock the video's slots follow. No <windows.h>: packets with positions in,
// samples out; tested natively with synthetic streams.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace orvik::sound {

constexpr uint32_t kOutputRate = 48000;
constexpr uint32_t kOutputChannels = 2;

enum class SampleType {
  Int16,    // little-endian, signed
  Int24,    // packed in 3 bytes, little-endian, signed
  Int32,    // signed; also 24 or 20 valid bits left-justified in 32
  Float32,  // IEEE float, -1..1
};

// What a device delivers: frames of `channels` interleaved samples at `rate` frames a second.
struct DeviceFormat {
  SampleType type = SampleType::Float32;
  uint32_t rate = 48000;
  uint32_t channels = 2;
  // The speaker each channel feeds, as WAVEFORMATEXTENSIBLE's dwChannelMask: the channels take
  // its set bits in order, lowest first. 0: the usual layout for the channel count.
  uint32_t channelMask = 0;
  uint32_t BytesPerFrame() const;
  bool Valid() const;  // a known type, 1..32 channels, 8000..384000 Hz
};

// One device's sound on the recording clock. Push runs on the thread that reads the device,
// Produce on the writer's; the two may run at the same time, and Push never waits while
// Produce resamples.
class Timeline {
 public:
  // `startsAt`: the recording time of the first output frame (a device opened during the
  // recording, as a later part of its source's sound).
  explicit Timeline(const DeviceFormat& format, double startsAt = 0);
  ~Timeline();
  Timeline(const Timeline&) = delete;
  Timeline& operator=(const Timeline&) = delete;

  // A packet of `frames` frames read from the device at recording time `readAt` (seconds, pauses
  // left out; never decreasing): the device made its last frame at about that time. `silent`:
  // the device marked the packet as silence (its bytes are not read). The caller pushes nothing
  // read while the recording is paused.
  void Push(const void* data, uint32_t frames, double readAt, bool silent = false);

  // Appends to `out` the output frames (interleaved float stereo) from where the last call
  // stopped up to recording time `until` (frame floor(until * 48000)), silence where the device
  // gave nothing. Sound that arrives later for time already produced is dropped.
  void Produce(double until, std::vector<float>* out);

  // Output frames produced so far, counted from recording time 0.
  uint64_t ProducedFrames() const;
  // Seconds by which the device's sound currently lands after (+) or before (-) the clock,
  // smoothed: what the drift correction works against.
  double Offset() const;
  // The rate correction now applied, in parts per million of the device's nominal rate (+: the
  // device is fast and is slowed down).
  double CorrectionPpm() const;

 private:
  struct State;
  struct Block;
  std::unique_ptr<State> s_;
  // Produce's own: the stretches it resamples once the lock is let go.
  std::vector<Block> blocks_;
  std::vector<float> weights_;
  std::vector<uint32_t> sounding_;
  void Render(const Block& block, float* out);
};

// Sums the sources (interleaved float stereo, `frames` frames each) at unity gain and converts
// to 16-bit PCM. Below -1 dBFS the sum is rounded as it is; above, a soft knee bends it towards
// full scale, so loud sources together never clip.
void MixToPcm16(const std::vector<const float*>& sources, size_t frames, int16_t* out);

}  // namespace orvik::sound
