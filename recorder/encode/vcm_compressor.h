#pragma once
// The codec the user picks in the system's compression dialog, driven through the Video
// Compression Manager frame by frame, so the compressed bytes go to our own file writer instead
// of through the platform's AVI library.
#include <windows.h>

#include <vfw.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recorder/encode/frame_encoder.h"
#include "toolkit/handles.h"

namespace orvik {

struct HicTraits {
  static HIC invalid() { return nullptr; }
  static bool valid(HIC h) { return h != nullptr; }
  static void close(HIC h) { ICClose(h); }
};
using UniqueHic = tk::Unique<HIC, HicTraits>;

// What the compression dialog settled, as plain values another thread can take: the codec
// and its key-frame, quality and data-rate settings, and the codec's own saved state.
struct CodecSettings {
  uint32_t handler = 0;  // fourcc; 0 or 'DIB ' is "Full Frames"
  uint32_t flags = 0;    // AVICOMPRESSF_KEYFRAMES, AVICOMPRESSF_DATARATE
  uint32_t keyFrameEvery = 0;
  uint32_t quality = static_cast<uint32_t>(ICQUALITY_DEFAULT);
  uint32_t bytesPerSecond = 0;
  std::vector<uint8_t> state;

  static CodecSettings From(const AVICOMPRESSOPTIONS& options);
};

// The description the compression dialog lists a codec under, or empty when it has none.
std::wstring CodecDescription(uint32_t handler);

// The encoder the dialog's choice names for frames of `format` (BITMAPINFOHEADER + masks /
// palette bytes): none for "Full Frames" ('DIB ' or 0), else the codec through the VCM. Null
// for a format no bitmap has.
std::unique_ptr<FrameEncoder> MakeFrameEncoder(const CodecSettings& settings,
                                               std::vector<uint8_t> format, int framesPerSecond);

// A codec the user picked through the system's dialog, driven frame by frame through the Video
// Compression Manager. Made on the GUI thread with plain values; opened, used and closed on the
// writer's thread.
class VcmCompressor : public FrameEncoder {
 public:
  // `input`: the frames' BITMAPINFOHEADER (+ masks / palette) bytes, uncompressed.
  VcmCompressor(CodecSettings settings, std::vector<uint8_t> input, int framesPerSecond);
  ~VcmCompressor() override { Close(); }
  VcmCompressor(const VcmCompressor&) = delete;
  VcmCompressor& operator=(const VcmCompressor&) = delete;

  // False when the codec cannot take this format or cannot compress at all (the caller asks
  // for another codec); the codec is then closed.
  bool Open() override;
  const EncodedVideo& Video() const override { return video_; }
  // Compressed into a buffer of the compressor's own (with the frame room around it).
  bool Encode(uint8_t* bits, bool bitsHaveRoom, EncodedFrame* out) override;
  void Close() override;

  bool IsOpen() const { return open_; }
  uint32_t MaxFrameBytes() const { return maxFrameBytes_; }

 private:
  bool OpenCodec();

  CodecSettings settings_;
  int framesPerSecond_;
  UniqueHic hic_;
  bool open_ = false;
  bool begun_ = false;  // ICCompressBegin succeeded: ICCompressEnd is owed
  EncodedVideo video_;
  std::vector<uint8_t> inFormat_;
  std::vector<uint8_t> workFormat_;  // what ICCompress writes each frame's size into
  uint32_t frameBytes_ = 0;          // one input frame
  uint32_t maxFrameBytes_ = 0;
  std::vector<uint8_t> out_;   // a compressed frame, with the frame room around it
  std::vector<uint8_t> prev_;  // the previous input frame, for temporal codecs that want it
  bool keepPrev_ = false;
  uint32_t keyEvery_ = 0;
  uint32_t sinceKey_ = 0;  // frames since the last key frame, that one included
  uint32_t quality_ = 0;
  uint32_t frameSize_ = 0;  // per-frame byte budget for codecs that crunch to a data rate
  LONG frameNum_ = 0;
};

}  // namespace orvik
