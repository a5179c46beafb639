#pragma once
// The layout of one input of the ZMBV fuzzer, shared with its seed writer.
//   byte 0: mode (kDecodeStream or kRoundTrip), byte 1: width - 1, byte 2: height - 1
//   decode:     frames, each a 16-bit little-endian length and that many bytes
//   round trip: byte 3: input format (0..4), then per frame one shift byte (low nibble dx,
//               high nibble dy, each minus 8) and width * height * bytes-per-pixel bytes
//               XORed over the shifted previous frame
#include <cstdint>

namespace zmbvfuzz {
constexpr uint8_t kDecodeStream = 0;
constexpr uint8_t kRoundTrip = 1;
constexpr int kMaxSide = 64;
}  // namespace zmbvfuzz
