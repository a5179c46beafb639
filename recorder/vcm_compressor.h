#pragma once
// Drives the codec the user picked in the system's compression dialog through the Video
// Compression Manager, frame by frame, so the compressed bytes can go to our own AVI writer
// instead of through the platform's AVI library.
#include <windows.h>

#include <vfw.h>

#include <cstdint>
#include <string>
#include <vector>

#include "avi/avi_writer.h"
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

class VcmCompressor {
 public:
  VcmCompressor() = default;
  ~VcmCompressor() { End(); }
  VcmCompressor(const VcmCompressor&) = delete;
  VcmCompressor& operator=(const VcmCompressor&) = delete;

  // `input`: the frames' BITMAPINFOHEADER (+ masks / palette) bytes, uncompressed. False when
  // the codec cannot take this format or cannot compress at all (the caller asks for another
  // codec); the compressor is then closed. The codec is used on the thread that began it.
  bool Begin(const CodecSettings& settings, const std::vector<uint8_t>& input, int framesPerSecond);
  bool IsOpen() const { return open_; }
  // "Full Frames" ('DIB ' or 0): no codec, frames go to the file as they are.
  bool Uncompressed() const { return uncompressed_; }
  uint32_t Handler() const { return handler_; }  // fourcc for the stream header's fccHandler
  // BITMAPINFOHEADER (+ extra) to store as the stream format.
  const std::vector<uint8_t>& OutputFormat() const { return outFormat_; }
  uint32_t MaxFrameBytes() const { return maxFrameBytes_; }

  // Compresses one frame laid out as the input format says. On success *out holds the frame's
  // bytes (valid until the next call; uncompressed ones are `bits` itself, with the room
  // around them that `bitsHaveRoom` says) and *key tells whether it is a key frame.
  bool Compress(uint8_t* bits, bool bitsHaveRoom, avi::Payload* out, bool* key);
  void End();

 private:
  bool OpenCodec(const CodecSettings& settings, int framesPerSecond);

  UniqueHic hic_;
  bool open_ = false;
  bool uncompressed_ = false;
  bool begun_ = false;  // ICCompressBegin succeeded: ICCompressEnd is owed
  uint32_t handler_ = 0;
  std::vector<uint8_t> inFormat_;
  std::vector<uint8_t> outFormat_;
  std::vector<uint8_t> workFormat_;  // what ICCompress writes each frame's size into
  uint32_t frameBytes_ = 0;          // one input frame
  uint32_t maxFrameBytes_ = 0;
  std::vector<uint8_t> out_;   // a compressed frame, with the room the writer fills around it
  std::vector<uint8_t> prev_;  // the previous input frame, for temporal codecs that want it
  bool keepPrev_ = false;
  uint32_t keyEvery_ = 0;
  uint32_t sinceKey_ = 0;  // frames since the last key frame, that one included
  uint32_t quality_ = 0;
  uint32_t frameSize_ = 0;  // per-frame byte budget for codecs that crunch to a data rate
  LONG frameNum_ = 0;
};

}  // namespace orvik
