#pragma once
// Deflate for data that string matching barely shrinks: moving video XORed with the frame
// before it. zlib spends about a hundred instructions a byte on such data whatever its level;
// this coder takes only runs (a byte or a pixel repeated) and otherwise Huffman-codes the bytes
// as they are, several times faster, often smaller. It writes the blocks of one stream that
// zlib also writes to: it starts on a byte and ends with the same marker as Z_SYNC_FLUSH, so an
// inflate that reads frame after frame cannot tell which of the two wrote a frame.
// No <windows.h>: built natively too and tested under the sanitizers.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvik::zmbv {

class QuickDeflater {
 public:
  // One block's parse: literals taken as they are, then a run of bytes repeated from one of
  // the three distances (0: a byte, 1: a pixel, 2: a row); the last entry has no run.
  struct Run {
    uint32_t literals;
    uint16_t length;
    uint8_t distance;
  };

  // Room that always suffices for `size` bytes of input: every block stored as it is, plus
  // the end marker.
  static size_t Bound(size_t size);

  // Writes `data` as deflate blocks (none of them final) plus the sync-flush marker into
  // `out`. Runs are looked for a byte, a pixel and a row (of a block's XOR data) back, and
  // reach no further back than `data` itself. Returns the bytes written; 0 when `capacity`
  // is too small.
  size_t Deflate(const uint8_t* data, size_t size, size_t pixelBytes, size_t rowBytes, uint8_t* out,
                 size_t capacity);

 private:
  std::vector<Run> runs_;  // kept from block to block, not to allocate each time
};

}  // namespace orvik::zmbv
