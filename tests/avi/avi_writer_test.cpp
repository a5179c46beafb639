// The writer's files as the machine's ffprobe and ffmpeg read them: pixels, timestamps with
// holes, segments, a layout past 4 GiB, and files cut at every write of a recording.
#include "avi/avi_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
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

// Runs a script with `w` against `sink`: Open, the frames with the script's flushes, Close.
bool Record(const Script& s, avi::Sink& sink, avi::Writer& w) {
  if (!w.Open(sink, DibFormat(s.width, s.height, s.bits), s.options)) return false;
  for (size_t i = 0; i < s.slots.size(); ++i) {
    const std::vector<uint8_t> frame = DibFrame(s.width, s.height, s.bits, s.slots[i]);
    if (!w.WriteFrame(s.slots[i], frame.data(), static_cast<uint32_t>(frame.size()), true))
      return false;
    if (s.flushEvery && (i + 1) % s.flushEvery == 0) {
      if (!w.Flush()) return false;
      // Everything written is what a reader sees from now on.
      if (w.CommittedFrameCount() != w.FrameCount()) return false;
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

    // A reader of the legacy idx1 only sees the first RIFF, also with its holes.
    const avitest::Probe legacy = avitest::ProbeFile(path, "-use_odml 0");
    ASSERT_TRUE(legacy.ok) << legacy.raw;
    ASSERT_FALSE(legacy.pts.empty());
    EXPECT_LT(legacy.pts.size(), s.slots.size());
    EXPECT_TRUE(std::equal(legacy.pts.begin(), legacy.pts.end(), s.slots.begin()));
  }
}

// Writes everything but the payload of large writes, which stay holes in a sparse file,
// except beyond `realFrom` where frames land for real.
class SparseSink : public avitest::PosixFileSink {
 public:
  SparseSink(const std::string& path, uint64_t realFrom)
      : PosixFileSink(path), realFrom_(realFrom) {}
  bool WriteAt(uint64_t offset, const void* data, size_t size) override {
    if (size > (1u << 20) && offset < realFrom_) return true;
    return PosixFileSink::WriteAt(offset, data, size);
  }

 private:
  uint64_t realFrom_;
};

TEST(AviWriter, FilePastFourGigabytesIsReadWithEveryTimestamp) {
  avitest::TempDir dir;
  const std::string path = dir.File("big.avi");
  const uint32_t frameBytes = (4u << 20) + 1;  // odd: every chunk gets a pad byte
  const uint64_t realFrom = (4ull << 30) + (64u << 20);
  std::vector<uint8_t> frame(frameBytes);
  std::vector<int64_t> slots;
  std::vector<uint8_t> lastFrame;
  {
    SparseSink sink(path, realFrom);
    ASSERT_TRUE(sink.ok());
    avi::Writer w;
    avi::VideoFormat format = DibFormat(4096, 2048, 32, 30);
    format.handler = avi::FourCC('X', 'V', 'I', 'D');  // payloads are only counted, not decoded
    ASSERT_TRUE(w.Open(sink, format));
    for (uint32_t slot = 0; w.FileSize() < realFrom + 3 * uint64_t{frameBytes};
         slot += 1 + slot % 3) {
      frame[0] = static_cast<uint8_t>(slot);
      frame[frameBytes - 1] = static_cast<uint8_t>(slot >> 8);
      ASSERT_TRUE(w.WriteFrame(slot, frame.data(), frameBytes, slot % 5 == 0));
      slots.push_back(slot);
      if (slots.size() % 8 == 0) ASSERT_TRUE(w.Flush());
    }
    EXPECT_GE(w.SegmentCount(), 5u);
    ASSERT_TRUE(w.Close());
    EXPECT_GT(w.FileSize(), realFrom);
  }
  const avitest::Probe probe = avitest::ProbeFile(path, "-show_entries stream=codec_tag_string");
  ASSERT_TRUE(probe.ok) << probe.raw.substr(0, 2000);
  EXPECT_EQ(probe.pts, slots);
  EXPECT_EQ(probe.stream.at("nb_frames"), std::to_string(slots.back() + 1));
  ASSERT_EQ(probe.pos.size(), slots.size());
  // The last frame, past 4 GiB, is where the index says, byte for byte.
  const int64_t pos = probe.pos.back();
  ASSERT_GT(pos, int64_t{realFrom});
  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_TRUE(f);
  std::vector<uint8_t> back(frameBytes);
  ASSERT_EQ(::fseeko(f, pos, SEEK_SET), 0);
  const size_t got = std::fread(back.data(), 1, back.size(), f);
  std::fclose(f);
  ASSERT_EQ(got, back.size());
  frame[0] = static_cast<uint8_t>(slots.back());
  frame[frameBytes - 1] = static_cast<uint8_t>(slots.back() >> 8);
  EXPECT_TRUE(back == frame);
}

// Notes, for every write of a recording, how many slots were committed when it started.
class CommitLog : public avi::Sink {
 public:
  const avi::Writer* writer = nullptr;
  std::vector<uint32_t> committedAt;
  std::vector<size_t> sizes;
  bool WriteAt(uint64_t, const void*, size_t size) override {
    committedAt.push_back(writer->CommittedFrameCount());
    sizes.push_back(size);
    return true;
  }
};

// Writes to a file and kills its own process with SIGKILL when write number `cut` starts,
// after putting down the first half of that write when `torn`.
class KillingSink : public avitest::PosixFileSink {
 public:
  KillingSink(const std::string& path, size_t cut, bool torn)
      : PosixFileSink(path), cut_(cut), torn_(torn) {}
  bool WriteAt(uint64_t offset, const void* data, size_t size) override {
    if (calls_++ == cut_) {
      if (torn_) PosixFileSink::WriteAt(offset, data, size / 2);
      ::raise(SIGKILL);
    }
    return PosixFileSink::WriteAt(offset, data, size);
  }

 private:
  size_t calls_ = 0;
  size_t cut_;
  bool torn_;
};

// Runs the script in a child process that dies at write `cut`; true when it died that way.
bool RecordInChildKilledAt(const Script& s, const std::string& path, size_t cut, bool torn) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    KillingSink sink(path, cut, torn);
    avi::Writer w;
    Record(s, sink, w);
    ::_exit(0);
  }
  if (pid < 0) return false;
  int status = 0;
  for (int waited = 0; waited < 3000; ++waited) {  // at most 30 s
    if (::waitpid(pid, &status, WNOHANG) == pid)
      return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    ::usleep(10000);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  return false;
}

TEST(AviWriter, ProcessKilledAtAnyWritePlaysExactlyWhatWasCommitted) {
  Script s;
  s.width = 32;
  s.height = 32;
  s.bits = 32;  // 4 KiB frames: a torn frame write crosses a page
  s.slots = {0, 1, 3, 4, 5, 9, 10, 11, 12, 16, 17, 18, 19, 20};
  s.flushEvery = 3;
  s.options.segmentBytes = 16 * 1024;  // a segment change every two or three frames
  s.options.superIndexEntries = 16;

  CommitLog log;
  {
    avi::Writer w;
    log.writer = &w;
    ASSERT_TRUE(Record(s, log, w));
  }
  const size_t writes = log.committedAt.size();
  ASSERT_GT(writes, 60u);
  // The committed count only grows, and the last explicit flush is always covered.
  EXPECT_TRUE(std::is_sorted(log.committedAt.begin(), log.committedAt.end()));

  avitest::TempDir dir;
  for (size_t cut = 1; cut <= writes; ++cut) {
    for (bool torn : {false, true}) {
      if (torn && (cut == writes || log.sizes[cut] < 2048)) continue;
      SCOPED_TRACE("killed at write " + std::to_string(cut) + (torn ? " (torn)" : ""));
      const std::string path = dir.File("cut" + std::to_string(cut) + (torn ? "t" : "") + ".avi");
      ASSERT_EQ(RecordInChildKilledAt(s, path, cut, torn), cut < writes);
      const uint32_t committed = cut < writes ? log.committedAt[cut] : 21;
      ExpectFrames(path, s, committed);
      if (::testing::Test::HasFailure()) return;
      std::remove(path.c_str());
    }
  }
}

}  // namespace
