// The encoder's source compiled again without SSE2, in a namespace of its own so that it links
// beside the real one; the quick coder it calls comes along into that namespace unchanged.
#define ORVIK_ZMBV_PORTABLE
#define zmbv zmbv_portable
#include "codec/quick_deflate.cpp"
#include "codec/zmbv_encoder.cpp"
#undef zmbv

#include "zmbv_portable.h"

namespace portable {

struct Encoder::Impl {
  orvik::zmbv_portable::Encoder encoder;
};

Encoder::Encoder(int width, int height) : impl_(std::make_unique<Impl>()) {
  impl_->encoder.Begin(width, height, orvik::zmbv_portable::PixelFormat::kBgrx32);
}

Encoder::~Encoder() = default;

bool Encoder::Encode(const uint8_t* pixels, ptrdiff_t stride, std::vector<uint8_t>& out) {
  return impl_->encoder.Encode(pixels, stride, false, out).size > 0;
}

}  // namespace portable
