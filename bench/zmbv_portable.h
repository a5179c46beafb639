#pragma once
// The screen codec's encoder built once more without its SSE2 paths, as a compiler makes the
// byte loops of the portable code. Only the bench uses it: it times both in one run, and both
// must write the same bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace portable {

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

}  // namespace portable
