// The recorder against stand-in devices, driven as the session and the file's writer drive it:
// a device that hangs as it opens, while it is read or as it stops is left behind within about
// two seconds while the others go on; sound that stalls, fails or moves to a new default device
// is told as gaps from when to when; and the sound up to the stop is in.
#include "sound/device_recorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "sound/stand_in_device.h"

namespace orvik::sound {
namespace {

using standin::StandInSystem;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// Waits (bounded) until `done`.
template <typename Done>
bool WaitUntil(Done done, double seconds = 10) {
  for (const double end = Now() + seconds; !done(); Sleep(0.01))
    if (Now() > end) return false;
  return true;
}

constexpr float kSystemLevel = 0.25f, kMicrophoneLevel = 0.0625f, kMovedLevel = 0.5f;

// One recording: its clock, which pauses, and a writer thread that takes the sound every tenth
// of a second 300 ms behind the clock, as the file's writer does.
class Recording {
 public:
  explicit Recording(DeviceRecorder& recorder) : recorder_(recorder) {}
  ~Recording() { EndWriter(); }

  // Starts both sources; returns how long the start took.
  double Start() {
    DeviceRecorder::Wanted both;
    both.system = both.microphone = true;
    const double asked = Now();
    started_ = Now();
    started = recorder_.Start(both, [this] { return Time(); });
    const double took = Now() - asked;
    writer_ = std::thread([this] {
      while (!done_) {
        Sleep(0.1);
        if (const auto t = Time()) Take(*t - 0.3);
      }
    });
    return took;
  }
  std::optional<double> Time() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pausedAt_) return std::nullopt;
    return Now() - started_ - pausedFor_;
  }
  void RecordUntil(double t) {
    WaitUntil([&] { return Time().value_or(0) >= t; }, t + 10);
  }
  void Pause() {
    recorder_.CatchUp();
    std::lock_guard<std::mutex> lock(mutex_);
    pausedAt_ = Now();
  }
  void Resume() {
    std::lock_guard<std::mutex> lock(mutex_);
    pausedFor_ += Now() - *pausedAt_;
    pausedAt_.reset();
  }
  // As the session stops: the devices catch up, the clock stops, the writer takes the sound to
  // the end, the devices stop. Returns how long the stop took.
  double Stop() {
    recorder_.CatchUp();
    end = *Time();
    Pause();
    EndWriter();
    Take(end);
    const double asked = Now();
    recorder_.Stop();
    return Now() - asked;
  }
  // The mean magnitude of the left channel over recording time [from, to].
  double Level(double from, double to) const {
    const auto a = static_cast<size_t>(from * kOutputRate),
               b = static_cast<size_t>(to * kOutputRate);
    double sum = 0;
    for (size_t i = a; i < b && 2 * i < pcm_.size(); ++i) sum += std::fabs(pcm_[2 * i] / 32768.0);
    return b > a ? sum / (b - a) : 0;
  }

  DeviceRecorder::Started started;
  double end = 0;

 private:
  void Take(double until) {
    std::lock_guard<std::mutex> lock(pcmMutex_);
    recorder_.Produce(until, &pcm_);
  }
  void EndWriter() {
    done_ = true;
    if (writer_.joinable()) writer_.join();
  }

  DeviceRecorder& recorder_;
  std::mutex mutex_, pcmMutex_;
  double started_ = 0, pausedFor_ = 0;
  std::optional<double> pausedAt_;
  std::atomic<bool> done_{false};
  std::thread writer_;
  std::vector<int16_t> pcm_;
};

std::shared_ptr<StandInSystem> Devices() {
  auto devices = std::make_shared<StandInSystem>();
  devices->system->format = {SampleType::Float32, 48000, 2};
  devices->system->level = kSystemLevel;
  devices->system->movedFormat = {SampleType::Int16, 44100, 1};
  devices->system->movedLevel = kMovedLevel;
  devices->microphone->format = {SampleType::Int16, 48000, 1};
  devices->microphone->level = kMicrophoneLevel;
  return devices;
}

const SoundGap* Find(const std::vector<SoundGap>& gaps, Source source, GapCause cause) {
  for (const SoundGap& g : gaps)
    if (g.source == source && g.cause == cause) return &g;
  return nullptr;
}

TEST(DeviceRecorder, DevicesThatHangAreLeftBehindAndTheRecordingGoesOnWithoutThem) {
  const auto devices = Devices();
  auto& system = *devices->system;
  auto& microphone = *devices->microphone;
  auto recorder = std::make_unique<DeviceRecorder>(devices);
  {
    // The system sound's device does not answer as it opens: the start goes on without it.
    system.open.Shut();
    Recording first(*recorder);
    EXPECT_LT(first.Start(), 4.0);
    EXPECT_EQ(first.started.systemProblem, DeviceProblem::NoAnswer);
    EXPECT_FALSE(first.started.system);
    EXPECT_TRUE(first.started.microphone);
    EXPECT_GT(devices->waited, 0) << "the start did not wait through the system's own wait";
    first.RecordUntil(1.0);
    EXPECT_LT(first.Stop(), 1.0);
    EXPECT_NEAR(first.Level(0.3, 0.9), kMicrophoneLevel, 1e-3);
    EXPECT_TRUE(recorder->Gaps().empty());
  }
  // When it answers at last, its own thread closes it and lets it go.
  system.open.Release();
  ASSERT_TRUE(WaitUntil([&] { return system.destroyed.load(); }));
  EXPECT_EQ(system.closes, 1);
  EXPECT_NE(system.destroyedOn, std::this_thread::get_id());
  system.destroyed = microphone.destroyed = false;

  // Both open; the system sound's device hangs while it is read, a second into the
  // recording, and the microphone's as it stops.
  Recording second(*recorder);
  second.Start();
  ASSERT_TRUE(second.started.system && second.started.microphone);
  second.RecordUntil(1.0);
  system.read.Shut();
  const double hungAt = *second.Time();
  second.RecordUntil(hungAt + 3.5);
  microphone.close.Shut();
  EXPECT_LT(second.Stop(), 4.0);
  EXPECT_NEAR(second.Level(0.3, 0.9), kSystemLevel + kMicrophoneLevel, 1e-3);
  // Another thread read the microphone on once the first had hung for two seconds; what it
  // held by then came too late for the writer, and is told as a gap.
  EXPECT_NEAR(second.Level(hungAt + 2.4, second.end - 0.05), kMicrophoneLevel, 1e-3);
  const std::vector<SoundGap> gaps = recorder->Gaps();
  ASSERT_EQ(gaps.size(), 3u);
  const SoundGap* late = Find(gaps, Source::Microphone, GapCause::NoPackets);
  ASSERT_TRUE(late && late->to);
  EXPECT_NEAR(late->from, hungAt, 0.1);
  EXPECT_NEAR(*late->to, hungAt + 2.0, 0.4);
  const SoundGap* hung = Find(gaps, Source::SystemSound, GapCause::NoAnswer);
  ASSERT_TRUE(hung);
  EXPECT_NEAR(hung->from, hungAt, 0.1);
  EXPECT_FALSE(hung->to);
  const SoundGap* stopping = Find(gaps, Source::Microphone, GapCause::NoAnswer);
  ASSERT_TRUE(stopping);
  EXPECT_NEAR(stopping->from, second.end, 0.1);
  EXPECT_FALSE(stopping->to);

  // The recorder is gone before the hung calls return: their threads finish on their own,
  // touching nothing of it (the sanitizers would say), and let their devices go.
  recorder.reset();
  EXPECT_FALSE(system.destroyed || microphone.destroyed);
  system.read.Release();
  microphone.close.Release();
  ASSERT_TRUE(WaitUntil([&] { return system.destroyed && microphone.destroyed; }));
  EXPECT_EQ(system.closes, 1 + 1);
  EXPECT_EQ(microphone.closes, 1 + 1);
  EXPECT_NE(system.destroyedOn, std::this_thread::get_id());
  EXPECT_NE(microphone.destroyedOn, std::this_thread::get_id());
}

TEST(DeviceRecorder, GapsAreToldFromWhenToWhenAndTheSoundFollowsTheDefaultDevice) {
  const auto devices = Devices();
  auto& system = *devices->system;
  auto& microphone = *devices->microphone;
  DeviceRecorder recorder(devices);
  Recording r(recorder);
  r.Start();
  ASSERT_TRUE(r.started.system && r.started.microphone);
  // The system sound stalls for a second and a half; the microphone fails, and opens again
  // at the retry after it lets itself be opened.
  r.RecordUntil(0.5);
  system.quiet = true;
  r.RecordUntil(1.0);
  microphone.refuseOpen = true;
  microphone.failRead = true;
  r.RecordUntil(2.0);
  system.quiet = false;
  r.RecordUntil(2.2);
  microphone.refuseOpen = false;
  // A pause is no gap.
  r.RecordUntil(3.5);
  r.Pause();
  Sleep(0.5);
  r.Resume();
  // The default output changes: the system sound goes on from the new one, at its format.
  r.RecordUntil(4.0);
  system.moved = true;
  r.RecordUntil(5.0);
  r.Stop();

  EXPECT_NEAR(r.Level(0.1, 0.45), kSystemLevel + kMicrophoneLevel, 1e-3);
  EXPECT_NEAR(r.Level(0.6, 0.9), kMicrophoneLevel, 1e-3);
  EXPECT_NEAR(r.Level(1.1, 1.9), 0, 1e-3);
  EXPECT_NEAR(r.Level(2.1, 2.9), kSystemLevel, 1e-3);
  EXPECT_NEAR(r.Level(3.2, 3.9), kSystemLevel + kMicrophoneLevel, 1e-3);
  EXPECT_NEAR(r.Level(4.2, r.end - 0.02), kMovedLevel + kMicrophoneLevel, 1e-3)
      << "the sound up to the stop is not all in";

  const std::vector<SoundGap>& gaps = recorder.Gaps();
  EXPECT_EQ(gaps.size(), 3u);
  const SoundGap* stall = Find(gaps, Source::SystemSound, GapCause::NoPackets);
  ASSERT_TRUE(stall && stall->to);
  EXPECT_NEAR(stall->from, 0.5, 0.1);
  EXPECT_NEAR(*stall->to, 2.0, 0.1);
  const SoundGap* failed = Find(gaps, Source::Microphone, GapCause::DeviceFailed);
  ASSERT_TRUE(failed && failed->to);
  EXPECT_NEAR(failed->from, 1.0, 0.1);
  EXPECT_NEAR(*failed->to, 3.0, 0.2);
  const SoundGap* moved = Find(gaps, Source::SystemSound, GapCause::DefaultChanged);
  ASSERT_TRUE(moved && moved->to);
  EXPECT_NEAR(moved->from, 4.0, 0.1);
  EXPECT_LT(*moved->to - moved->from, 0.1);
  EXPECT_EQ(system.opens, 2);
  EXPECT_EQ(microphone.opens, 2);
}

}  // namespace
}  // namespace orvik::sound
