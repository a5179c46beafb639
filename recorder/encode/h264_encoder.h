#pragma once
// The recording's picture as H.264 for an MP4 file: openh264 (BSD) in its real-time camera
// mode at medium complexity, Main profile, no B-frames, a key frame every 2 seconds, BT.601 limited
// range signalled in the stream (BT.709 primaries and transfer, a screen's). A frame the same as
// the one before is no new picture (a still screen costs the comparison alone). Frames leave as
// 4-byte length-prefixed NAL units; the SPS and PPS go to EncodedVideo once, for the file's header.
// A frame of an odd size loses its last column or bottom row (see BgraToI420). No <windows.h>.
#include <cstdint>
#include <memory>
#include <vector>

#include "recorder/encode/frame_encoder.h"

namespace orvik {

// How the encoder spends bits; the defaults are what recordings use (bench/h264_bench.cpp
// weighs them against quality).
struct H264Tuning {
  // Rate control off: every frame at this quantiser (0..51; lower is better and larger).
  int qp = 24;
  // Seconds between key frames.
  int keyFrameSeconds = 2;
  // openh264's screen-content mode (its tools for text and flat areas) or its camera mode.
  // Chosen by measurement (bench/h264_bench.cpp, the capture bench's "mp4"): on a 1080p desktop
  // camera mode costs half the CPU a frame (5.5-8 ms against 12-18) for about 1.1x the bytes,
  // and at x264 veryfast's SSIM 0.98x its bytes where screen-content mode needs 1.01x.
  bool screenContent = false;
};

// Null when the program was built without the encoder's library. `frameFormat` is the frames'
// BITMAPINFOHEADER: 32-bit BI_RGB only.
std::unique_ptr<FrameEncoder> MakeH264Encoder(const std::vector<uint8_t>& frameFormat,
                                              int framesPerSecond, const H264Tuning& tuning = {});

}  // namespace orvik
