#pragma once
// A lossless screen codec in the ZMBV bitstream: a frame is cut into 16x16 blocks, each block
// is a motion vector into the previous frame plus, where that is not exact, the XOR against
// it; a frame's bytes go through one zlib stream that restarts at every key frame. Screens
// change little between frames, so an unchanged block costs two zero bytes before deflate.
// No <windows.h>: built natively too, tested under the sanitizers and fuzzed.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace orvik::zmbv {

// Pixel layouts as Windows DIBs hold them in memory (little-endian).
enum class PixelFormat {
  kPal8,    // 8-bit indices into a 256-entry palette
  kRgb555,  // 16-bit x1r5g5b5 (BI_RGB)
  kRgb565,  // 16-bit r5g6b5 (BI_BITFIELDS)
  kBgr24,   // 24-bit B, G, R; stored as kBgrx32 (decoders rarely accept 24-bit ZMBV)
  kBgrx32,  // 32-bit B, G, R, x
};

int BytesPerPixel(PixelFormat format);
// Output room that always suffices for one frame of that size.
size_t MaxFrameBytes(int width, int height, PixelFormat input);
// The layout a stream made from `input` decodes to: kBgr24 becomes kBgrx32.
PixelFormat StoredFormat(PixelFormat input);

// Palette as the stream carries it: 256 R, G, B triplets.
using Palette = std::array<uint8_t, 768>;

// Frame flags, the first byte of every frame.
constexpr uint8_t kFlagKeyFrame = 0x01;
constexpr uint8_t kFlagPalette = 0x02;
constexpr size_t kKeyHeaderBytes = 7;  // flags, version 0.1, compression, format, block w, h
constexpr int kBlockSize = 16;
constexpr int kMaxDimension = 16384;

// How delta frames are deflated. Key frames always go through zlib, whose string matching
// finds the repeats of a whole screen.
enum class DeltaCoder {
  // Runs and Huffman codes (QuickDeflater): on the bench's scenes 3-4 times faster than zlib
  // at level 1 on moving video, and smaller on every scene measured.
  kQuick,
  kZlib,  // zlib with the settings below, as every frame was before
};

struct Options {
  // Frames from one key frame to the next; 0: ten seconds' worth at framesPerSecond.
  uint32_t keyFrameInterval = 0;
  double framesPerSecond = 10;
  int zlibLevel = 1;
  int zlibStrategy = 0;  // Z_DEFAULT_STRATEGY
  // Motion vectors are searched up to this far (pixels, at most 63) in each direction.
  int searchRange = 63;
  DeltaCoder deltaCoder = DeltaCoder::kQuick;
};

struct Encoded {
  size_t size = 0;  // 0: the frame could not be written (output too small, zlib failure)
  bool key = false;
};

class Encoder {
 public:
  Encoder();
  ~Encoder();
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  // Starts a new stream; the next frame is a key frame. False for sizes or formats it
  // cannot take.
  bool Begin(int width, int height, PixelFormat format, const Options& options = {});
  void End();
  // Palette of the next frames (kPal8); a change is carried by the next frame.
  void SetPalette(const Palette& rgb);

  // Output room that always suffices for one frame.
  size_t MaxFrameBytes() const;
  uint32_t KeyFrameInterval() const { return keyInterval_; }

  // Encodes the frame at `pixels`: `stride` bytes from one top row to the next, negative
  // for a bottom-up DIB (pass the address of its top row). A key frame is written when
  // forceKey is set, the interval is due, or the previous frame failed.
  Encoded Encode(const uint8_t* pixels, ptrdiff_t stride, bool forceKey, uint8_t* out,
                 size_t capacity);
  Encoded Encode(const uint8_t* pixels, ptrdiff_t stride, bool forceKey, std::vector<uint8_t>& out);

 private:
  struct State;
  std::unique_ptr<State> s_;
  uint32_t keyInterval_ = 0;
};

enum class DecodeResult { kKeyFrame, kDeltaFrame, kError };

// Decodes a stream frame by frame. It trusts nothing in the data: a bad frame is refused,
// and so is every delta frame after it until the next key frame.
class Decoder {
 public:
  Decoder();
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // The frame size comes from the container; the stream does not carry it.
  bool Begin(int width, int height);
  DecodeResult Decode(const uint8_t* data, size_t size);

  int Width() const;
  int Height() const;
  // Valid after the first decoded key frame.
  PixelFormat Format() const;
  const Palette& CurrentPalette() const;
  // The current frame, top-down rows of Width() * BytesPerPixel(Format()) bytes.
  const uint8_t* Pixels() const;
  // Copies the current frame out, `stride` as for Encoder::Encode. `format` is Format(),
  // kBgr24 from a kBgrx32 stream, or the other 16-bit layout from a 16-bit one (a VfW host
  // asks for a layout before the stream has said which it holds). False when no frame was
  // decoded or the format cannot be made.
  bool CopyTo(uint8_t* dst, ptrdiff_t stride, PixelFormat format) const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace orvik::zmbv
