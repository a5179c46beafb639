#pragma once
// AAC-LC at 160 kbit/s from libavcodec's native encoder (cross-built from the distribution's
// source, LGPL), raw packets of 1024 samples: what every player, phone and browser takes in an
// MP4. No <windows.h>.
#include <memory>

#include "recorder/encode/sound_encoder.h"

namespace orvik {

constexpr int64_t kAacBitRate = 160000;

// Null when the program was built without the encoder's library.
std::unique_ptr<SoundEncoder> MakeAacEncoder();

}  // namespace orvik
