// A build without the encoders' libraries (scripts/build-codec-deps.sh was not run): MP4
// recordings are refused at start, AVI ones work as ever.
#include "recorder/encode/aac_encoder.h"
#include "recorder/encode/h264_encoder.h"

namespace orvik {

std::unique_ptr<FrameEncoder> MakeH264Encoder(const std::vector<uint8_t>&, int, const H264Tuning&) {
  return nullptr;
}

std::unique_ptr<SoundEncoder> MakeAacEncoder() { return nullptr; }

}  // namespace orvik
