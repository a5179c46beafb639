#include "recorder/recording_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "codec/zmbv_driver.h"
#include "recorder/recording_choices.h"
#include "toolkit/app.h"
#include "toolkit/screen.h"

namespace orvik {

namespace {

// Frames waiting for the writer: enough to ride out a slow write, bounded in memory
// (33 MB at 1920 x 1080 x 32).
constexpr size_t kQueuedFrames = 4;
// The file on the disk is made consistent at least this often while frames come in: a process
// that dies, or a machine that loses power, loses at most this much of the recording.
constexpr double kCommitSeconds = 0.5;
// Free space is asked for at most this often; in between, what was written is counted off.
constexpr double kSpaceCheckSeconds = 0.5;
// Room kept beyond what the file needs: file system blocks and metadata.
constexpr uint64_t kDiskSlack = 256 * 1024;
// Sound goes into the file this far behind the recording's time while it runs: the devices'
// packets arrive a little after the sound was made, and late ones under load.
constexpr double kSoundBehindSeconds = 0.3;
// The file's sound stream: what the sound recorder mixes.
constexpr uint32_t kSoundStream = 1;

EngineError ErrorOf(avi::IoStatus status) {
  return status == avi::IoStatus::DiskFull ? EngineError::DiskFull : EngineError::WriteFailed;
}

tk::UniqueHandle NewEvent() {
  return tk::UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

}  // namespace

EngineError RecordingFile::Open(const Setup& setup) {
  Close();
  setup_ = setup;
  result_ = EngineError::None;
  stoppedBy_ = EngineError::None;
  framesWritten_ = 0;
  dropped_ = 0;
  nextSlot_ = 0;
  if (!surfaces_.Create(setup_.frameFormat, setup_.frameBytes, kQueuedFrames))
    return EngineError::CodecRefused;  // no buffers in this format: nothing can take it
  queue_ = std::make_unique<FrameQueue>(surfaces_.Bits(), setup_.frameBytes);
  opened_ = NewEvent();
  finished_ = NewEvent();
  thread_ = std::thread(&RecordingFile::Run, this);
  running_ = true;
  tk::WaitRunningSentMessages(opened_.get());
  if (openResult_ == EngineError::None) return EngineError::None;
  const EngineError failed = openResult_;
  Close();
  result_ = failed;
  return failed;
}

std::optional<QueuedFrame> RecordingFile::Lend(Slot slot, bool waitForRoom) {
  if (!Accepting() || slot < nextSlot_) return std::nullopt;
  std::optional<QueuedFrame> frame;
  if (!waitForRoom) {
    frame = queue_->Acquire(slot);
  } else {
    // The codec may be sending this thread a message while every buffer waits for it.
    while (!(frame = queue_->AcquireWithin(slot, 5)) && !queue_->Closed()) tk::RunSentMessages();
  }
  if (frame) nextSlot_ = slot + 1;
  return frame;
}

std::optional<RecordingFile::Capture> RecordingFile::Acquire(Slot slot, bool waitForRoom) {
  const std::optional<QueuedFrame> frame = Lend(slot, waitForRoom);
  if (!frame) return std::nullopt;
  return Capture{*frame, surfaces_.DcOf(frame->bits)};
}

void RecordingFile::Submit(const Capture& capture) {
  GdiFlush();  // the drawing is in the pixels before the writer's thread reads them
  queue_->Submit(capture.frame);
}

bool RecordingFile::Push(Slot slot, const uint8_t* bits, bool waitForRoom) {
  const std::optional<QueuedFrame> frame = Lend(slot, waitForRoom);
  if (!frame) return false;
  std::memcpy(frame->bits, bits, setup_.frameBytes);
  return queue_->Submit(*frame);
}

EngineError RecordingFile::Close() {
  if (!running_) return result_;
  running_ = false;
  queue_->Close();
  tk::WaitRunningSentMessages(finished_.get());
  thread_.join();
  dropped_ = queue_->Dropped();
  queue_.reset();
  surfaces_.Release();
  if (result_ == EngineError::None) result_ = stoppedBy_;
  return result_;
}

void RecordingFile::Run() {
  openResult_ = OpenOnThisThread();
  SetEvent(opened_.get());
  if (openResult_ == EngineError::None) {
    WriteUntilClosed();
    // Picture and sound both up to the recording's end (its clock is stopped by now), so they
    // end together even when the last slots got no frame (a machine too busy to capture).
    if (stoppedBy_ == EngineError::None && HoldPictureToTheEnd()) WriteSound(0);
    // Whatever stopped the writing, the file is finished with every frame written whole.
    if (!writer_.Close() && stoppedBy_ == EngineError::None) result_ = ErrorOf(writer_.Failure());
    file_.Close();
  }
  compressor_.End();
  SetEvent(finished_.get());
}

EngineError RecordingFile::OpenOnThisThread() {
  if (!compressor_.Begin(setup_.codec, setup_.frameFormat, setup_.framesPerSecond))
    return EngineError::CodecRefused;
  file_ = tk::File::Open(setup_.path, tk::FileMode::Replace);
  if (!file_.IsOpen()) return EngineError::FileNotCreated;
  avi::VideoFormat video;
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(setup_.frameFormat.data());
  video.width = static_cast<uint32_t>(header->biWidth);
  video.height = static_cast<uint32_t>(std::abs(header->biHeight));
  video.handler = compressor_.Handler();
  video.bitmapInfo = compressor_.OutputFormat();
  video.rate = static_cast<uint32_t>(setup_.framesPerSecond);
  video.scale = 1;
  avi::WriterOptions options;
  options.segmentBytes = setup_.segmentBytes;
  std::vector<avi::StreamFormat> streams = {{avi::StreamFormat::Kind::Video, video, {}}};
  if (setup_.sound) {
    avi::AudioFormat pcm;
    pcm.channels = sound::kOutputChannels;
    pcm.samplesPerSecond = sound::kOutputRate;
    pcm.bitsPerSample = 16;
    streams.push_back({avi::StreamFormat::Kind::Audio, {}, pcm});
  }
  if (!writer_.Open(sink_, streams, options)) {
    file_.Close();
    tk::RemoveFile(setup_.path);
    return EngineError::FileNotCreated;
  }
  // Our codec stores no fourth byte; players show uncompressed ones as transparency.
  opaque_ = header->biBitCount == 32 && compressor_.Handler() != zmbv::kZmbvFourCC;
  spaceCheckedAt_ = -1;
  return EngineError::None;
}

void RecordingFile::WriteUntilClosed() {
  double lastCommit = tk::MonotonicSeconds();
  bool uncommitted = false;
  for (;;) {
    QueuedFrame frame;
    const FrameQueue::Taken taken = queue_->Take(&frame, 100);
    if (taken == FrameQueue::Taken::Closed) return;
    if (taken == FrameQueue::Taken::Frame) {
      const bool written = WriteOne(frame);
      queue_->Recycle(frame);
      if (!written) return;
      uncommitted = true;
    }
    // Sound keeps coming while no frame does (a still screen is still a frame a slot; a pause
    // is not): it is committed on the same rhythm.
    const double now = tk::MonotonicSeconds();
    if ((uncommitted || setup_.sound) && now - lastCommit >= kCommitSeconds) {
      if (!Commit()) return;
      lastCommit = now;
      uncommitted = false;
    }
  }
}

// Empty slots after the last frame up to the slot the recording ended in: players hold the
// last picture until the end.
bool RecordingFile::HoldPictureToTheEnd() {
  if (!setup_.elapsed) return true;
  const double slots = std::ceil(setup_.elapsed() * setup_.framesPerSecond - 1e-6);
  const Slot written = writer_.SlotCount(0);
  if (written == 0 || slots <= written || slots >= UINT32_MAX) return true;
  if (writer_.WriteFrame(0, static_cast<Slot>(slots) - 1, avi::Payload{}, false)) return true;
  StopItself(ErrorOf(writer_.Failure()));
  return false;
}

// The sound so far, then the file made consistent on the disk.
bool RecordingFile::Commit() {
  if (!WriteSound(kSoundBehindSeconds)) return false;
  if (writer_.Flush()) return true;
  StopItself(ErrorOf(writer_.Failure()));
  return false;
}

bool RecordingFile::WriteSound(double behind) {
  if (!setup_.sound) return true;
  pcm_.clear();
  setup_.sound->Produce(setup_.elapsed() - behind, &pcm_);
  if (pcm_.empty()) return true;
  const auto bytes = static_cast<uint32_t>(pcm_.size() * sizeof(int16_t));
  if (writer_.WriteSamples(kSoundStream, pcm_.data(), bytes)) return true;
  StopItself(ErrorOf(writer_.Failure()));
  return false;
}

bool RecordingFile::WriteOne(const QueuedFrame& frame) {
  if (opaque_) MakeOpaque(frame.bits, setup_.frameBytes);
  avi::Payload payload;
  bool key = false;
  if (!compressor_.Compress(frame.bits, surfaces_.HaveRoom(), &payload, &key)) {
    StopItself(EngineError::WriteFailed);
    return false;
  }
  if (!RoomOnDiskFor(payload.size)) {
    StopItself(EngineError::DiskFull);
    return false;
  }
  if (!writer_.WriteFrame(0, frame.slot, payload, key)) {
    StopItself(ErrorOf(writer_.Failure()));
    return false;
  }
  ++framesWritten_;
  return true;
}

// Whether the disk can take this frame and still the file's end. Free space is asked for at
// most every kSpaceCheckSeconds (it costs a call into the file system); in between, what the
// file grew by is counted off the last answer. The disk is asked again before saying no.
bool RecordingFile::RoomOnDiskFor(uint32_t size) {
  const uint64_t need = writer_.BytesNeededFor(0, size) + kDiskSlack;
  const uint64_t grown = writer_.FileSize() - sizeAtCheck_;
  const uint64_t left = spaceLeft_ > grown ? spaceLeft_ - grown : 0;
  const double now = tk::MonotonicSeconds();
  if (spaceCheckedAt_ >= 0 && now - spaceCheckedAt_ < kSpaceCheckSeconds && left >= need)
    return true;
  ULARGE_INTEGER available{};
  const std::wstring folder = tk::LongPath(FolderOfFile(setup_.path));
  if (!GetDiskFreeSpaceExW(folder.empty() ? nullptr : folder.c_str(), &available, nullptr, nullptr))
    available.QuadPart = UINT64_MAX;  // unknown: the write itself will tell
  spaceCheckedAt_ = now;
  spaceLeft_ = available.QuadPart;
  sizeAtCheck_ = writer_.FileSize();
  return spaceLeft_ >= need;
}

void RecordingFile::StopItself(EngineError why) {
  stoppedBy_ = why;
  queue_->Discard();
}

}  // namespace orvik
