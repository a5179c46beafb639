#include "recorder/output/recording_file.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <new>
#include <thread>

namespace orvik {

namespace {

// Frames waiting for the writer time out of a wait this often, so that sound and commits go on
// while no frame comes.
constexpr int kTakeTimeoutMs = 50;
// The file on the disk is made consistent this often while the recording runs: a process that
// dies, or a machine that loses power, loses at most half a second of it, the wait for a frame
// and the commit's flushes included (at 0.5 s, kills lost up to 0.58 s on a busy machine).
constexpr double kCommitSeconds = 0.4;
// Free space is asked for at most this often; in between, what was written is counted off.
constexpr double kSpaceCheckSeconds = 0.5;
// Room kept beyond what the file needs: file system blocks and metadata.
constexpr uint64_t kDiskSlack = 256 * 1024;
// Sound goes into the file this far behind the recording's time while it runs: the devices'
// packets arrive a little after the sound was made, and late ones under load.
constexpr double kSoundBehindSeconds = 0.3;

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

EngineError ErrorOf(ContainerError error) {
  switch (error) {
    case ContainerError::DiskFull:
      return EngineError::DiskFull;
    case ContainerError::FileFull:
      return EngineError::FileFull;
    default:
      return EngineError::WriteFailed;
  }
}

}  // namespace

// Everything the writer's thread uses. Shared with the thread, so that a thread left behind (a
// codec or a disk that stopped answering) finishes, whenever it does, on memory of its own.
struct RecordingFile::State {
  explicit State(Setup s)
      : setup(std::move(s)),
        queue(setup.buffers, setup.frameBytes),
        encoder(*setup.encoder),
        container(*setup.container),
        disk(*setup.disk) {}

  void Run();
  EngineError OpenOnThisThread();
  void WriteUntilClosed();
  bool WriteOne(const QueuedFrame& frame, const uint8_t* previous);
  bool DiskCanTake(uint32_t size);
  bool HoldPictureToTheEnd();
  bool Commit();
  bool TakeName();
  bool WriteSound(double behind);
  void Finish();
  void StopItself(EngineError why);
  // Runs `step`; what it throws ends the recording as the engine's error.
  template <typename Step>
  void Guarded(Step step);
  // The borrowed clock and sound, while the owner still waits for this thread.
  std::optional<double> Elapsed();

  Setup setup;
  FrameQueue queue;
  FrameEncoder& encoder;
  ContainerWriter& container;
  RecordingDisk& disk;
  std::thread thread;

  std::atomic<bool> opened{false}, finished{false};
  // Set by the owner before it closes the queue: the file goes, whatever it holds.
  std::atomic<bool> discard{false};
  // The file has the recording's name (its first frame is on the disk); the writer's own.
  std::atomic<bool> named{false};
  EngineError openResult = EngineError::None;    // set before `opened`
  EngineError finishResult = EngineError::None;  // set before `finished`
  std::atomic<EngineError> stoppedBy{EngineError::None};
  std::atomic<uint32_t> framesWritten{0};

  std::mutex borrowed;  // held while the sound or the recording's time is used
  bool abandoned = false;

  std::vector<int16_t> pcm;
  double spaceCheckedAt = -1;
  uint64_t spaceLeft = 0;  // free bytes at the last check, less what was written since
  uint64_t sizeAtCheck = 0;
};

template <typename Step>
void RecordingFile::State::Guarded(Step step) {
  try {
    step();
  } catch (const std::bad_alloc&) {
    StopItself(EngineError::OutOfMemory);
  } catch (...) {
    StopItself(EngineError::WriteFailed);
  }
}

void RecordingFile::State::Run() {
  try {
    openResult = OpenOnThisThread();
  } catch (...) {
    openResult = EngineError::CodecRefused;
  }
  opened = true;
  if (openResult == EngineError::None) {
    Guarded([this] { WriteUntilClosed(); });
    Guarded([this] { Finish(); });
  }
  Guarded([this] { encoder.Close(); });
  finished = true;
}

EngineError RecordingFile::State::OpenOnThisThread() {
  if (!encoder.Open()) return EngineError::CodecRefused;
  if (!disk.Create()) return EngineError::FileNotCreated;
  const bool withSound = setup.sound != nullptr;
  if (!container.Open(disk, encoder.Video(), setup.framesPerSecond, withSound)) {
    disk.Remove();
    return EngineError::FileNotCreated;
  }
  return EngineError::None;
}

void RecordingFile::State::WriteUntilClosed() {
  double lastCommit = setup.now();
  bool uncommitted = false;
  // The frame written last, its buffer kept back from the capture while the encoder compares
  // the next one with it.
  std::optional<QueuedFrame> previous;
  const bool compares = encoder.ComparesFrames();
  for (;;) {
    QueuedFrame frame;
    const FrameQueue::Taken taken = queue.Take(&frame, kTakeTimeoutMs);
    if (taken == FrameQueue::Taken::Closed) return;
    if (taken == FrameQueue::Taken::Frame) {
      const bool written = WriteOne(frame, previous ? previous->bits : nullptr);
      if (previous) queue.Recycle(*previous);
      previous.reset();
      if (compares && written)
        previous = frame;
      else
        queue.Recycle(frame);
      if (!written) return;
      uncommitted = true;
    }
    // Sound keeps coming while no frame does (a still screen is still a frame a slot; a pause
    // is not): it is committed on the same rhythm. The first frame is committed at once, so
    // that the file takes its name as the recording really begins.
    const double now = setup.now();
    const bool first = uncommitted && !named;
    if (first || ((uncommitted || setup.sound) && now - lastCommit >= kCommitSeconds)) {
      if (!Commit()) return;
      lastCommit = now;
      uncommitted = false;
    }
  }
}

bool RecordingFile::State::WriteOne(const QueuedFrame& frame, const uint8_t* previous) {
  EncodedFrame encoded;
  if (!encoder.EncodeAfter(previous, frame.slot, frame.bits, setup.buffersHaveRoom, &encoded)) {
    StopItself(EngineError::CodecFailed);
    return false;
  }
  if (!DiskCanTake(encoded.size)) {
    StopItself(EngineError::DiskFull);
    return false;
  }
  if (!container.WriteFrame(frame.slot, encoded)) {
    StopItself(ErrorOf(container.Failure()));
    return false;
  }
  ++framesWritten;
  return true;
}

// Whether the disk can take this frame and still the file's end. Free space is asked for at
// most every kSpaceCheckSeconds (it costs a call into the file system); in between, what the
// file grew by is counted off the last answer. The disk is asked again before saying no.
bool RecordingFile::State::DiskCanTake(uint32_t size) {
  const uint64_t need = container.BytesNeededFor(size) + kDiskSlack;
  const uint64_t grown = container.FileSize() - sizeAtCheck;
  const uint64_t left = spaceLeft > grown ? spaceLeft - grown : 0;
  const double now = setup.now();
  if (spaceCheckedAt >= 0 && now - spaceCheckedAt < kSpaceCheckSeconds && left >= need) return true;
  // Unknown: the write itself will tell.
  spaceLeft = disk.FreeBytes().value_or(std::numeric_limits<uint64_t>::max());
  spaceCheckedAt = now;
  sizeAtCheck = container.FileSize();
  return spaceLeft >= need;
}

// Empty slots after the last frame up to the slot the recording ended in: players hold the
// last picture until the end.
bool RecordingFile::State::HoldPictureToTheEnd() {
  const std::optional<double> end = Elapsed();
  if (!end) return true;
  const double slots = std::ceil(*end * setup.framesPerSecond - 1e-6);
  const Slot written = container.Slots();
  if (written == 0 || slots <= written || slots >= UINT32_MAX) return true;
  if (container.WriteFrame(static_cast<Slot>(slots) - 1, EncodedFrame{})) return true;
  StopItself(ErrorOf(container.Failure()));
  return false;
}

// The sound so far, then the file made consistent on the disk; with its first frame there, it
// takes the recording's name.
bool RecordingFile::State::Commit() {
  if (!WriteSound(kSoundBehindSeconds)) return false;
  if (!container.Commit()) {
    StopItself(ErrorOf(container.Failure()));
    return false;
  }
  return named || framesWritten == 0 || TakeName();
}

// Replaces the file the user agreed to replace. Refused (another program holds that file in a
// way that forbids it): the recording ends, and its file, which holds less than a commit,
// goes at the finish.
bool RecordingFile::State::TakeName() {
  if (disk.TakeName()) {
    named = true;
    return true;
  }
  StopItself(EngineError::NameNotTaken);
  return false;
}

// The sound up to `behind` seconds before the recording's time now.
bool RecordingFile::State::WriteSound(double behind) {
  if (!setup.sound) return true;
  pcm.clear();
  {
    std::lock_guard<std::mutex> lock(borrowed);
    if (abandoned) return true;
    setup.sound->Produce(setup.elapsed() - behind, &pcm);
  }
  if (pcm.empty() || container.WriteSound(pcm.data(), pcm.size() / 2)) return true;
  StopItself(ErrorOf(container.Failure()));
  return false;
}

// Picture and sound both up to the recording's end (its clock is stopped by now), so they end
// together even when the last slots got no frame (a machine too busy to capture); then the file
// is finished with every frame written whole, whatever stopped the writing. A file that never
// took the recording's name (no frame reached the disk, or the start was given up) is removed:
// a file of that name stays as it was.
void RecordingFile::State::Finish() {
  if (discard || !named) {
    disk.Remove();
    return;
  }
  if (stoppedBy == EngineError::None && HoldPictureToTheEnd()) WriteSound(0);
  if (!container.Close() && stoppedBy == EngineError::None)
    finishResult = ErrorOf(container.Failure());
  disk.Close();
}

void RecordingFile::State::StopItself(EngineError why) {
  EngineError none = EngineError::None;
  stoppedBy.compare_exchange_strong(none, why);
  queue.Discard();
}

std::optional<double> RecordingFile::State::Elapsed() {
  std::lock_guard<std::mutex> lock(borrowed);
  if (abandoned || !setup.elapsed) return std::nullopt;
  return setup.elapsed();
}

EngineError RecordingFile::Open(Setup setup) {
  Close();
  result_ = stoppedBy_ = EngineError::None;
  dropped_ = framesWritten_ = 0;
  named_ = false;
  nextSlot_ = 0;
  if (!setup.encoder || !setup.container || !setup.disk || setup.buffers.empty() ||
      setup.frameBytes == 0)
    return result_ = EngineError::CodecRefused;
  if (!setup.now) setup.now = SteadySeconds;
  if (!setup.wait) setup.wait = tk::SleepUntil;
  if (setup.sound && !setup.elapsed) setup.sound = nullptr;
  s_ = std::make_shared<State>(std::move(setup));
  s_->thread = std::thread([s = s_] { s->Run(); });
  running_ = true;
  if (!WaitForWriter(s_->opened)) return result_;
  if (s_->openResult == EngineError::None) return EngineError::None;
  const EngineError failed = s_->openResult;
  Close();
  return result_ = failed;
}

// Waits for the writer's thread to set `flag`. One that does not in time is left behind, with
// the memory it uses and without the borrowed sound and clock: the recording is NotAnswering.
bool RecordingFile::WaitForWriter(const std::atomic<bool>& flag) {
  if (s_->setup.wait([&] { return flag.load(); }, s_->setup.answerSeconds)) return true;
  {
    std::lock_guard<std::mutex> lock(s_->borrowed);
    s_->abandoned = true;
  }
  s_->queue.Discard();
  s_->thread.detach();
  running_ = false;
  result_ = EngineError::NotAnswering;
  LetGo();
  return false;
}

// What the owner still reads of a recording that ended is kept; the writer's state goes (its
// queue holds synchronisation handles, its encoder and container memory).
void RecordingFile::LetGo() {
  named_ = s_->named && !s_->discard;
  stoppedBy_ = s_->stoppedBy;
  dropped_ = s_->queue.Dropped();
  framesWritten_ = s_->framesWritten;
  s_.reset();
}

std::optional<QueuedFrame> RecordingFile::Acquire(Slot slot, bool waitForRoom) {
  if (!Accepting() || slot < nextSlot_) return std::nullopt;
  std::optional<QueuedFrame> frame;
  if (!waitForRoom) {
    frame = s_->queue.Acquire(slot);
  } else {
    s_->setup.wait([&] { return (frame = s_->queue.AcquireWithin(slot, 0)) || !Accepting(); },
                   s_->setup.answerSeconds);
  }
  if (frame) nextSlot_ = slot + 1;
  return frame;
}

void RecordingFile::Submit(const QueuedFrame& frame) {
  if (s_) s_->queue.Submit(frame);
}

EngineError RecordingFile::Close(bool keep) {
  if (!running_) return result_;
  running_ = false;
  if (!keep) {
    s_->discard = true;
    s_->queue.Discard();
  }
  s_->queue.Close();
  if (!WaitForWriter(s_->finished)) return result_;
  s_->thread.join();
  const EngineError stopped = s_->stoppedBy;
  result_ = stopped != EngineError::None ? stopped : s_->finishResult;
  LetGo();
  return result_;
}

bool RecordingFile::Accepting() const {
  return running_ && s_ && s_->stoppedBy == EngineError::None;
}

EngineError RecordingFile::StoppedBy() const { return s_ ? s_->stoppedBy.load() : stoppedBy_; }

uint32_t RecordingFile::Dropped() const { return s_ ? s_->queue.Dropped() : dropped_; }

bool RecordingFile::Named() const { return s_ ? s_->named && !s_->discard : named_; }

uint32_t RecordingFile::FramesWritten() const {
  return s_ ? s_->framesWritten.load() : framesWritten_;
}

}  // namespace orvik
