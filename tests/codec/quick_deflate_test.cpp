// The quick coder against zlib's inflate: every kind of input comes back exactly, frame after
// frame in one stream as a player reads them, and a buffer too small is refused unwritten.
#include "codec/quick_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using orvik::zmbv::QuickDeflater;

struct Input {
  std::string name;
  std::vector<uint8_t> bytes;
};

// Inputs at the coder's edges: nothing, less than one 8-byte look, runs at each distance and of
// the shortest lengths, one byte value only, noise (stored), XORed video, several blocks.
std::vector<Input> Inputs(size_t pixel, size_t row) {
  std::mt19937 rng(7);
  std::vector<Input> in = {
      {"empty", {}}, {"one byte", {42}}, {"seven bytes", {1, 2, 3, 4, 5, 6, 7}}};
  in.push_back({"zeros over several blocks", std::vector<uint8_t>(100000, 0)});
  in.push_back({"one value", std::vector<uint8_t>(70, 9)});
  std::vector<uint8_t> pixels(5000), rows(5000), shortRuns, noise(70000), video(90000);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i % pixel * 37 + 1);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i % row * 11 + i / 7);
  for (int len = 1; len < 12; ++len)
    for (int k = 0; k < 3 * len; ++k) shortRuns.push_back(static_cast<uint8_t>(len + k / len));
  for (uint8_t& b : noise) b = static_cast<uint8_t>(rng());
  for (size_t i = 0; i < video.size(); ++i) video[i] = i % 4 == 3 ? 0 : rng() % 3;
  in.push_back({"a pixel repeated", pixels});
  in.push_back({"a row repeated", rows});
  in.push_back({"runs of one to eleven", shortRuns});
  in.push_back({"noise", noise});
  in.push_back({"video XOR", video});
  return in;
}

TEST(QuickDeflater, EveryInputInflatesBackFrameAfterFrameAndTooLittleRoomIsRefused) {
  for (const auto& [pixel, row] : {std::pair<size_t, size_t>{1, 16}, {2, 32}, {4, 64}}) {
    SCOPED_TRACE(testing::Message() << pixel << "-byte pixels");
    z_stream zs{};
    ASSERT_EQ(inflateInit2(&zs, -15), Z_OK);
    QuickDeflater coder;
    for (const Input& input : Inputs(pixel, row)) {
      SCOPED_TRACE(input.name);
      const size_t size = input.bytes.size();
      // Exactly the room Bound promises: the sanitizer catches a byte written past it.
      std::vector<uint8_t> out(QuickDeflater::Bound(size));
      const size_t n = coder.Deflate(input.bytes.data(), size, pixel, row, out.data(), out.size());
      ASSERT_GT(n, 4u);
      // Each frame ends as Z_SYNC_FLUSH ends one: an empty stored block.
      EXPECT_EQ(std::memcmp(out.data() + n - 4, "\x00\x00\xff\xff", 4), 0);
      if (input.name == "zeros over several blocks") EXPECT_LT(n, size / 100);
      if (input.name == "noise") EXPECT_LE(n, size + 5 * (size / 32768 + 2));  // stored
      std::vector<uint8_t> back(size + 16);
      zs.next_in = out.data();
      zs.avail_in = static_cast<uInt>(n);
      zs.next_out = back.data();
      zs.avail_out = static_cast<uInt>(back.size());
      const int rc = inflate(&zs, Z_SYNC_FLUSH);
      ASSERT_TRUE(rc == Z_OK || rc == Z_BUF_ERROR) << rc << " " << (zs.msg ? zs.msg : "");
      ASSERT_EQ(zs.avail_in, 0u);
      ASSERT_EQ(back.size() - zs.avail_out, size);
      EXPECT_TRUE(std::equal(input.bytes.begin(), input.bytes.end(), back.begin()));
      if (input.name == "noise") {
        std::vector<uint8_t> half(size / 2);
        EXPECT_EQ(coder.Deflate(input.bytes.data(), size, pixel, row, half.data(), half.size()),
                  0u);
      }
    }
    inflateEnd(&zs);
  }
}

}  // namespace
