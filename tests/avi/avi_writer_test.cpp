// The writer's files as the machine's ffprobe and ffmpeg read them: pixels and samples,
// timestamps with holes, segments, a layout past 4 GiB, and files cut by a kill at every
// write, by a power cut anywhere between two flushes, or by a write that fails.
#include "avi/avi_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>

#include "avi/avi_tools.h"
#include "avi/posix_file_sink.h"
#include "avi/power_cut.h"

namespace {

using avitest::Bounds;
using avitest::DibFormat;
using avitest::DibFrame;

// One recording: a video stream with frames in some slots, optionally a sound stream beside it
// (blocks after each frame), and where the caller flushes.
struct Script {
  Script(uint32_t w, uint32_t h, int b) : width(w), height(h), bits(b) {}
  void AddSound(uint16_t channels, uint32_t samplesPerSecond, uint16_t bitsPerSample,
                std::function<uint32_t(size_t)> blocks) {
    sound.channels = channels;
    sound.samplesPerSecond = samplesPerSecond;
    sound.bitsPerSample = bitsPerSample;
    soundBlocks = std::move(blocks);
  }

  uint32_t width, height;
  int bits;
  std::vector<uint32_t> slots;  // increasing
  uint32_t flushEvery = 0;      // explicit Flush() after every this many frames
  avi::AudioFormat sound;
  std::function<uint32_t(size_t)> soundBlocks;  // blocks after frame i; none: no sound stream
  avi::WriterOptions options;

  std::vector<avi::StreamFormat> Streams() const {
    std::vector<avi::StreamFormat> streams = {avitest::VideoStream(DibFormat(width, height, bits))};
    if (soundBlocks) {
      streams.push_back(
          avitest::SoundStream(sound.channels, sound.samplesPerSecond, sound.bitsPerSample));
    }
    return streams;
  }
  std::vector<uint8_t> Frame(size_t i) const { return DibFrame(width, height, bits, slots[i]); }
};

// Feeds the script to an open writer, frame by frame; stops at the first refusal.
bool Feed(const Script& s, avi::Writer& w) {
  size_t soundAt = 0;
  for (size_t i = 0; i < s.slots.size(); ++i) {
    const std::vector<uint8_t> frame = s.Frame(i);
    if (!w.WriteFrame(s.slots[i], frame.data(), static_cast<uint32_t>(frame.size()), true))
      return false;
    if (s.soundBlocks) {
      const size_t bytes = size_t{s.soundBlocks(i)} * s.sound.BlockBytes();
      const std::vector<uint8_t> pcm = avitest::SoundBytes(soundAt, bytes);
      soundAt += bytes;
      if (!w.WriteSamples(1, pcm.data(), static_cast<uint32_t>(bytes))) return false;
    }
    if (s.flushEvery && (i + 1) % s.flushEvery == 0) {
      if (!w.Flush()) return false;
      // Everything written is what a reader sees from now on.
      const Bounds counts = avitest::CountsOf(w);
      if (counts.minSlots != counts.maxSlots || counts.minBlocks != counts.maxBlocks) return false;
    }
  }
  return true;
}

// Open, the script, Close; returns how many segments the file has (0 when anything failed).
uint32_t RecordSegments(const Script& s, avi::Sink& sink, avi::Writer& w) {
  if (!w.Open(sink, s.Streams(), s.options) || !Feed(s, w)) return 0;
  const uint32_t segments = w.SegmentCount();
  return w.Close() ? segments : 0;
}

// Why ffmpeg's packets of a file are not what the script and bounds allow; empty when they
// are: a prefix of the script's frames, pixel for pixel at their slots, and a prefix of its
// sound, byte for byte.
std::string Mismatch(const Script& s, const std::vector<avitest::CrcPacket>& packets,
                     const Bounds& b) {
  size_t frames = 0;
  uint64_t soundBytes = 0;
  const uint64_t block = s.sound.BlockBytes();
  for (const avitest::CrcPacket& p : packets) {
    if (p.stream == 0) {
      if (frames >= s.slots.size() || p.pts != s.slots[frames])
        return "frame " + std::to_string(frames) + " at pts " + std::to_string(p.pts);
      const std::vector<uint8_t> bgr =
          avitest::TopDownBgr24(s.Frame(frames), s.width, s.height, s.bits);
      if (p.crc != avitest::FrameCrc(bgr)) return "pixels of frame " + std::to_string(frames);
      ++frames;
    } else {
      if (uint64_t(p.pts) * block != soundBytes)
        return "sound at pts " + std::to_string(p.pts) + " after " + std::to_string(soundBytes);
      if (p.crc != avitest::FrameCrc(avitest::SoundBytes(soundBytes, p.size)))
        return "sound bytes from " + std::to_string(soundBytes);
      soundBytes += p.size;
    }
  }
  const auto framesBelow = [&](avi::Slot slot) {
    return static_cast<size_t>(std::lower_bound(s.slots.begin(), s.slots.end(), slot) -
                               s.slots.begin());
  };
  if (frames < framesBelow(b.minSlots) || frames > framesBelow(b.maxSlots))
    return std::to_string(frames) + " frames, slots [" + std::to_string(b.minSlots) + ", " +
           std::to_string(b.maxSlots) + "]";
  const uint64_t blocks = block ? soundBytes / block : 0;
  if (blocks < b.minBlocks || blocks > b.maxBlocks)
    return std::to_string(blocks) + " sound blocks, [" + std::to_string(b.minBlocks) + ", " +
           std::to_string(b.maxBlocks) + "]";
  return "";
}

uint32_t Load32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

// The RIFFs a file starts with, following their sizes ('AVI ' first, 'AVIX' after), and where
// the last one ends.
struct Riffs {
  std::vector<uint64_t> starts;
  uint64_t end = 0;
};
Riffs RiffsOf(const avitest::Image& file) {
  Riffs riffs;
  while (riffs.end + 12 <= file.size()) {
    const uint8_t* at = &file[riffs.end];
    const uint32_t form = avi::FourCC('A', 'V', 'I', riffs.starts.empty() ? ' ' : 'X');
    if (Load32(at) != avi::kRiff || Load32(at + 8) != form) break;
    riffs.starts.push_back(riffs.end);
    riffs.end += 8 + uint64_t{Load32(at + 4)};
  }
  return riffs;
}

// What a reader that scans the chunks finds, following the RIFF and movi sizes: the video
// stream's chunks (empty ones included) and the sound stream's bytes. ffmpeg scans only the
// first RIFF ("-fflags +ignidx").
struct Scanned {
  avi::Slot slots = 0;
  uint64_t soundBytes = 0;
};
Scanned ScanChunks(const avitest::Image& file) {
  Scanned found;
  const auto scan = [&](uint64_t at, uint64_t end, auto&& each) {
    end = std::min<uint64_t>(end, file.size());
    while (at + 8 <= end) {
      const uint32_t size = Load32(&file[at + 4]);
      each(at, Load32(&file[at]), size);
      at += avi::ChunkBytes(size);
    }
  };
  for (uint64_t riff : RiffsOf(file).starts) {
    scan(riff + 12, riff + 8 + Load32(&file[riff + 4]),
         [&](uint64_t list, uint32_t id, uint32_t size) {
           if (id != avi::kList || list + 12 > file.size() ||
               Load32(&file[list + 8]) != avi::FourCC('m', 'o', 'v', 'i'))
             return;
           scan(list + 12, list + 8 + size, [&](uint64_t, uint32_t chunk, uint32_t bytes) {
             if (chunk == avi::StreamChunkId(0, 'd', 'b')) ++found.slots;
             if (chunk == avi::StreamChunkId(1, 'w', 'b')) found.soundBytes += bytes;
           });
         });
  }
  return found;
}

// Writes the images to files and has ffmpeg read them, a batch per run; each must play what
// its bounds allow. Returns the number of images that did not.
size_t ExpectPlayable(const Script& s, const std::vector<std::pair<avitest::Image, Bounds>>& cuts,
                      const std::string& inputOptions = {}) {
  avitest::TempDir dir;
  size_t bad = 0;
  constexpr size_t kBatch = 48;
  for (size_t from = 0; from < cuts.size(); from += kBatch) {
    std::vector<std::string> paths;
    for (size_t i = from; i < std::min(cuts.size(), from + kBatch); ++i) {
      paths.push_back(dir.File("cut" + std::to_string(i) + ".avi"));
      EXPECT_TRUE(avitest::WriteFile(paths.back(), cuts[i].first));
    }
    const auto played = avitest::FrameCrcs(paths, inputOptions);
    for (size_t i = 0; i < paths.size(); ++i) {
      const std::string why =
          played[i] ? Mismatch(s, *played[i], cuts[from + i].second) : "ffmpeg cannot read it";
      if (!why.empty() && ++bad <= 3) {
        const std::string keep = "/tmp/orvik_bad_cut" + std::to_string(bad) + ".avi";
        avitest::WriteFile(keep, cuts[from + i].first);
        ADD_FAILURE() << "cut " << from + i << ": " << why << " (kept as " << keep << ")";
      }
      std::remove(paths[i].c_str());
    }
  }
  return bad;
}

TEST(AviWriter, FramesRoundTripThroughFfmpegAcrossSegmentsWithHoles) {
  for (int bits : {32, 24}) {
    SCOPED_TRACE(bits);
    avitest::TempDir dir;
    const std::string path = dir.File("round.avi");
    Script s(40, 30, bits);
    s.slots = {0, 1, 2, 5, 6, 7, 8, 12, 13, 20, 21, 22, 23, 24, 30, 31};
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
          EXPECT_EQ(w.LastRefusal(), avi::Refusal::BadCall);
          EXPECT_FALSE(w.WriteSamples(0, frame.data(), 4));  // not a sound stream
          EXPECT_EQ(w.LastRefusal(), avi::Refusal::BadCall);
          EXPECT_EQ(w.FileSize(), size);
          EXPECT_EQ(w.SlotCount(), 9u);
        }
        if (slot % 4 == 0) ASSERT_TRUE(w.Flush());
      }
      EXPECT_EQ(w.SlotCount(), 32u);
      EXPECT_GE(w.SegmentCount(), 4u);
      ASSERT_TRUE(w.Close());
      EXPECT_EQ(w.Failure(), avi::IoStatus::Ok);
    }
    const avitest::Probe probe = avitest::ProbeFile(path);
    ASSERT_TRUE(probe.ok) << probe.raw;
    EXPECT_EQ(probe.stream.at("width"), "40");
    EXPECT_EQ(probe.stream.at("height"), "30");
    EXPECT_EQ(probe.stream.at("r_frame_rate"), "15/2");
    EXPECT_EQ(probe.stream.at("nb_frames"), "32");  // strh length: every slot
    const auto played = avitest::FrameCrcs({path});
    ASSERT_TRUE(played[0]);
    EXPECT_EQ(Mismatch(s, *played[0], {32, 32}), "");

    // A reader of the legacy idx1 only sees the first RIFF, also with its holes.
    const avitest::Probe legacy = avitest::ProbeFile(path, "-use_odml 0");
    ASSERT_TRUE(legacy.ok) << legacy.raw;
    ASSERT_FALSE(legacy.pts.empty());
    EXPECT_LT(legacy.pts.size(), s.slots.size());
    EXPECT_TRUE(std::equal(legacy.pts.begin(), legacy.pts.end(), s.slots.begin()));
  }
}

// Counts the writes of each chunk, and measures how much a frame and a close grow the file.
TEST(AviWriter, VideoAndSoundStayTogetherAcrossSegmentsAndTheFileGrowsAsForetold) {
  Script s(24, 16, 32);
  for (uint32_t slot = 0; slot < 40; ++slot) s.slots.push_back(slot);
  s.AddSound(2, 8000, 16, [](size_t) { return 800u; });  // 0.1 s beside each frame
  s.options.segmentBytes = 24 * 1024;
  s.options.superIndexEntries = 32;
  const uint32_t frameBytes = static_cast<uint32_t>(s.Frame(0).size());

  avitest::MemorySink sink;
  avi::Writer w;
  ASSERT_TRUE(w.Open(sink, s.Streams(), s.options));
  EXPECT_EQ(sink.flushes, 1u);  // an empty file that plays is on the disk
  std::vector<uint8_t> buffer(avi::kChunkRoomBefore + frameBytes + avi::kChunkRoomAfter);
  size_t soundAt = 0;
  for (size_t i = 0; i < s.slots.size(); ++i) {
    const std::vector<uint8_t> frame = s.Frame(i);
    std::copy(frame.begin(), frame.end(), buffer.begin() + avi::kChunkRoomBefore);
    const avi::Payload payload{buffer.data() + avi::kChunkRoomBefore, frameBytes, true};

    // What the frame and a close would add, measured on a copy of the writer and undone.
    const uint64_t foretold = w.BytesNeededFor(0, frameBytes);
    const avitest::MemorySink before = sink;
    avi::Writer probe = w;
    ASSERT_TRUE(probe.WriteFrame(0, s.slots[i], payload, true));
    ASSERT_TRUE(probe.Close());
    EXPECT_EQ(foretold, sink.image.size() - before.image.size()) << "frame " << i;
    sink = before;
    std::copy(frame.begin(), frame.end(), buffer.begin() + avi::kChunkRoomBefore);

    const uint32_t segments = w.SegmentCount();
    const size_t flushes = sink.flushes;
    const avitest::MemorySink counting = sink;
    ASSERT_TRUE(w.WriteFrame(0, s.slots[i], payload, i % 7 != 3));
    if (w.SegmentCount() == segments) {
      EXPECT_EQ(sink.flushes, flushes);
      // One write, header and payload together, unless a new segment began.
      EXPECT_EQ(sink.image.size() - counting.image.size(), avi::ChunkBytes(frameBytes));
    }
    EXPECT_EQ(w.FileSize(), sink.image.size());
    const std::vector<uint8_t> pcm = avitest::SoundBytes(soundAt, 800 * 4);
    soundAt += pcm.size();
    ASSERT_TRUE(w.WriteSamples(1, pcm.data(), static_cast<uint32_t>(pcm.size())));
    if (i % 5 == 4) {
      ASSERT_TRUE(w.Flush());
      EXPECT_EQ(w.CommittedBlockCount(1), w.BlockCount(1));
    }
  }
  EXPECT_FALSE(w.WriteSamples(1, buffer.data(), 3));                      // not whole blocks
  EXPECT_FALSE(w.WriteFrame(1, 40, {buffer.data() + 8, 4, true}, true));  // not a video stream
  EXPECT_EQ(w.BlockCount(1), 40u * 800);
  EXPECT_GE(w.SegmentCount(), 4u);
  ASSERT_TRUE(w.Close());
  EXPECT_EQ(w.CommittedSlotCount(0), 40u);
  EXPECT_EQ(w.CommittedBlockCount(1), 40u * 800);

  avitest::TempDir dir;
  const std::string path = dir.File("av.avi");
  ASSERT_TRUE(avitest::WriteFile(path, sink.image));
  const auto streams = avitest::ProbeStreams(path);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("codec_type"), "video");
  EXPECT_EQ(streams[0].at("nb_frames"), "40");
  EXPECT_EQ(streams[1].at("codec_type"), "audio");
  EXPECT_EQ(streams[1].at("codec_name"), "pcm_s16le");
  EXPECT_EQ(streams[1].at("sample_rate"), "8000");
  EXPECT_EQ(streams[1].at("channels"), "2");
  // ffprobe gives PCM in AVI no duration of its own: its length in blocks (strh) says it.
  EXPECT_EQ(streams[0].at("duration"), "4.000000");
  EXPECT_EQ(streams[1].at("nb_frames"), "32000");
  EXPECT_TRUE(avitest::DecodeRaw(path, "-map 0:a -f s16le") == avitest::SoundBytes(0, soundAt));
  const auto played = avitest::FrameCrcs({path});
  ASSERT_TRUE(played[0]);
  EXPECT_EQ(Mismatch(s, *played[0], {40, 40, 40 * 800, 40 * 800}), "");
}

// Writes everything but the payload of large writes, which stay holes in a sparse file,
// except beyond `realFrom` where frames land for real.
class SparseSink : public avitest::PosixFileSink {
 public:
  SparseSink(const std::string& path, uint64_t realFrom)
      : PosixFileSink(path), realFrom_(realFrom) {}
  avi::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override {
    if (size > (1u << 20) && offset < realFrom_) return avi::IoStatus::Ok;
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

// Writes to a file and kills its own process with SIGKILL when write number `cut` starts,
// after putting down the first half of that write when `torn`.
class KillingSink : public avitest::PosixFileSink {
 public:
  KillingSink(const std::string& path, size_t cut, bool torn)
      : PosixFileSink(path), cut_(cut), torn_(torn) {}
  avi::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override {
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
    RecordSegments(s, sink, w);
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

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t buffer[1 << 14];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
      bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
  }
  return bytes;
}

// A kill keeps every write made before it: the file plays at least what was committed then.
TEST(AviWriter, ProcessKilledAtAnyWritePlaysWhatWasCommitted) {
  Script s(32, 32, 32);  // 4 KiB frames: a torn frame write crosses a page
  s.slots = {0, 1, 3, 4, 5, 9, 10, 11, 12, 16, 17, 18, 19, 20};
  s.flushEvery = 3;
  s.options.segmentBytes = 16 * 1024;  // a segment change every two or three frames
  s.options.superIndexEntries = 16;

  avi::Writer reference;
  avitest::OpLog log(reference);
  ASSERT_GT(RecordSegments(s, log, reference), 2u);
  std::vector<const avitest::OpLog::Op*> writes;
  size_t opened = 0;  // writes before Open's flush: no file exists before it
  for (const auto& op : log.ops) {
    if (op.flush && opened == 0) opened = writes.size();
    if (!op.flush) writes.push_back(&op);
  }
  ASSERT_GT(writes.size(), 60u);

  avitest::TempDir dir;
  std::vector<std::pair<avitest::Image, Bounds>> cuts;
  for (size_t cut = opened; cut <= writes.size(); ++cut) {
    for (bool torn : {false, true}) {
      if (torn && (cut == writes.size() || writes[cut]->bytes.size() < 2048)) continue;
      const std::string path = dir.File("cut.avi");
      ASSERT_EQ(RecordInChildKilledAt(s, path, cut, torn), cut < writes.size()) << cut;
      Bounds b{21, 21};
      if (cut < writes.size()) b = writes[cut]->counts;
      cuts.emplace_back(ReadFile(path), b);
    }
  }
  EXPECT_EQ(ExpectPlayable(s, cuts), 0u);
}

// A small recording with a sound stream, cut by a power failure anywhere between any two
// flushes, every subset of the writes since the last one landing.
TEST(AviWriter, PowerCutAnywhereInASmallRecordingPlaysAtLeastTheLastCommit) {
  Script s(8, 4, 24);  // 96-byte frames: a few chunks per sector
  s.slots = {0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  s.flushEvery = 2;
  s.AddSound(1, 1000, 24, [](size_t i) { return 40u + i % 3; });  // 3-byte blocks: odd chunks too
  s.options.segmentBytes = 2560;
  s.options.superIndexEntries = 8;

  avi::Writer w;
  avitest::OpLog log(w);
  ASSERT_EQ(RecordSegments(s, log, w), 3u);
  avitest::CutSet cuts;
  size_t intervals = 0, mostWrites = 0;
  avitest::Image closed;
  log.ForEachInterval([&](const avitest::Image& disk, const auto& writes, const Bounds& b) {
    ++intervals;
    mostWrites = std::max(mostWrites, writes.size());
    if (writes.size() <= 12) cuts.AddEveryCut(disk, writes, b);
    closed = disk;
  });
  ASSERT_LE(mostWrites, 12u) << "too many writes between two flushes to try every subset";
  // Sound blocks of 3 bytes leave segment ends 2 off alignment now and then: each RIFF still
  // starts 4-byte aligned, so its size fields and indexes' counts stay inside a sector.
  const Riffs riffs = RiffsOf(closed);
  EXPECT_EQ(riffs.starts.size(), 3u);
  EXPECT_EQ(riffs.end, closed.size());
  for (uint64_t at : riffs.starts) EXPECT_EQ(at % 4, 0u) << at;
  EXPECT_GE(intervals, 20u);
  EXPECT_EQ(ExpectPlayable(s, cuts.cuts), 0u) << cuts.cuts.size() << " images";
}

// A longer recording across many segments, sound chunks written between commits, and random
// cuts.
TEST(AviWriter, RandomPowerCutsInALongRecordingPlayAtLeastTheLastCommit) {
  Script s(32, 16, 24);
  for (uint32_t slot = 0; slot < 160; ++slot)
    if (slot % 11 != 5) s.slots.push_back(slot);
  s.flushEvery = 5;
  s.AddSound(1, 8000, 16, [](size_t) { return 800u; });
  s.options.segmentBytes = 24 * 1024;
  s.options.superIndexEntries = 64;

  avi::Writer w;
  avitest::OpLog log(w);
  ASSERT_GE(RecordSegments(s, log, w), 6u);
  std::mt19937 random(20240607);
  avitest::CutSet cuts;
  size_t intervals = 0;
  log.ForEachInterval([&](const avitest::Image& disk, const auto& writes, const Bounds& b) {
    ++intervals;
    for (int i = 0; i < 2; ++i) cuts.AddRandomCut(disk, writes, b, random);
  });
  EXPECT_GT(intervals, 60u);
  EXPECT_EQ(ExpectPlayable(s, cuts.cuts), 0u) << cuts.cuts.size() << " images";
}

// Fails operation number `failAt` (writes and flushes counted together) once, as a disk under
// an operating system's file cache does. A write puts down nothing or, `partly`, half of its
// bytes as a disk filling up does. A flush loses every write since the last flush that
// succeeded or, `partly`, every other one: the pages the cache could not write back are gone.
// Notes what the writer may keep: the slots and sound blocks in chunks that reached the disk.
class FailingSink : public avitest::MemorySink {
 public:
  FailingSink(const avi::Writer& writer, size_t failAt, bool partly)
      : writer_(writer), failAt_(failAt), partly_(partly) {}
  avi::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override {
    const bool fails = Fails(false);
    if (fails && !partly_) return avi::IoStatus::Failed;
    if (fails) size /= 2;
    const auto* bytes = static_cast<const uint8_t*>(data);
    unflushed_.push_back({offset, std::vector<uint8_t>(bytes, bytes + size)});
    MemorySink::WriteAt(offset, data, size);
    return fails ? avi::IoStatus::DiskFull : avi::IoStatus::Ok;
  }
  avi::IoStatus Flush() override {
    flushOps.push_back(ops);
    const bool fails = Fails(true);
    if (fails) {
      image = flushed_;
      for (size_t i = 1; partly_ && i < unflushed_.size(); i += 2)
        MemorySink::WriteAt(unflushed_[i].first, unflushed_[i].second.data(),
                            unflushed_[i].second.size());
    }
    flushed_ = image;
    unflushed_.clear();
    if (fails) return avi::IoStatus::Failed;
    countsFlushed_ = avitest::CountsOf(writer_);
    return MemorySink::Flush();
  }

  size_t ops = 0;
  std::vector<size_t> flushOps;  // the operation numbers of the flushes
  avi::IoStatus failed = avi::IoStatus::Ok;
  Bounds kept;  // the slots the file must play, and the range of its sound blocks

 private:
  bool Fails(bool flush) {
    if (ops++ != failAt_) return false;
    failed = flush || !partly_ ? avi::IoStatus::Failed : avi::IoStatus::DiskFull;
    const Bounds now = avitest::CountsOf(writer_);
    const Bounds& reached = flush ? countsFlushed_ : now;
    kept = {reached.maxSlots, reached.maxSlots, now.minBlocks, reached.maxBlocks};
    return true;
  }

  const avi::Writer& writer_;
  size_t failAt_;
  bool partly_;
  avitest::Image flushed_;  // the disk as the last flush left it
  std::vector<std::pair<uint64_t, std::vector<uint8_t>>> unflushed_;
  Bounds countsFlushed_;
};

// Where the file's first `id` chunk holds a 32-bit field at `at` into its payload; 0 if absent.
uint32_t HeaderField(const avitest::Image& file, uint32_t id, size_t at) {
  for (size_t i = 12; i + 8 + at + 4 <= std::min<size_t>(file.size(), 8192); i += 2)
    if (Load32(&file[i]) == id) return Load32(&file[i + 8 + at]);
  return 0;
}

// Nothing past the last RIFF but one 'JUNK' chunk reaching to the end of the file.
bool OnlyJunkPastTheRiffs(const avitest::Image& file) {
  const uint64_t end = RiffsOf(file).end;
  return end == file.size() || (end + 8 <= file.size() && Load32(&file[end]) == avi::kJunk &&
                                end + 8 + Load32(&file[end + 4]) >= file.size());
}

// Every operation of two short recordings fails in turn: one that changes segments and ends
// between flushes, one whose only RIFF gets its idx1 at Close. The file plays what reached the
// disk, through its indexes, through its first RIFF's idx1 and through a scan of its chunks.
TEST(AviWriter, AFailedWriteOrFlushCommitsExactlyWhatReachedTheDisk) {
  Script s(16, 8, 32);
  s.flushEvery = 3;
  s.AddSound(1, 1000, 16, [](size_t) { return 50u; });
  s.options.superIndexEntries = 8;
  size_t tried = 0;
  for (bool segments : {true, false}) {
    std::vector<std::pair<avitest::Image, Bounds>> files, firstRiffs;
    s.slots = segments ? std::vector<uint32_t>{0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}
                       : std::vector<uint32_t>{0, 2, 3, 4};
    s.options.segmentBytes = segments ? 4096 : 1 << 20;
    avi::Writer clean;
    FailingSink counting(clean, SIZE_MAX, false);
    ASSERT_EQ(RecordSegments(s, counting, clean), segments ? 3u : 1u);
    EXPECT_EQ(RiffsOf(counting.image).end, counting.image.size());
    for (size_t failAt = 0; failAt < counting.ops; ++failAt) {
      for (bool partly : {false, true}) {
        SCOPED_TRACE("operation " + std::to_string(failAt) + (partly ? ", partly" : ""));
        avi::Writer w;
        FailingSink sink(w, failAt, partly);
        if (!w.Open(sink, s.Streams(), s.options)) {
          EXPECT_EQ(w.Failure(), sink.failed);
          EXPECT_EQ(w.LastRefusal(), avi::Refusal::Io);
          continue;
        }
        EXPECT_FALSE(Feed(s, w) && w.Close());
        EXPECT_FALSE(w.IsOpen() && w.Close());
        EXPECT_EQ(w.Failure(), sink.failed);
        EXPECT_FALSE(w.WriteFrame(99, "", 0, true));
        const avi::Slot slots = sink.kept.minSlots, blocks = w.CommittedBlockCount(1);
        EXPECT_EQ(w.CommittedSlotCount(0), slots);
        EXPECT_GE(blocks, sink.kept.minBlocks);
        EXPECT_LE(blocks, sink.kept.maxBlocks);
        // The headers count what plays; nothing past the last RIFF looks like more.
        EXPECT_EQ(HeaderField(sink.image, avi::FourCC('s', 't', 'r', 'h'), 32), slots);
        EXPECT_EQ(HeaderField(sink.image, avi::FourCC('d', 'm', 'l', 'h'), 0), slots);
        EXPECT_TRUE(OnlyJunkPastTheRiffs(sink.image));
        const Scanned scanned = ScanChunks(sink.image);
        EXPECT_EQ(scanned.slots, slots);
        EXPECT_EQ(scanned.soundBytes, uint64_t{blocks} * s.sound.BlockBytes());
        files.emplace_back(sink.image, Bounds{slots, slots, blocks, blocks});
        // avih: the first RIFF's video slots, which its idx1 lists for a legacy reader.
        const avi::Slot firstRiff = HeaderField(sink.image, avi::FourCC('a', 'v', 'i', 'h'), 16);
        EXPECT_LE(firstRiff, slots);
        if (!segments) EXPECT_EQ(firstRiff, slots);
        firstRiffs.emplace_back(sink.image, Bounds{firstRiff, firstRiff, 0, blocks});
      }
    }
    tried += files.size();
    EXPECT_EQ(ExpectPlayable(s, files), 0u);
    EXPECT_EQ(ExpectPlayable(s, firstRiffs, "-use_odml 0"), 0u);
    EXPECT_EQ(ExpectPlayable(s, firstRiffs, "-fflags +ignidx"), 0u);
  }
  EXPECT_GT(tried, 150u);
}

// 12 frames, a commit every 3, the third flush after Open failing: the system dropped frames
// 3-5 and the labels of frames 0-2 with it. The file counts, plays and labels frames 0-2.
TEST(AviWriter, AFlushThatLostItsWritesIsNotCommittedPast) {
  Script s(24, 16, 24);
  for (uint32_t slot = 0; slot < 12; ++slot) s.slots.push_back(slot);
  s.flushEvery = 3;
  avi::Writer clean;
  FailingSink counting(clean, SIZE_MAX, false);
  ASSERT_EQ(RecordSegments(s, counting, clean), 1u);
  ASSERT_GT(counting.flushOps.size(), 3u);

  avi::Writer w;
  FailingSink sink(w, counting.flushOps[3], false);
  ASSERT_TRUE(w.Open(sink, s.Streams(), s.options));
  EXPECT_FALSE(Feed(s, w));
  EXPECT_EQ(w.LastRefusal(), avi::Refusal::Io);
  EXPECT_EQ(w.Failure(), avi::IoStatus::Failed);
  EXPECT_FALSE(w.Close());
  EXPECT_EQ(w.CommittedSlotCount(), 3u);

  avitest::TempDir dir;
  const std::string path = dir.File("lost.avi");
  ASSERT_TRUE(avitest::WriteFile(path, sink.image));
  const avitest::Probe probe = avitest::ProbeFile(path);
  ASSERT_TRUE(probe.ok) << probe.raw;
  EXPECT_EQ(probe.stream.at("nb_frames"), "3");
  EXPECT_EQ(probe.pts, (std::vector<int64_t>{0, 1, 2}));
  // Through the indexes, through idx1 alone, and by the chunks' labels alone.
  for (const char* options : {"", "-use_odml 0", "-fflags +ignidx"}) {
    const auto played = avitest::FrameCrcs({path}, options);
    ASSERT_TRUE(played[0]) << options;
    EXPECT_EQ(Mismatch(s, *played[0], {3, 3}), "") << options;
  }
  EXPECT_EQ(ScanChunks(sink.image).slots, 3u);
  // Where frames 3-5 were, past the RIFF and its idx1: one 'JUNK' chunk.
  EXPECT_GT(sink.image.size(), RiffsOf(sink.image).end);
  EXPECT_TRUE(OnlyJunkPastTheRiffs(sink.image));
}

// A file whose super index is full refuses what needs another segment, as such: not as a
// failure of the disk. What it took before plays, and headers and file agree.
TEST(AviWriter, RefusalsSayWhyAndAFullFileStillPlaysWhatItTook) {
  Script s(16, 8, 32);
  s.AddSound(1, 1000, 16, [](size_t) { return 50u; });
  s.options.segmentBytes = 4096;
  s.options.superIndexEntries = 2;
  avitest::MemorySink sink;
  avi::Writer w;
  ASSERT_TRUE(w.Open(sink, s.Streams(), s.options));
  const std::vector<uint8_t> huge(4096);
  EXPECT_FALSE(w.WriteFrame(0, huge.data(), static_cast<uint32_t>(huge.size()), true));
  EXPECT_EQ(w.LastRefusal(), avi::Refusal::FrameTooLarge);
  EXPECT_EQ(w.FileSize(), sink.image.size());

  size_t soundAt = 0;
  const auto feedSound = [&] {
    const std::vector<uint8_t> pcm = avitest::SoundBytes(soundAt, 100);
    if (!w.WriteSamples(1, pcm.data(), 100)) return false;
    soundAt += pcm.size();
    return true;
  };
  for (uint32_t slot = 0;; ++slot) {
    const std::vector<uint8_t> frame = DibFrame(s.width, s.height, s.bits, slot);
    if (!w.WriteFrame(slot, frame.data(), static_cast<uint32_t>(frame.size()), true)) break;
    s.slots.push_back(slot);
    if (!feedSound()) break;
  }
  EXPECT_EQ(w.LastRefusal(), avi::Refusal::FileFull);
  EXPECT_EQ(w.SegmentCount(), 2u);
  EXPECT_GT(s.slots.size(), 4u);
  // Sound piles up until its chunk needs a segment too; a commit then is refused for it.
  while (feedSound()) {
  }
  EXPECT_EQ(w.LastRefusal(), avi::Refusal::FileFull);
  EXPECT_FALSE(w.Flush());
  EXPECT_EQ(w.LastRefusal(), avi::Refusal::FileFull);
  EXPECT_EQ(w.CommittedSlotCount(), s.slots.size());
  EXPECT_FALSE(w.Close());
  EXPECT_EQ(w.LastRefusal(), avi::Refusal::FileFull);
  EXPECT_EQ(w.Failure(), avi::IoStatus::Ok);

  const uint32_t blocks = w.CommittedBlockCount(1);
  EXPECT_GT(blocks, 0u);
  EXPECT_LT(blocks, soundAt / 2);
  EXPECT_EQ(RiffsOf(sink.image).end, sink.image.size());
  avitest::TempDir dir;
  const std::string path = dir.File("full.avi");
  ASSERT_TRUE(avitest::WriteFile(path, sink.image));
  const auto streams = avitest::ProbeStreams(path);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("nb_frames"), std::to_string(s.slots.size()));
  EXPECT_EQ(streams[1].at("nb_frames"), std::to_string(blocks));
  const avi::Slot n = static_cast<avi::Slot>(s.slots.size());
  EXPECT_EQ(ExpectPlayable(s, {{sink.image, Bounds{n, n, blocks, blocks}}}), 0u);
}

}  // namespace
