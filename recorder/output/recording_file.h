#pragma once
// One recording's file. The frames captured for it go through a small queue to a thread of its
// own, which opens the encoder, compresses each frame, hands it to the container and commits the
// file to the disk every 0.4 s; the sound is taken from its source on the same rhythm. At
// the end it holds the picture to the recording's last moment, finishes the file and closes the
// encoder, which is used on that one thread only, from open to close.
//
//   capture -> FrameQueue -> FrameEncoder -> ContainerWriter -> RecordingDisk (writer's thread)
//
// No <windows.h>: the clock, the disk, the encoder, the container and the sound come in as
// interfaces, so the writer's timing is tested natively. The owner's waits for the writer's
// thread are bounded: an encoder or a disk that stops answering is left behind with everything
// it uses, and the recording ends as NotAnswering.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "recorder/encode/frame_encoder.h"
#include "recorder/file/container_writer.h"
#include "recorder/file/recording_disk.h"
#include "recorder/output/engine_error.h"
#include "recorder/output/frame_queue.h"
#include "sound/sound_source.h"
#include "toolkit/bounded_wait.h"

namespace orvik {

class RecordingFile {
 public:
  struct Setup {
    // The buffers frames are captured into, `frameBytes` each; with `buffersHaveRoom` each has
    // the frame room around it. `buffersOwner` keeps them alive as long as the writer's thread
    // may read them.
    std::vector<uint8_t*> buffers;
    size_t frameBytes = 0;
    bool buffersHaveRoom = false;
    std::shared_ptr<void> buffersOwner;
    int framesPerSecond = 10;
    std::unique_ptr<FrameEncoder> encoder;
    std::unique_ptr<ContainerWriter> container;
    std::unique_ptr<RecordingDisk> disk;
    // Sound recorded beside the picture (none: a recording without sound), and the recording's
    // time so far (frozen while paused; its whole length once stopped), which the sound follows
    // and to which the picture is held at the end. Borrowed: not used after Close returns.
    sound::SoundSource* sound = nullptr;
    std::function<double()> elapsed;
    // Monotonic seconds: the commit rhythm and the free-space checks.
    std::function<double()> now;
    // The owner's bounded wait: on Windows the one that lets the messages other threads send
    // to the waiting thread run meanwhile (a codec may send one).
    tk::BoundedWait wait = tk::SleepUntil;
    // How long an open or a close waits for the writer's thread before leaving it behind.
    double answerSeconds = 15;
  };

  RecordingFile() = default;
  ~RecordingFile() { Close(); }
  RecordingFile(const RecordingFile&) = delete;
  RecordingFile& operator=(const RecordingFile&) = delete;

  // Starts the writer's thread, which opens the encoder and only then makes the file under a
  // name of its own and puts down an empty file that plays. Returns once that is done: None
  // when frames can come; CodecRefused, FileNotCreated (nothing left on the disk) or
  // NotAnswering otherwise. A file of the recording's name stays untouched until the first
  // frame is on the disk: only then does the new file take that name.
  EngineError Open(Setup setup);

  // A buffer to capture the frame of `slot` into; none when the slot is not after the last one
  // handed over, the file takes no more frames, or every buffer still waits for the writer (the
  // slot then stays empty and is counted as dropped; with `waitForRoom`, the call waits).
  std::optional<QueuedFrame> Acquire(Slot slot, bool waitForRoom = false);
  void Submit(const QueuedFrame& frame);

  // Writes what is queued, holds the picture to the end, finishes the file and closes the
  // encoder. Returns what ended the recording badly, if anything: the error that stopped the
  // writer's thread earlier, or one met while finishing. Safe to call again (returns the same).
  // Without `keep` (a start given up), what is queued is dropped and the file removed. A file
  // that never took the recording's name is removed either way.
  EngineError Close(bool keep = true);

  bool Accepting() const;
  // The first slot not handed over yet: earlier ones are refused.
  Slot NextSlot() const { return nextSlot_; }
  // What stopped the writer's thread by itself; None while it runs well.
  EngineError StoppedBy() const;
  uint32_t Dropped() const;
  // Whether the file has the recording's name, which it takes with its first frame on the disk
  // (after Close: whether it stayed).
  bool Named() const;
  // Frames in the file so far (slots left empty are not frames).
  uint32_t FramesWritten() const;

 private:
  struct State;
  static void Run(const std::shared_ptr<State>& s);
  bool WaitForWriter(const std::atomic<bool>& flag);
  void LetGo();

  std::shared_ptr<State> s_;  // while the writer's thread is in use
  Slot nextSlot_ = 0;         // the owner's: the first slot not handed over yet
  bool running_ = false;
  // What stays readable once the writer's thread is done.
  EngineError result_ = EngineError::None, stoppedBy_ = EngineError::None;
  uint32_t dropped_ = 0, framesWritten_ = 0;
  bool named_ = false;
};

}  // namespace orvik
