#include "sound/device_recorder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "sound/gap_tracker.h"
#include "sound/sound_timeline.h"

namespace orvik::sound {

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// How long a device call may take before its device is left behind.
constexpr double kAnswerSeconds = 2.0;
constexpr double kCatchUpSeconds = 0.2;
// The reading thread wakes this often and reads every packet each device holds: Wine's
// devices make one every 10 ms, and their buffers hold a second. A catch-up waits for the
// wake-up, well within its bound.
constexpr auto kWake = std::chrono::milliseconds(40);
// A device that failed is opened again this often.
constexpr double kRetrySeconds = 2.0;

double Now() { return Seconds(Clock::now().time_since_epoch()).count(); }

}  // namespace

// What every thread of one recording reads: the clock, and how far it has got.
struct DeviceRecorder::Shared {
  std::shared_ptr<SoundSystem> system;
  RecordingTime now;
  std::atomic<double> lastTime{0};  // the latest recording time a reading thread saw
};

// One source: its device, and the sound and gaps it gave. The device and the fields after it
// belong to the thread that holds the slot (its opener, then a reading thread) and are touched
// by no other; whoever holds it last closes the device and lets it go. The parts and gaps are
// shared with the writer and the driving thread under `mutex`.
struct DeviceRecorder::Slot {
  Slot(Source s, std::unique_ptr<CaptureDevice> d) : source(s), device(std::move(d)), gaps(s) {}

  const Source source;
  std::unique_ptr<CaptureDevice> device;
  std::shared_ptr<Timeline> timeline;  // where its packets go now
  bool open = false;
  double retryAt = 0;  // when to open it again after a failure

  // A stretch of the source's sound from one opening of its device.
  struct Part {
    double from;
    std::shared_ptr<Timeline> sound;
  };
  std::mutex mutex;
  std::vector<Part> parts;   // in order; the writer drops those it is done with
  double producedUntil = 0;  // where the writer has taken the parts to
  GapTracker gaps;
  std::vector<float> produced;  // the writer's own

  // The device is open: its sound goes into a part of its own from `from` on, never where the
  // writer has already been.
  void BeginPart(double from) {
    std::lock_guard<std::mutex> lock(mutex);
    timeline = std::make_shared<Timeline>(device->Format(), std::max(from, producedUntil));
    parts.push_back({std::max(from, producedUntil), timeline});
  }
  void Missing(GapCause cause) {
    std::lock_guard<std::mutex> lock(mutex);
    gaps.Missing(cause);
  }
};

// The one thread that reads every device, and what it shares with the recorder. The thread may
// outlive the recorder when a device call does not return: it holds all it touches.
struct DeviceRecorder::Reader {
  std::shared_ptr<Shared> shared;
  std::mutex mutex;
  std::condition_variable changed;
  Slots slots;  // the slots it holds; once `stop` is set, only to close their devices
  bool entered = false, stop = false, exited = false;
  uint64_t passesAsked = 0, passesDone = 0;
  std::shared_ptr<Slot> inCall;  // whose device it is calling now, since when
  double callSince = 0;

  // Thread-owned: whether the last pass found the recording paused (or not yet begun), the
  // recording time of the last that did not, and so what this pass keeps: packets that came
  // before `earliest` came while the recording was paused.
  bool paused = true;
  double lastRunning = 0, earliest = -INFINITY;

  // Runs a device call for `slot`, marked as such. False when the thread must stop: it then
  // touches nothing the recorder shares, and only closes the devices it still holds.
  template <typename Call>
  bool Calling(const std::shared_ptr<Slot>& slot, Call call) {
    if (!Mark(slot, true)) return false;
    call();
    return Unmark();
  }
  bool Mark(const std::shared_ptr<Slot>& slot, bool unlessStopped) {
    std::lock_guard<std::mutex> lock(mutex);
    if (unlessStopped && stop) return false;
    inCall = slot;
    callSince = Now();
    return true;
  }
  bool Unmark() {
    std::lock_guard<std::mutex> lock(mutex);
    inCall.reset();
    return !stop;
  }

  // The recording time now, asked under the lock so that no stop lets the clock go while it is
  // read; false when the thread must stop.
  bool TimeNow(std::optional<double>* time) {
    std::lock_guard<std::mutex> lock(mutex);
    if (stop) return false;
    *time = shared->now();
    return true;
  }

  bool Pass(Packets* got);
  bool Serve(const std::shared_ptr<Slot>& slot, Packets* got);
  bool Reopen(const std::shared_ptr<Slot>& slot);
  void Deliver(Slot& slot, const Packets& got, double now);
  void CloseAll();
};

// Reads what the device holds and puts it on the recording clock; follows the default device
// to a new one, and opens a failed one again now and then.
bool DeviceRecorder::Reader::Serve(const std::shared_ptr<Slot>& slot, Packets* got) {
  if (!slot->open) return Now() < slot->retryAt || Reopen(slot);
  bool moved = false;
  if (!Calling(slot, [&] { moved = slot->device->DefaultMoved(); })) return false;
  if (moved) {
    slot->Missing(GapCause::DefaultChanged);
    if (!Calling(slot, [&] { slot->device->Close(); })) return false;
    slot->open = false;
    return Reopen(slot);
  }
  got->Clear();
  bool ok = true;
  if (!Calling(slot, [&] { ok = slot->device->Read(got); })) return false;
  std::optional<double> now;
  if (!TimeNow(&now)) return false;
  if (now) Deliver(*slot, *got, *now);
  if (ok) return true;
  slot->Missing(GapCause::DeviceFailed);
  slot->retryAt = Now() + kRetrySeconds;
  if (!Calling(slot, [&] { slot->device->Close(); })) return false;
  slot->open = false;
  return true;
}

bool DeviceRecorder::Reader::Reopen(const std::shared_ptr<Slot>& slot) {
  DeviceProblem problem = DeviceProblem::None;
  if (!Calling(slot, [&] { problem = slot->device->Open(); })) return false;
  if (problem != DeviceProblem::None) {
    slot->Missing(GapCause::DeviceFailed);
    slot->retryAt = Now() + kRetrySeconds;
    return true;
  }
  slot->open = true;
  slot->BeginPart(shared->lastTime);
  return true;
}

// Each packet's last frame came `age` before `now`. Packets that came while the recording was
// paused (or before it began) are left out: their time is not recorded. Sound that comes after
// the writer has passed its time (the reading thread was held up) is no cover for a gap.
void DeviceRecorder::Reader::Deliver(Slot& slot, const Packets& got, double now) {
  const double rate = slot.device->Format().rate;
  const uint32_t frameBytes = slot.device->Format().BytesPerFrame();
  std::lock_guard<std::mutex> lock(slot.mutex);
  size_t at = 0;
  for (const Packets::Packet& p : got.list) {
    const double readAt = now - p.age;
    if (readAt >= earliest) {
      slot.timeline->Push(got.bytes.data() + at, p.frames, readAt, p.silent);
      // Sound for time the writer has passed comes too late to be heard.
      if (readAt > slot.producedUntil)
        slot.gaps.Delivered(std::max(readAt - p.frames / rate, slot.producedUntil), readAt);
    }
    at += static_cast<size_t>(p.frames) * frameBytes;
  }
}

void DeviceRecorder::Reader::CloseAll() {
  Slots held;
  {
    std::lock_guard<std::mutex> lock(mutex);
    held = slots;
  }
  for (const std::shared_ptr<Slot>& slot : held) {
    if (slot->open) {
      Mark(slot, false);
      slot->device->Close();
      Unmark();
    }
    slot->open = false;
    slot->device.reset();
  }
}

// One wake-up: every device read once. False when the thread must stop.
bool DeviceRecorder::Reader::Pass(Packets* got) {
  Slots held;
  {
    std::lock_guard<std::mutex> lock(mutex);
    held = slots;
  }
  std::optional<double> now;
  if (!TimeNow(&now)) return false;
  earliest = paused ? lastRunning : -INFINITY;
  paused = !now;
  if (now) {
    lastRunning = *now;
    shared->lastTime = std::max(shared->lastTime.load(), *now);
  }
  for (const std::shared_ptr<Slot>& slot : held)
    if (!Serve(slot, got)) return false;
  return true;
}

void DeviceRecorder::Read(std::shared_ptr<Reader> reader) {
  try {
    const std::shared_ptr<void> token = reader->shared->system->EnterThread(true);
    {
      std::lock_guard<std::mutex> lock(reader->mutex);
      reader->entered = true;
    }
    reader->changed.notify_all();
    Packets got;
    for (bool asked = false;;) {
      // A plain sleep: waiting on a condition with a timeout costs a round trip to the wine
      // server every time under Wine. A catch-up or a stop waits for the sleep to end.
      if (!asked) std::this_thread::sleep_for(kWake);
      uint64_t pass = 0;
      {
        std::lock_guard<std::mutex> lock(reader->mutex);
        if (reader->stop) break;
        pass = reader->passesAsked;
      }
      if (!reader->Pass(&got)) break;
      {
        std::lock_guard<std::mutex> lock(reader->mutex);
        reader->passesDone = std::max(reader->passesDone, pass);
        asked = reader->passesAsked > reader->passesDone;
      }
      reader->changed.notify_all();
    }
    reader->CloseAll();
  } catch (...) {
    // Out of memory: the recording goes on without its sound.
  }
  {
    std::lock_guard<std::mutex> lock(reader->mutex);
    reader->exited = true;
  }
  reader->changed.notify_all();
}

// The devices of one start, each opened on a thread of its own.
struct DeviceRecorder::Startup {
  std::shared_ptr<Shared> shared;
  Slots slots;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::optional<DeviceProblem>> results;
  bool late = false;  // the start stopped waiting: an opener that ends now closes its device
};

void DeviceRecorder::Open(std::shared_ptr<Startup> startup, size_t index) {
  const std::shared_ptr<Slot> slot = startup->slots[index];
  try {
    const std::shared_ptr<void> token = startup->shared->system->EnterThread(false);
    const DeviceProblem problem = slot->device->Open();
    slot->open = problem == DeviceProblem::None;
    if (slot->open) slot->BeginPart(0);
    bool handedOver;
    {
      std::lock_guard<std::mutex> lock(startup->mutex);
      startup->results[index] = problem;
      handedOver = slot->open && !startup->late;
    }
    startup->changed.notify_all();
    if (handedOver) return;  // the reading thread holds the device now
    if (slot->open) slot->device->Close();
    slot->device.reset();
  } catch (...) {
    std::lock_guard<std::mutex> lock(startup->mutex);
    startup->results[index] = DeviceProblem::Refused;
    startup->changed.notify_all();
  }
}

DeviceRecorder::DeviceRecorder(std::shared_ptr<SoundSystem> system) : system_(std::move(system)) {}

DeviceRecorder::~DeviceRecorder() { Stop(); }

// The system's bounded wait, looking at `done` under `mutex`.
template <typename Done>
bool DeviceRecorder::WaitFor(std::mutex& mutex, Done done, double seconds) {
  return system_->WaitUntil(
      [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return done();
      },
      seconds);
}

std::shared_ptr<DeviceRecorder::Reader> DeviceRecorder::StartReader(Slots slots, bool paused) {
  auto reader = std::make_shared<Reader>();
  reader->shared = shared_;
  reader->slots = std::move(slots);
  reader->paused = paused;
  reader->lastRunning = shared_->lastTime;
  std::thread(Read, reader).detach();
  return reader;
}

DeviceRecorder::Started DeviceRecorder::Start(const Wanted& wanted, RecordingTime now) {
  Stop();
  slots_.clear();
  gaps_.clear();
  shared_ = std::make_shared<Shared>();
  shared_->system = system_;
  shared_->now = std::move(now);
  auto startup = std::make_shared<Startup>();
  startup->shared = shared_;
  if (wanted.system)
    startup->slots.push_back(std::make_shared<Slot>(
        Source::SystemSound, system_->MakeDevice(Source::SystemSound, wanted.systemDevice)));
  if (wanted.microphone)
    startup->slots.push_back(std::make_shared<Slot>(
        Source::Microphone, system_->MakeDevice(Source::Microphone, wanted.microphoneDevice)));
  startup->results.resize(startup->slots.size());
  Started started;
  if (startup->slots.empty()) return started;

  // The reading thread first: devices are made on the openers' threads and read on it.
  const auto began = Clock::now();
  const std::shared_ptr<Reader> reader = StartReader({}, true);
  WaitFor(
      reader->mutex, [&] { return reader->entered; }, kAnswerSeconds);
  for (size_t i = 0; i < startup->slots.size(); ++i) std::thread(Open, startup, i).detach();
  const double left = kAnswerSeconds - Seconds(Clock::now() - began).count();
  WaitFor(
      startup->mutex,
      [&] {
        return std::all_of(startup->results.begin(), startup->results.end(),
                           [](const auto& r) { return r.has_value(); });
      },
      std::max(left, 0.0));
  std::vector<std::optional<DeviceProblem>> results;
  {
    std::lock_guard<std::mutex> lock(startup->mutex);
    startup->late = true;
    results = startup->results;
  }
  for (size_t i = 0; i < results.size(); ++i) {
    const DeviceProblem problem = results[i].value_or(DeviceProblem::NoAnswer);
    const bool system = startup->slots[i]->source == Source::SystemSound;
    (system ? started.systemProblem : started.microphoneProblem) = problem;
    (system ? started.system : started.microphone) = problem == DeviceProblem::None;
    if (problem == DeviceProblem::None) slots_.push_back(startup->slots[i]);
  }
  {
    std::lock_guard<std::mutex> lock(reader->mutex);
    reader->slots = slots_;
    reader->stop = slots_.empty();
  }
  reader->changed.notify_all();
  std::lock_guard<std::mutex> lock(readerMutex_);
  reader_ = reader;
  return started;
}

void DeviceRecorder::CatchUp() {
  std::shared_ptr<Reader> reader;
  {
    std::lock_guard<std::mutex> lock(readerMutex_);
    reader = reader_;
  }
  if (!reader) return;
  uint64_t pass;
  {
    std::lock_guard<std::mutex> lock(reader->mutex);
    pass = ++reader->passesAsked;
  }
  reader->changed.notify_all();
  WaitFor(
      reader->mutex, [&] { return reader->passesDone >= pass || reader->exited; }, kCatchUpSeconds);
}

void DeviceRecorder::Stop() {
  std::shared_ptr<Reader> reader;
  {
    std::lock_guard<std::mutex> lock(readerMutex_);
    reader = std::move(reader_);
  }
  if (!reader) return;
  {
    std::lock_guard<std::mutex> lock(reader->mutex);
    reader->stop = true;
  }
  reader->changed.notify_all();
  WaitFor(
      reader->mutex, [&] { return reader->exited; }, kAnswerSeconds);
  std::shared_ptr<Slot> hung;
  {
    std::lock_guard<std::mutex> lock(reader->mutex);
    if (!reader->exited) hung = reader->inCall;
  }
  if (hung) hung->Missing(GapCause::NoAnswer);
  const double end = shared_->lastTime;
  for (const std::shared_ptr<Slot>& slot : slots_) {
    std::lock_guard<std::mutex> lock(slot->mutex);
    const std::vector<SoundGap> gaps = slot->gaps.Gaps(end);
    gaps_.insert(gaps_.end(), gaps.begin(), gaps.end());
  }
}

// A device call that has not returned for two seconds: its device is left to the thread that
// called it, and a fresh reading thread takes the other devices over.
void DeviceRecorder::LeaveBehindAHungDevice() {
  std::lock_guard<std::mutex> lock(readerMutex_);
  if (!reader_) return;
  std::shared_ptr<Slot> hung;
  Slots rest;
  {
    std::lock_guard<std::mutex> readerLock(reader_->mutex);
    if (reader_->stop || !reader_->inCall || Now() - reader_->callSince < kAnswerSeconds) return;
    hung = reader_->inCall;
    for (const std::shared_ptr<Slot>& slot : reader_->slots)
      if (slot != hung) rest.push_back(slot);
    reader_->slots = {hung};
    reader_->stop = true;
  }
  reader_->changed.notify_all();
  hung->Missing(GapCause::NoAnswer);
  reader_ = StartReader(std::move(rest), false);
}

void DeviceRecorder::Produce(double until, std::vector<int16_t>* pcm) {
  LeaveBehindAHungDevice();
  if (slots_.empty()) return;
  size_t frames = SIZE_MAX;
  std::vector<const float*> sources;
  for (const std::shared_ptr<Slot>& slot : slots_) {
    std::vector<Slot::Part> parts;
    {
      std::lock_guard<std::mutex> lock(slot->mutex);
      parts = slot->parts;
      slot->producedUntil = std::max(slot->producedUntil, until);
    }
    // Each part up to where the next begins.
    slot->produced.clear();
    for (size_t i = 0; i < parts.size(); ++i)
      parts[i].sound->Produce(i + 1 < parts.size() ? std::min(until, parts[i + 1].from) : until,
                              &slot->produced);
    {
      std::lock_guard<std::mutex> lock(slot->mutex);
      while (slot->parts.size() > 1 && slot->parts[1].from <= until)
        slot->parts.erase(slot->parts.begin());
    }
    frames = std::min(frames, slot->produced.size() / kOutputChannels);
    sources.push_back(slot->produced.data());
  }
  const size_t at = pcm->size();
  pcm->resize(at + frames * kOutputChannels);
  MixToPcm16(sources, frames, pcm->data() + at);
}

}  // namespace orvik::sound
