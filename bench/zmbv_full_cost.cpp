// The encoder's source compiled again with the full count, in a namespace of its own so that
// it links beside the real one.
#define ORVIK_ZMBV_FULL_COST
#define zmbv zmbv_full_cost
#include "codec/zmbv_encoder.cpp"
#undef zmbv

#include "zmbv_full_cost.h"

namespace fullcost {

struct Encoder::Impl {
  orvik::zmbv_full_cost::Encoder encoder;
};

Encoder::Encoder(int width, int height) : impl_(std::make_unique<Impl>()) {
  impl_->encoder.Begin(width, height, orvik::zmbv_full_cost::PixelFormat::kBgrx32);
}

Encoder::~Encoder() = default;

bool Encoder::Encode(const uint8_t* pixels, ptrdiff_t stride, std::vector<uint8_t>& out) {
  return impl_->encoder.Encode(pixels, stride, false, out).size > 0;
}

}  // namespace fullcost
