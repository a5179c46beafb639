#pragma once
// A sound device standing in for a real one in the recorder's tests: it makes a constant level
// (every channel alike) in 10 ms packets as real time passes, and the test can make any of its
// calls hang until released, make it fail, go quiet, or say that the default device moved (it
// then opens in a second format at a second level). The test keeps its StandInControl when the
// recorder takes the device, and sees what the device went through.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "sound/device_recorder.h"

namespace orvik::sound::standin {

// Holds every call that passes it while shut.
class Gate {
 public:
  void Shut();
  void Release();
  void Pass();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool shut_ = false;
};

struct StandInControl {
  DeviceFormat format, movedFormat;
  float level = 0.25f, movedLevel = 0.5f;
  Gate open, read, close;
  std::atomic<bool> quiet{false};       // packets made meanwhile are lost
  std::atomic<bool> failRead{false};    // the next Read fails
  std::atomic<bool> refuseOpen{false};  // Open refuses
  std::atomic<bool> moved{false};       // DefaultMoved says so once; the next Open is the new one
  std::atomic<int> opens{0}, closes{0};
  std::atomic<bool> destroyed{false};
  std::thread::id destroyedOn;
};

class StandInDevice : public CaptureDevice {
 public:
  explicit StandInDevice(std::shared_ptr<StandInControl> control) : c_(std::move(control)) {}
  ~StandInDevice() override;
  DeviceProblem Open() override;
  DeviceFormat Format() const override { return format_; }
  bool Read(Packets* got) override;
  bool DefaultMoved() override;
  void Close() override;

 private:
  std::shared_ptr<StandInControl> c_;
  DeviceFormat format_;
  float level_ = 0;
  bool moved_ = false;
  double nextPacketAt_ = 0;
};

// Stand-in devices for each source; counts the waits that went through the system's own.
class StandInSystem : public SoundSystem {
 public:
  std::shared_ptr<StandInControl> system = std::make_shared<StandInControl>();
  std::shared_ptr<StandInControl> microphone = std::make_shared<StandInControl>();
  std::atomic<int> waited{0};

  std::unique_ptr<CaptureDevice> MakeDevice(Source source, const std::wstring&) override {
    return std::make_unique<StandInDevice>(source == Source::SystemSound ? system : microphone);
  }
  std::shared_ptr<void> EnterThread(bool) override { return nullptr; }
  bool WaitUntil(const std::function<bool()>& done, double seconds) override {
    ++waited;
    return tk::SleepUntil(done, seconds);
  }
};

}  // namespace orvik::sound::standin
