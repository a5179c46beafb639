#pragma once
// The recording's picture on its way to the file: frames in the capture's layout go in,
// compressed frames come out. Which codec does the work (one the user picked through the
// system, our own, or none) is settled at start; the file's writer only sees this. No
// <windows.h>.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "recorder/file/slot.h"

namespace orvik {

// Bytes a frame's buffer keeps free before and after its data, so that the file's writer can put
// its own header and padding around the frame and write all of it at once.
constexpr size_t kFrameRoomBefore = 8;
constexpr size_t kFrameRoomAfter = 1;

struct EncodedFrame {
  uint8_t* data = nullptr;
  uint32_t size = 0;  // 0: no new picture (players hold the one before)
  bool room = false;  // the kFrameRoomBefore / kFrameRoomAfter bytes around `data` are free
  bool key = false;
};

// What the file stores about the compressed picture.
struct EncodedVideo {
  uint32_t width = 0, height = 0;
  uint32_t fourcc = 0;          // the codec's four-character code
  std::vector<uint8_t> format;  // BITMAPINFOHEADER (+ extra) of the frames as stored
  // H.264 only: its parameter sets, out of band (no start codes), for the MP4 file's header.
  std::vector<uint8_t> sps, pps;
};

class FrameEncoder {
 public:
  virtual ~FrameEncoder() = default;
  // On the writer's thread, before anything else. False: the codec cannot take these frames.
  virtual bool Open() = 0;
  // After a successful Open.
  virtual const EncodedVideo& Video() const = 0;
  // One frame in the capture's layout; with `bitsHaveRoom`, its buffer has the frame room around
  // it. *out stays valid until the next call. False: the codec failed on this frame.
  virtual bool Encode(uint8_t* bits, bool bitsHaveRoom, EncodedFrame* out) = 0;
  // Whether the encoder wants each frame beside the one written before it (EncodeAfter): the
  // writer then keeps that frame's buffer until the next frame is encoded.
  virtual bool ComparesFrames() const { return false; }
  // Encode, given the recording's slot of the frame and the frame written before it (null for
  // the first): an encoder that compares frames may answer "no new picture" for a repeat.
  virtual bool EncodeAfter(const uint8_t* previous, Slot slot, uint8_t* bits, bool bitsHaveRoom,
                           EncodedFrame* out) {
    (void)previous;
    (void)slot;
    return Encode(bits, bitsHaveRoom, out);
  }
  // On the writer's thread, last; also after a failed Open.
  virtual void Close() = 0;
};

}  // namespace orvik
