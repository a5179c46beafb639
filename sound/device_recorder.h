#pragma once
// A recording's sound: the sources the user chose, each from its device, all read on one
// thread and mixed into one 16-bit stereo track at 48000 Hz. A device may hang in any call (a
// wedged driver, a sound server that stopped answering), so no call here waits for one longer
// than about two seconds: a device that does not answer is left behind on the thread that
// called it, which may end on its own later; the recording goes on without it, and the gap is
// reported after the stop. No lock is held across a device call, so the writer never waits for
// a device. No <windows.h>: the system's devices come through a SoundSystem.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sound/capture_device.h"
#include "sound/sound_source.h"
#include "sound/sound_sources.h"
#include "toolkit/bounded_wait.h"

namespace orvik::sound {

// The recording time now; none before the recording starts and while it is paused.
using RecordingTime = std::function<std::optional<double>()>;

// The system's sound devices, as the recorder needs them.
class SoundSystem {
 public:
  virtual ~SoundSystem() = default;
  // The device for `source` (`wanted`: the name the user gave; empty: the defaults), not yet
  // open. Makes no device call.
  virtual std::unique_ptr<CaptureDevice> MakeDevice(Source source, const std::wstring& wanted) = 0;
  // Readies the calling thread for device calls until the token is let go; `reading`: the
  // thread that reads every device.
  virtual std::shared_ptr<void> EnterThread(bool reading) = 0;
  // The wait for the devices (bounded: `seconds` at most); the plain one unless the system
  // must let the waiting thread answer meanwhile.
  virtual bool WaitUntil(const std::function<bool()>& done, double seconds) {
    return tk::SleepUntil(done, seconds);
  }
};

class DeviceRecorder : public SoundSource {
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

  explicit DeviceRecorder(std::shared_ptr<SoundSystem> system);
  ~DeviceRecorder() override;
  DeviceRecorder(const DeviceRecorder&) = delete;
  DeviceRecorder& operator=(const DeviceRecorder&) = delete;

  // Opens the wanted sources' devices (all at once, each on a thread of its own) and starts
  // reading them; what they give before `now` has a value is not recorded. Returns once each
  // opened or failed, or after about two seconds: one still opening then did not answer.
  Started Start(const Wanted& wanted, RecordingTime now);
  // Just before the recording clock pauses or stops: every device hands over what it holds,
  // so the sound up to that moment is in. Waits a fifth of a second at most.
  void CatchUp();
  // Stops and closes the devices, waiting about two seconds at most; the gaps are known then.
  void Stop();
  // Whether the last start began at least one source: the recording has a sound stream.
  bool Recording() const { return !slots_.empty(); }
  // On the writer's thread: the mixed sound from where the last call stopped up to recording
  // time `until`, appended to `pcm` as interleaved 16-bit stereo. Also notices a device call
  // that has not returned for two seconds, and goes on reading the others without it.
  void Produce(double until, std::vector<int16_t>* pcm) override;
  // After a stop: where each source's sound is missing, by source and then time.
  const std::vector<SoundGap>& Gaps() const { return gaps_; }

 private:
  struct Slot;
  struct Shared;
  struct Reader;
  struct Startup;
  using Slots = std::vector<std::shared_ptr<Slot>>;

  std::shared_ptr<Reader> StartReader(Slots slots, bool paused);
  static void Read(std::shared_ptr<Reader> reader);
  static void Open(std::shared_ptr<Startup> startup, size_t index);
  void LeaveBehindAHungDevice();
  template <typename Done>
  bool WaitFor(std::mutex& mutex, Done done, double seconds);

  std::shared_ptr<SoundSystem> system_;
  std::shared_ptr<Shared> shared_;
  Slots slots_;  // the sources that record, fixed from the start to the next
  std::vector<SoundGap> gaps_;
  std::mutex readerMutex_;  // reader_ is replaced on the writer's thread
  std::shared_ptr<Reader> reader_;
};

}  // namespace orvik::sound
