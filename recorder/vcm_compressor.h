#pragma once
// Drives the codec the user picked in the system's compression dialog through the Video
// Compression Manager, frame by frame, so the compressed bytes can go to our own AVI writer
// instead of through the platform's AVI library.
#include <windows.h>

#include <vfw.h>

#include <cstdint>
#include <vector>

#include "toolkit/handles.h"

namespace orvik {

struct HicTraits {
  static HIC invalid() { return nullptr; }
  static bool valid(HIC h) { return h != nullptr; }
  static void close(HIC h) { ICClose(h); }
};
using UniqueHic = tk::Unique<HIC, HicTraits>;

class VcmCompressor {
 public:
  VcmCompressor() = default;
  ~VcmCompressor() { End(); }
  VcmCompressor(const VcmCompressor&) = delete;
  VcmCompressor& operator=(const VcmCompressor&) = delete;

  // `options`: what AVISaveOptions returned for the chosen codec (handler, key frames, quality,
  // data rate, the codec's saved state). `input`: the frames' BITMAPINFOHEADER (+ masks /
  // palette) bytes, uncompressed. False when the codec cannot take this format or cannot
  // compress at all (the caller asks for another codec); the compressor is then closed.
  bool Begin(const AVICOMPRESSOPTIONS& options, const std::vector<uint8_t>& input,
             int framesPerSecond);
  bool IsOpen() const { return open_; }
  // "Full Frames" ('DIB ' or 0): no codec, frames go to the file as they are.
  bool Uncompressed() const { return uncompressed_; }
  uint32_t Handler() const { return handler_; }  // fourcc for the stream header's fccHandler
  // BITMAPINFOHEADER (+ extra) to store as the stream format.
  const std::vector<uint8_t>& OutputFormat() const { return outFormat_; }
  uint32_t MaxFrameBytes() const { return maxFrameBytes_; }
  // Frames from one forced key frame to the next; 1 = every frame, 0 = only the first.
  uint32_t KeyFrameEvery() const { return keyEvery_; }

  // Compresses one frame laid out as the input format says. On success *data/*size point at
  // the frame's bytes (valid until the next call) and *key tells whether it is a key frame.
  bool Compress(const void* bits, bool forceKey, const uint8_t** data, uint32_t* size, bool* key);
  void End();

 private:
  bool OpenCodec(const AVICOMPRESSOPTIONS& options, int framesPerSecond);

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
  std::vector<uint8_t> out_;
  std::vector<uint8_t> prev_;  // the previous input frame, for temporal codecs that want it
  bool keepPrev_ = false;
  uint32_t keyEvery_ = 0;
  uint32_t sinceKey_ = 0;  // frames since the last key frame, that one included
  uint32_t quality_ = 0;
  uint32_t frameSize_ = 0;  // per-frame byte budget for codecs that crunch to a data rate
  LONG frameNum_ = 0;
};

}  // namespace orvik
