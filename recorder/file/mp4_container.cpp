#include "recorder/file/mp4_container.h"

#include "sound/sound_timeline.h"

namespace orvik {

namespace {

// The AAC packets the encoder still holds at Close: its priming, its look-ahead and the last
// short frame, each at most 6144 bits a channel.
constexpr uint64_t kSoundDrainBytes = 4 * 2 * 768;

}  // namespace

Mp4Container::Mp4Container(std::unique_ptr<SoundEncoder> sound, mp4::RecordingId id)
    : sound_(std::move(sound)), id_(id) {}

bool Mp4Container::Open(RecordingDisk& disk, const EncodedVideo& video, int framesPerSecond,
                        bool withSound) {
  sink_.disk = &disk;
  withSound_ = withSound;
  soundFailed_ = false;
  if (framesPerSecond < 1) return false;
  mp4::VideoFormat picture;
  picture.width = video.width;
  picture.height = video.height;
  picture.sps = video.sps;
  picture.pps = video.pps;
  picture.framesPerSecond = static_cast<uint32_t>(framesPerSecond);
  mp4::WriterOptions options;
  options.recordingId = id_;
  if (!withSound) return writer_.Open(sink_, picture, nullptr, options);
  if (!sound_ || !sound_->Open(sound::kOutputRate, sound::kOutputChannels)) return false;
  mp4::SoundFormat aac;
  aac.audioSpecificConfig = sound_->DecoderConfig();
  aac.sampleRate = sound::kOutputRate;
  aac.channels = sound::kOutputChannels;
  aac.priming = sound_->Priming();
  return writer_.Open(sink_, picture, &aac, options);
}

bool Mp4Container::WriteFrame(Slot slot, const EncodedFrame& frame) {
  return writer_.WriteVideo(slot, frame.data, frame.size, frame.key);
}

bool Mp4Container::WritePacket(const uint8_t* data, uint32_t size) {
  return writer_.WriteSound(data, size);
}

bool Mp4Container::SoundFailed() {
  // A packet the file refused is the file's failure; anything else is the encoder's.
  if (writer_.LastRefusal() == mp4::Refusal::None) soundFailed_ = true;
  return false;
}

bool Mp4Container::WriteSound(const int16_t* pcm, size_t frames) {
  if (!withSound_ || soundFailed_) return false;
  const auto write = [this](const uint8_t* data, uint32_t size) { return WritePacket(data, size); };
  return sound_->Encode(pcm, frames, write) || SoundFailed();
}

bool Mp4Container::Commit() { return writer_.Flush(); }

// The sound's last packets and its true length, then the finished file, whatever failed before.
bool Mp4Container::Close() {
  bool ok = true;
  if (withSound_ && !soundFailed_ && writer_.IsOpen()) {
    const auto write = [this](const uint8_t* data, uint32_t size) {
      return WritePacket(data, size);
    };
    ok = sound_->Drain(write) || SoundFailed();
    writer_.SetSoundLength(sound_->FramesFed());
  }
  withSound_ = false;
  return writer_.Close() && ok && !soundFailed_;
}

ContainerError Mp4Container::Failure() const {
  switch (writer_.LastRefusal()) {
    case mp4::Refusal::None:
      return soundFailed_ ? ContainerError::WriteFailed : ContainerError::None;
    case mp4::Refusal::SampleTooLarge:
      return ContainerError::FrameTooLarge;
    case mp4::Refusal::MovieFull:
      return ContainerError::FileFull;
    case mp4::Refusal::Io:
      return writer_.Failure() == mp4::IoStatus::DiskFull ? ContainerError::DiskFull
                                                          : ContainerError::WriteFailed;
    default:
      return ContainerError::WriteFailed;
  }
}

uint64_t Mp4Container::BytesNeededFor(uint32_t size) const {
  return writer_.BytesNeededFor(size) + (withSound_ ? kSoundDrainBytes : 0);
}

}  // namespace orvik
