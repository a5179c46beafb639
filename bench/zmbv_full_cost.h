#pragma once
// The screen codec's encoder built once more with every block's cost counted to the end of
// the block, as it was before the count stopped once a vector could no longer win. Only the
// bench uses it: it times both ways in one run, and both must write the same bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace fullcost {

// 32-bit B, G, R, x frames with the default options, as orvik::zmbv::Encoder takes them.
class Encoder {
 public:
  Encoder(int width, int height);
  ~Encoder();
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  // The frame's bytes in `out`; false when it could not be encoded.
  bool Encode(const uint8_t* pixels, ptrdiff_t stride, std::vector<uint8_t>& out);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace fullcost
