#pragma once
// The recording's sound on its way to a compressed file: our 48 kHz stereo mix goes in, packets
// come out. Whichever library does the work, the container only sees this. No <windows.h>.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace orvik {

class SoundEncoder {
 public:
  // One compressed packet; valid during the call it is handed to.
  using PacketSink = std::function<bool(const uint8_t* data, uint32_t size)>;

  virtual ~SoundEncoder() = default;
  // False: the encoder cannot take 16-bit sound of this rate and channel count.
  virtual bool Open(uint32_t sampleRate, uint16_t channels) = 0;
  // What a decoder needs before the first packet (an AAC AudioSpecificConfig), after Open.
  virtual const std::vector<uint8_t>& DecoderConfig() const = 0;
  // Samples the decoder gives before the first one fed in.
  virtual uint32_t Priming() const = 0;
  // `frames` interleaved frames; every packet they complete goes to `sink`. False when the
  // encoder failed or the sink refused a packet.
  virtual bool Encode(const int16_t* pcm, size_t frames, const PacketSink& sink) = 0;
  // The rest, padded to a whole packet, and what the encoder still holds; last.
  virtual bool Drain(const PacketSink& sink) = 0;
  // Frames fed in so far: the sound's true length.
  virtual uint64_t FramesFed() const = 0;
};

}  // namespace orvik
