#include "recorder/file/avi_container.h"

#include <vector>

#include "sound/sound_timeline.h"

namespace orvik {

namespace {

static_assert(avi::kChunkRoomBefore <= kFrameRoomBefore && avi::kChunkRoomAfter <= kFrameRoomAfter,
              "a frame's room holds a chunk's header and pad byte");

constexpr uint32_t kVideoStream = 0;
constexpr uint32_t kSoundStream = 1;

}  // namespace

AviContainer::AviContainer(uint64_t segmentBytes) : segmentBytes_(segmentBytes) {}

bool AviContainer::Open(RecordingDisk& disk, const EncodedVideo& video, int framesPerSecond,
                        bool withSound) {
  sink_.disk = &disk;
  withSound_ = withSound;
  avi::StreamFormat picture;
  picture.video.width = video.width;
  picture.video.height = video.height;
  picture.video.handler = video.fourcc;
  picture.video.bitmapInfo = video.format;
  picture.video.rate = static_cast<uint32_t>(framesPerSecond);
  picture.video.scale = 1;
  std::vector<avi::StreamFormat> streams = {picture};
  if (withSound) {
    avi::StreamFormat sound;
    sound.kind = avi::StreamFormat::Kind::Audio;
    sound.audio.channels = sound::kOutputChannels;
    sound.audio.samplesPerSecond = sound::kOutputRate;
    sound.audio.bitsPerSample = 16;
    streams.push_back(sound);
  }
  avi::WriterOptions options;
  options.segmentBytes = segmentBytes_;
  return writer_.Open(sink_, streams, options);
}

bool AviContainer::WriteFrame(Slot slot, const EncodedFrame& frame) {
  const avi::Payload payload{frame.data, frame.size, frame.room};
  return writer_.WriteFrame(kVideoStream, slot, payload, frame.key);
}

bool AviContainer::WriteSound(const int16_t* pcm, size_t frames) {
  if (!withSound_) return false;
  const size_t bytes = frames * sound::kOutputChannels * sizeof(int16_t);
  return bytes <= UINT32_MAX &&
         writer_.WriteSamples(kSoundStream, pcm, static_cast<uint32_t>(bytes));
}

bool AviContainer::Commit() { return writer_.Flush(); }

bool AviContainer::Close() { return writer_.Close(); }

ContainerError AviContainer::Failure() const {
  switch (writer_.LastRefusal()) {
    case avi::Refusal::None:
      return ContainerError::None;
    case avi::Refusal::FileFull:
      return ContainerError::FileFull;
    case avi::Refusal::FrameTooLarge:
      return ContainerError::FrameTooLarge;
    case avi::Refusal::Io:
      return writer_.Failure() == avi::IoStatus::DiskFull ? ContainerError::DiskFull
                                                          : ContainerError::WriteFailed;
    default:
      return ContainerError::WriteFailed;
  }
}

uint64_t AviContainer::BytesNeededFor(uint32_t size) const {
  return writer_.BytesNeededFor(kVideoStream, size);
}

Slot AviContainer::Slots() const { return writer_.SlotCount(kVideoStream); }

}  // namespace orvik
