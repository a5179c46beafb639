// The comparison that tells a still screen: a single byte changed anywhere, in the wide steps or
// the tail after them, makes two frames different.
#include "recorder/encode/same_frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(SameFrame, OneChangedByteAnywhereIsADifferentFrame) {
  for (size_t bytes : {0, 1, 63, 64, 65, 200, 4096 + 17}) {
    std::vector<uint8_t> a(bytes), b(bytes);
    for (size_t i = 0; i < bytes; ++i) a[i] = b[i] = static_cast<uint8_t>(i * 7);
    EXPECT_TRUE(orvik::SameFrame(a.data(), b.data(), bytes)) << bytes;
    for (size_t i = 0; i < bytes; ++i) {
      b[i] ^= 0x80;
      EXPECT_FALSE(orvik::SameFrame(a.data(), b.data(), bytes)) << bytes << " at " << i;
      b[i] ^= 0x80;
    }
  }
}

}  // namespace
