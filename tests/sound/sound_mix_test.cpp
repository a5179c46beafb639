// The mix to 16-bit: exact where nothing is loud, bent but never wrapped or flattened where
// loud sources add up.
#include <gtest/gtest.h>

#include <cmath>

#include "sound/sound_timeline.h"

namespace orvik::sound {
namespace {

int16_t MixOne(std::vector<float> values) {
  std::vector<std::vector<float>> sources;
  std::vector<const float*> pointers;
  for (float v : values) sources.push_back({v, v});
  for (const auto& s : sources) pointers.push_back(s.data());
  int16_t out[2];
  MixToPcm16(pointers, 1, out);
  EXPECT_EQ(out[0], out[1]);
  return out[0];
}

TEST(SoundMix, BelowTheKneeSamplesFromSixteenBitsAddUpExactly) {
  for (int a = -29000; a <= 29000; a += 997)
    for (int b : {-123, 0, 1, 77, 1000}) {
      if (std::abs(a + b) > 29204) continue;  // -1 dBFS
      ASSERT_EQ(MixOne({a / 32768.0f, b / 32768.0f}), a + b) << a << " + " << b;
    }
  EXPECT_EQ(MixOne({}), 0);
  EXPECT_EQ(MixOne({NAN, 0.5f}), 0);
}

TEST(SoundMix, LoudSourcesBendTowardsFullScaleWithoutClippingOrWrapping) {
  EXPECT_LT(MixOne({1.0f, 1.0f}), 32767);
  EXPECT_GT(MixOne({1.0f, 1.0f}), 32000);
  EXPECT_GT(MixOne({-1.0f, -1.0f}), -32768);
  EXPECT_LT(MixOne({1.0f, 1.0f}), MixOne({1.0f, 1.0f, 0.5f}));
  int previous = MixOne({-8.0f});
  for (float x = -8; x <= 8; x += 1.0f / 4096) {
    const int v = MixOne({x});
    ASSERT_GE(v, previous) << x;
    ASSERT_LE(v - previous, 9) << "a jump at " << x;  // the slope never passes one
    previous = v;
  }
}

}  // namespace
}  // namespace orvik::sound
