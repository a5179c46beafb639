#include "panel/size_readout.h"

#include <gtest/gtest.h>

using namespace orvik;

namespace {
constexpr float T = 15;  // twips per pixel
}

// What the readout says while dragging is what a commit then records, whichever way the
// rectangle was dragged and however the twips round.
TEST(SizeReadout, ShowsTheSizeACommitWouldRecord) {
  const float corners[][4] = {{300 * T, 200 * T, 100 * T, 50 * T},
                              {0, 0, 1280 * T, 720 * T},
                              {7, 7, 7 + 100.5f * T, 7 + 2.5f * T},
                              {1000.4f * T, 3 * T, 10.6f * T, 900 * T}};
  for (const auto& c : corners) {
    Selection s;
    s.BeginAt(c[0], c[1]);
    s.DragTo(c[2], c[3]);
    int32_t w, h;
    s.PixelSize(&w, &h);
    ASSERT_TRUE(s.ReleaseAt(c[2], c[3]));
    const auto area = s.Commit();
    ASSERT_TRUE(area);
    EXPECT_EQ(w, area->width);
    EXPECT_EQ(h, area->height);
  }
  EXPECT_EQ(SizeReadoutText(1280, 720), L"1280 x 720");
}

TEST(SizeReadout, BoxStaysWholeOnTheScreenNextToThePointer) {
  const int W = 1920, H = 1080, bw = 100, bh = 24;
  // Room below and right: there, clear of the pointer.
  PixelRect r = ReadoutBox(500, 400, bw, bh, W, H);
  EXPECT_EQ(r.left, 500 + kReadoutGap);
  EXPECT_EQ(r.top, 400 + kReadoutGap);
  EXPECT_EQ(r.right - r.left, bw);
  EXPECT_EQ(r.bottom - r.top, bh);
  // At the right and bottom edges it goes left of and above the pointer.
  r = ReadoutBox(W - 1, H - 1, bw, bh, W, H);
  EXPECT_EQ(r.right, W - 1 - kReadoutGap);
  EXPECT_EQ(r.bottom, H - 1 - kReadoutGap);
  // Just fitting stays; one pixel more flips.
  EXPECT_EQ(ReadoutBox(W - bw - kReadoutGap, 0, bw, bh, W, H).right, W);
  EXPECT_EQ(ReadoutBox(W - bw - kReadoutGap + 1, 0, bw, bh, W, H).right,
            W - bw - 2 * kReadoutGap + 1);
  // A screen too small for either side: the box is pinned inside it.
  r = ReadoutBox(60, 10, bw, bh, 150, 30);
  EXPECT_EQ(r.left, 50);
  EXPECT_EQ(r.top, 6);
  r = ReadoutBox(10, 10, 200, bh, 150, 30);
  EXPECT_EQ(r.left, 0);
}
