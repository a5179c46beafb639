#pragma once
// The layout of one input of the sound timeline fuzzer, shared with its seed writer.
//   byte 0: sample type (its value modulo 4); byte 1: channels, (b % 8) + 1 below 128, else
//   b - 128 (mostly invalid); bytes 2-3: rate / 50, little-endian (outside 8000..384000 too);
//   bytes 4-7: the channel mask, little-endian (0: the usual layout)
//   then operations, each: an op byte, then the milliseconds the clock moves on by (it stops
//   at half a second), then
//     push:    frames / 4, a pattern length (0..63, 0: no data), the pattern, tiled over the
//              packet's bytes; with kRawTime, 8 more bytes: readAt as a raw double
//     produce: lag in units of 4 ms: the writer asks for sound up to the clock minus the lag
#include <cstdint>

namespace soundfuzz {
constexpr uint8_t kKindMask = 3;
constexpr uint8_t kProduce = 3;  // other kinds push
constexpr uint8_t kSilent = 0x40;
constexpr uint8_t kRawTime = 0x80;
constexpr uint8_t kPatternMask = 63;
constexpr int kRateUnit = 50;
}  // namespace soundfuzz
