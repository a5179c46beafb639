#pragma once
// Recording the sound devices make. Each device is read on a thread of its own with WASAPI in
// shared mode, polled every 10 ms, and every packet goes to the device's Timeline with the
// recording time it was read at; the writer's thread takes the sources' sound from there, mixed.
// System sound is the default output recorded in loopback, with silence played into it so that
// packets come while nothing plays; where the system refuses loopback, a capture device that
// carries the output ("Monitor of ...", "Stereo Mix"). Windows only.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sound/sound_source.h"
#include "sound/sound_sources.h"
#include "sound/sound_timeline.h"
#include "toolkit/handles.h"

namespace orvik::sound {

// The recording time now; none before the recording starts and while it is paused.
using RecordingTime = std::function<std::optional<double>()>;

// One source recorded from one device.
class DeviceCapture {
 public:
  DeviceCapture() = default;
  ~DeviceCapture() { Stop(); }
  DeviceCapture(const DeviceCapture&) = delete;
  DeviceCapture& operator=(const DeviceCapture&) = delete;

  // Opens the device for `source` (the one whose name is `name`, else the system's) on the
  // device's thread and starts reading it; returns once it reads, or why it cannot.
  DeviceProblem Start(Source source, const std::wstring& name, RecordingTime now);
  void Stop();

  Timeline* Sound() const { return timeline_.get(); }
  const std::wstring& DeviceName() const { return deviceName_; }
  bool Loopback() const { return loopback_; }
  // Recording time from which the device gave nothing (its packets stopped for a second while
  // the recording ran, or it failed); none while it delivers.
  std::optional<double> MissingSince() const;

 private:
  struct Device;  // the COM side, owned by the thread
  void Run(Source source, std::wstring name);
  void Read(Device& device);
  void NoteMissing(double since);

  RecordingTime now_;
  std::unique_ptr<Timeline> timeline_;
  std::wstring deviceName_;
  bool loopback_ = false;
  DeviceProblem problem_ = DeviceProblem::None;
  std::atomic<double> missingSince_{-1};
  tk::UniqueHandle opened_, stop_;
  std::thread thread_;
};

// A recording's sound: the sources the user chose, each from its device, mixed into one
// 16-bit stereo track at 48000 Hz.
class SoundRecorder : public SoundSource {
 public:
  struct Wanted {
    bool system = false, microphone = false;
    std::wstring systemDevice, microphoneDevice;  // names the user gave; empty: the defaults
  };
  struct Started {
    bool system = false, microphone = false;            // the sources that record
    DeviceProblem systemProblem = DeviceProblem::None;  // why a wanted one does not
    DeviceProblem microphoneProblem = DeviceProblem::None;
  };

  Started Start(const Wanted& wanted, RecordingTime now);
  bool Recording() const { return !devices_.empty(); }
  // On the writer's thread: the mixed sound from where the last call stopped up to recording
  // time `until`, appended to `pcm` as interleaved 16-bit stereo.
  void Produce(double until, std::vector<int16_t>* pcm) override;
  void Stop();
  // The earliest time a source went missing; none when all delivered throughout.
  std::optional<double> MissingSince() const;

 private:
  std::vector<std::unique_ptr<DeviceCapture>> devices_;
  std::vector<std::vector<float>> produced_;  // per source, reused
};

}  // namespace orvik::sound
