#pragma once
// One recording's file. The frames captured for it go through a small queue to a thread of its
// own, which opens the chosen codec, compresses each frame, writes it into an AVI 2.0 file and
// makes the file durable twice a second; at the end it finishes the file and closes the codec.
// The codec is used on that one thread only, from open to close. Driven from the GUI thread,
// whose waits for the writer's thread let messages sent to it run, so a codec that sends a
// message to a window cannot stall a start or a stop.
//
//   capture (GUI thread) -> FrameQueue -> VcmCompressor -> avi::Writer -> file (writer's thread)
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "avi/avi_writer.h"
#include "recorder/engine_error.h"
#include "recorder/file_sink.h"
#include "recorder/frame_queue.h"
#include "recorder/frame_surfaces.h"
#include "recorder/vcm_compressor.h"
#include "sound/wasapi/sound_recorder.h"
#include "toolkit/files.h"
#include "toolkit/handles.h"

namespace orvik {

// Largest RIFF segment of a file unless a test asks for smaller ones.
constexpr uint64_t kDefaultSegmentBytes = 1ull << 30;

class RecordingFile {
 public:
  struct Setup {
    std::wstring path;
    std::vector<uint8_t> frameFormat;  // BITMAPINFOHEADER (+ masks / palette) of the frames
    size_t frameBytes = 0;
    int framesPerSecond = 10;
    CodecSettings codec;
    uint64_t segmentBytes = kDefaultSegmentBytes;
    // Sound recorded beside the picture (none: a recording without sound), and the recording's
    // time so far (frozen while paused; its whole length once stopped), which the sound follows
    // and to which the picture is held at the end (none: the picture ends with its last frame).
    sound::SoundRecorder* sound = nullptr;
    std::function<double()> elapsed;
  };
  // A frame surface lent to the capture for one slot.
  struct Capture {
    QueuedFrame frame;
    HDC dc = nullptr;
  };

  RecordingFile() = default;
  ~RecordingFile() { Close(); }
  RecordingFile(const RecordingFile&) = delete;
  RecordingFile& operator=(const RecordingFile&) = delete;

  // Starts the writer's thread, which opens the codec on the frame format and only then
  // creates the file (replacing one of that name). Returns once both are done: None when
  // frames can come; CodecRefused or FileNotCreated (nothing left on disk) otherwise.
  EngineError Open(const Setup& setup);

  // A surface to copy the frame of `slot` into; none when the slot is not after the last one
  // handed over, the file takes no more frames, or every surface still waits for the writer
  // (the slot then stays empty and is counted as dropped; with `waitForRoom`, the call waits).
  std::optional<Capture> Acquire(Slot slot, bool waitForRoom = false);
  void Submit(const Capture& capture);
  // A frame from memory, copied in; with `waitForRoom` it waits for the writer instead of
  // being dropped (letting messages sent to this thread run). False when it was not queued.
  bool Push(Slot slot, const uint8_t* bits, bool waitForRoom);

  // Writes what is queued, finishes the file and closes the codec. Returns what ended the
  // recording badly, if anything: the error that stopped the writer's thread earlier, or one
  // met while finishing. Safe to call again (returns the same).
  EngineError Close();

  bool Accepting() const { return running_ && stoppedBy_ == EngineError::None; }
  // The first slot not handed over yet: earlier ones are refused.
  Slot NextSlot() const { return nextSlot_; }
  // What stopped the writer's thread by itself; None while it runs well.
  EngineError StoppedBy() const { return stoppedBy_; }
  uint32_t Dropped() const { return queue_ ? queue_->Dropped() : dropped_; }
  // Frames in the file so far (slots left empty are not frames).
  uint32_t FramesWritten() const { return framesWritten_; }
  const std::wstring& Path() const { return setup_.path; }

 private:
  std::optional<QueuedFrame> Lend(Slot slot, bool waitForRoom);
  void Run();  // the writer's thread
  EngineError OpenOnThisThread();
  void WriteUntilClosed();
  bool WriteOne(const QueuedFrame& frame);
  // The sound up to `behind` seconds before the recording's time now.
  bool WriteSound(double behind);
  bool HoldPictureToTheEnd();
  bool Commit();
  bool RoomOnDiskFor(uint32_t size);
  void StopItself(EngineError why);

  Setup setup_;
  FrameSurfaces surfaces_;
  std::unique_ptr<FrameQueue> queue_;
  Slot nextSlot_ = 0;  // the GUI thread's: the first slot not handed over yet
  bool running_ = false;
  EngineError result_ = EngineError::None;
  uint32_t dropped_ = 0;
  tk::UniqueHandle opened_, finished_;  // set by the writer's thread
  std::thread thread_;

  // The writer's thread's own while it runs.
  VcmCompressor compressor_;
  tk::File file_;
  FileSink sink_{file_};
  avi::Writer writer_;
  bool opaque_ = false;       // uncompressed 32-bit pixels go out with their fourth byte set
  std::vector<int16_t> pcm_;  // sound on its way to the file
  EngineError openResult_ = EngineError::None;
  double spaceCheckedAt_ = -1;
  uint64_t spaceLeft_ = 0;  // free bytes at the last check, less what was written since
  uint64_t sizeAtCheck_ = 0;
  std::atomic<EngineError> stoppedBy_{EngineError::None};
  std::atomic<uint32_t> framesWritten_{0};
};

}  // namespace orvik
