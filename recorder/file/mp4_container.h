#pragma once
// The recording's file as MP4 (H.264 + AAC): our own writer (mp4/), which leaves a file that
// plays whenever the process stops and a plain MP4 at Close, over the recording's disk. The
// picture comes encoded; the sound comes as our 16-bit mix and is encoded here, since the file
// stores it only compressed. No <windows.h>.
#include <cstdint>
#include <memory>

#include "mp4/mp4_writer.h"
#include "recorder/encode/sound_encoder.h"
#include "recorder/file/container_writer.h"
#include "recorder/file/disk_sink.h"

namespace orvik {

class Mp4Container : public ContainerWriter {
 public:
  // `sound` encodes the sound when Open is asked for it (AAC; the edit list skips the priming it
  // says). `id` is the recording's, named in the file for the repair (mp4::WriterOptions).
  Mp4Container(std::unique_ptr<SoundEncoder> sound, mp4::RecordingId id);

  bool Open(RecordingDisk& disk, const EncodedVideo& video, int framesPerSecond,
            bool withSound) override;
  bool WriteFrame(Slot slot, const EncodedFrame& frame) override;
  bool WriteSound(const int16_t* pcm, size_t frames) override;
  bool Commit() override;
  bool Close() override;
  ContainerError Failure() const override;
  uint64_t BytesNeededFor(uint32_t size) const override;
  uint64_t FileSize() const override { return writer_.FileSize(); }
  Slot Slots() const override { return writer_.SlotCount(); }

 private:
  bool WritePacket(const uint8_t* data, uint32_t size);
  bool SoundFailed();

  std::unique_ptr<SoundEncoder> sound_;
  mp4::RecordingId id_;
  DiskSink sink_;
  mp4::Writer writer_;
  bool withSound_ = false;
  bool soundFailed_ = false;  // the encoder failed, not the file
};

}  // namespace orvik
