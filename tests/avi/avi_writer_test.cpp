// The writer's files as the machine's ffprobe and ffmpeg read them: pixels, timestamps with
// holes, segments, a layout past 4 GiB, and files cut at every write of a recording.
#include "avi/avi_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "avi/avi_tools.h"
#include "avi/posix_file_sink.h"

namespace {

using avitest::DibFormat;
using avitest::DibFrame;

// One recording: which slots get a frame, and where the caller flushes.
struct Script {
  uint32_t width = 0, height = 0;
  int bits = 32;
  std::vector<uint32_t> slots;  // increasing
  uint32_t flushEvery = 0;      // explicit Flush() after every this many frames
  avi::WriterOptions options;
};

// Runs a script against `sink`; `afterFrame` sees the writer after each frame.
[[maybe_unused]] bool Record(const Script& s, avi::Sink& sink,
            const std::function<void(const avi::Writer&)>& afterFlush = {}) {
  avi::Writer w;
  if (!w.Open(sink, DibFormat(s.width, s.height, s.bits), s.options)) return false;
  for (size_t i = 0; i < s.slots.size(); ++i) {
    const std::vector<uint8_t> frame = DibFrame(s.width, s.height, s.bits, s.slots[i]);
    if (!w.WriteFrame(s.slots[i], frame.data(), static_cast<uint32_t>(frame.size()), true))
      return false;
    if (s.flushEvery && (i + 1) % s.flushEvery == 0) {
      if (!w.Flush()) return false;
      if (afterFlush) afterFlush(w);
    }
  }
  return w.Close();
}

// Checks that `path` holds exactly the script's frames in slots below `committedSlots`:
// packet timestamps with holes, and pixel-exact pictures.
void ExpectFrames(const std::string& path, const Script& s, uint32_t committedSlots) {
  std::vector<int64_t> slots;
  for (uint32_t slot : s.slots)
    if (slot < committedSlots) slots.push_back(slot);
  const avitest::Probe probe = avitest::ProbeFile(path);
  ASSERT_TRUE(probe.ok) << probe.raw;
  EXPECT_EQ(probe.pts, slots) << probe.raw;
  const auto decoded = avitest::DecodeBgr24(path, s.width, s.height);
  ASSERT_EQ(decoded.size(), slots.size());
  for (size_t i = 0; i < slots.size(); ++i) {
    const auto expected =
        avitest::TopDownBgr24(DibFrame(s.width, s.height, s.bits, static_cast<uint32_t>(slots[i])),
                              s.width, s.height, s.bits);
    EXPECT_TRUE(decoded[i] == expected) << "frame in slot " << slots[i];
  }
}

TEST(AviWriter, FramesRoundTripThroughFfmpegAcrossSegmentsWithHoles) {
  for (int bits : {32, 24}) {
    SCOPED_TRACE(bits);
    avitest::TempDir dir;
    const std::string path = dir.File("round.avi");
    Script s;
    s.width = 40;
    s.height = 30;
    s.bits = bits;
    s.slots = {0, 1, 2, 5, 6, 7, 8, 12, 13, 20, 21, 22, 23, 24, 30, 31};
    s.flushEvery = 4;
    s.options.segmentBytes = 24 * 1024;  // four or five frames per segment
    s.options.superIndexEntries = 64;
    {
      avitest::PosixFileSink sink(path);
      ASSERT_TRUE(sink.ok());
      avi::Writer w;
      ASSERT_TRUE(w.Open(sink, DibFormat(s.width, s.height, bits, 15, 2), s.options));
      for (uint32_t slot : s.slots) {
        const auto frame = DibFrame(s.width, s.height, bits, slot);
        ASSERT_TRUE(w.WriteFrame(slot, frame.data(), static_cast<uint32_t>(frame.size()), true));
        if (slot == 8) {
          // A slot already written is refused and leaves the file alone.
          const uint64_t size = w.FileSize();
          EXPECT_FALSE(w.WriteFrame(8, frame.data(), static_cast<uint32_t>(frame.size()), true));
          EXPECT_FALSE(w.WriteFrame(3, frame.data(), static_cast<uint32_t>(frame.size()), true));
          EXPECT_EQ(w.FileSize(), size);
          EXPECT_EQ(w.FrameCount(), 9u);
        }
      }
      EXPECT_EQ(w.FrameCount(), 32u);
      EXPECT_GE(w.SegmentCount(), 4u);
      ASSERT_TRUE(w.Close());
    }
    const avitest::Probe probe = avitest::ProbeFile(path);
    ASSERT_TRUE(probe.ok) << probe.raw;
    EXPECT_EQ(probe.stream.at("width"), "40");
    EXPECT_EQ(probe.stream.at("height"), "30");
    EXPECT_EQ(probe.stream.at("r_frame_rate"), "15/2");
    EXPECT_EQ(probe.stream.at("nb_frames"), "32");  // strh length: every slot
    ExpectFrames(path, s, 32);
  }
}

}  // namespace
