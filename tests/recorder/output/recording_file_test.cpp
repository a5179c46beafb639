// The recording file's writer thread, natively: a real AVI container over a real file, on a
// clock the test moves, a disk that can fill up, fail or stop answering, and encoders that
// fail. The files are read back by ffprobe and ffmpeg.
#include "recorder/output/recording_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "avi/avi_tools.h"
#include "recorder/encode/same_frame.h"
#include "recorder/encode/uncompressed_encoder.h"
#include "recorder/file/avi_container.h"

using namespace orvik;

namespace {

constexpr uint32_t kW = 32, kH = 24;
constexpr int kRate = 10;

// What a disk may be told to do; shared with it, since a writer left behind keeps its disk.
struct DiskKnobs {
  std::atomic<uint64_t> capacity{UINT64_MAX};  // bytes the disk holds in all
  std::atomic<int> freeAsked{0};
  std::atomic<int> flushes{0};
  std::atomic<bool> hangInFlush{false}, released{false}, closed{false};
};

// A real file under the test's folder, made under a name of its own until it takes the
// recording's, as the program's disk does.
class TestDisk : public RecordingDisk {
 public:
  TestDisk(std::string path, std::shared_ptr<DiskKnobs> knobs)
      : path_(std::move(path)), knobs_(std::move(knobs)) {}
  ~TestDisk() override { Close(); }
  bool Create() override {
    made_ = path_ + ".partial";
    fd_ = ::open(made_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    return fd_ >= 0;
  }
  bool TakeName() override {
    if (::rename(made_.c_str(), path_.c_str()) != 0) return false;
    made_ = path_;
    return true;
  }
  DiskStatus WriteAt(uint64_t offset, const void* data, size_t size) override {
    if (offset + size > knobs_->capacity) return DiskStatus::Full;
    return ::pwrite(fd_, data, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size)
               ? DiskStatus::Ok
               : DiskStatus::Failed;
  }
  DiskStatus Flush() override {
    ++knobs_->flushes;
    while (knobs_->hangInFlush && !knobs_->released)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return DiskStatus::Ok;
  }
  void Close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    knobs_->closed = true;
  }
  void Remove() override {
    Close();
    ::unlink(made_.c_str());
  }
  std::optional<uint64_t> FreeBytes() override {
    ++knobs_->freeAsked;
    const off_t size = fd_ >= 0 ? ::lseek(fd_, 0, SEEK_END) : 0;
    const uint64_t used = static_cast<uint64_t>(size);
    return knobs_->capacity > used ? knobs_->capacity - used : 0;
  }

 private:
  std::string path_, made_;
  std::shared_ptr<DiskKnobs> knobs_;
  int fd_ = -1;
};

// Frames as they are, failing (or throwing) from frame `failAt` on, or hanging at open.
class TestEncoder : public UncompressedEncoder {
 public:
  enum class Fault { None, Fails, Throws, HangsAtOpen };
  TestEncoder(Fault fault, int failAt, std::shared_ptr<DiskKnobs> knobs)
      : UncompressedEncoder(avitest::DibFormat(kW, kH, 32).bitmapInfo,
                            avitest::DibFrameBytes(kW, kH, 32)),
        fault_(fault),
        failAt_(failAt),
        knobs_(std::move(knobs)) {}
  bool Open() override {
    while (fault_ == Fault::HangsAtOpen && !knobs_->released)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return UncompressedEncoder::Open();
  }
  bool Encode(uint8_t* bits, bool room, EncodedFrame* out) override {
    if (frames_++ >= failAt_) {
      if (fault_ == Fault::Throws) throw std::bad_alloc();
      if (fault_ == Fault::Fails) return false;
    }
    return UncompressedEncoder::Encode(bits, room, out);
  }

 private:
  Fault fault_;
  int failAt_, frames_ = 0;
  std::shared_ptr<DiskKnobs> knobs_;
};

// Frames as they are, each compared with the one before as MP4's encoder does: a repeat is no
// new picture. Counts the frames before that came back other than they were handed over.
class ComparingEncoder : public UncompressedEncoder {
 public:
  ComparingEncoder() : UncompressedEncoder(avitest::DibFormat(kW, kH, 32).bitmapInfo, kBytes) {}
  bool ComparesFrames() const override { return true; }
  bool EncodeAfter(const uint8_t* previous, Slot, uint8_t* bits, bool room,
                   EncodedFrame* out) override {
    if ((previous == nullptr) != last_.empty() ||
        (previous && !std::equal(last_.begin(), last_.end(), previous)))
      ++wrongPrevious;
    last_.assign(bits, bits + kBytes);
    const bool repeat = previous && SameFrame(previous, bits, kBytes);
    repeats += repeat;
    *out = repeat ? EncodedFrame{} : EncodedFrame{bits, static_cast<uint32_t>(kBytes), room, true};
    return true;
  }
  std::atomic<int> wrongPrevious{0}, repeats{0};

 private:
  static constexpr size_t kBytes = size_t{kW} * kH * 4;
  std::vector<uint8_t> last_;
};

// A steady tone, as a sound source hands the writer its mix.
class ToneSource : public sound::SoundSource {
 public:
  void Produce(double until, std::vector<int16_t>* pcm) override {
    const auto end = static_cast<uint64_t>(std::floor(std::max(until, 0.0) * 48000));
    for (; produced < end; ++produced) {
      const auto v = static_cast<int16_t>(8000 * std::sin(produced * 2 * M_PI * 1000 / 48000));
      pcm->push_back(v);
      pcm->push_back(v);
    }
  }
  uint64_t produced = 0;
};

class RecordingFileTest : public ::testing::Test {
 protected:
  // A file on the test's clock, with buffers of its own and the given faults.
  EngineError Open(TestEncoder::Fault fault = TestEncoder::Fault::None, int failAt = 1 << 30,
                   bool withSound = false, double answerSeconds = 15) {
    for (auto& b : buffers_) b.assign(kFrameRoomBefore + frameBytes_ + kFrameRoomAfter, 0);
    RecordingFile::Setup setup;
    for (auto& b : buffers_) setup.buffers.push_back(b.data() + kFrameRoomBefore);
    setup.frameBytes = frameBytes_;
    setup.buffersHaveRoom = true;
    setup.framesPerSecond = kRate;
    setup.encoder = nextEncoder_ ? std::move(nextEncoder_)
                                 : std::make_unique<TestEncoder>(fault, failAt, knobs_);
    setup.container = std::make_unique<AviContainer>();
    setup.disk = std::make_unique<TestDisk>(path_, knobs_);
    if (withSound) setup.sound = &tone_;
    setup.elapsed = [this] { return elapsed_.load(); };
    setup.now = [this] { return now_.load(); };
    setup.answerSeconds = answerSeconds;
    return file_.Open(std::move(setup));
  }
  // Frame `slot` (picture `slot`) handed over at its time, waiting until the writer took it.
  bool Hand(Slot slot) {
    now_ = elapsed_ = slot / static_cast<double>(kRate);
    const uint32_t before = file_.FramesWritten();
    const auto frame = file_.Acquire(slot, true);
    if (!frame) return false;
    const auto pixels = avitest::DibFrame(kW, kH, 32, slot);
    std::copy(pixels.begin(), pixels.end(), frame->bits);
    file_.Submit(*frame);
    return tk::SleepUntil([&] { return file_.FramesWritten() > before || !file_.Accepting(); },
                          5) &&
           file_.Accepting();
  }
  std::vector<std::map<std::string, std::string>> Probe() { return avitest::ProbeStreams(path_); }

  avitest::TempDir dir_;
  std::string path_ = dir_.File("out.avi");
  std::shared_ptr<DiskKnobs> knobs_ = std::make_shared<DiskKnobs>();
  size_t frameBytes_ = avitest::DibFrameBytes(kW, kH, 32);
  std::vector<std::vector<uint8_t>> buffers_ = std::vector<std::vector<uint8_t>>(4);
  std::atomic<double> now_{0}, elapsed_{0};
  ToneSource tone_;
  std::unique_ptr<FrameEncoder> nextEncoder_;  // the next Open's, instead of a TestEncoder
  RecordingFile file_;
};

}  // namespace

// Commits every 0.4 s of the clock, not per frame; free space asked for at most as often;
// the picture held to the recording's last moment and the sound beside it to the same end.
TEST_F(RecordingFileTest, CommitsOnTheClocksRhythmAndEndsPictureAndSoundTogether) {
  ASSERT_EQ(Open(TestEncoder::Fault::None, 1 << 30, true), EngineError::None);
  const int flushesAtOpen = knobs_->flushes;
  for (Slot slot = 0; slot < 30; ++slot) ASSERT_TRUE(Hand(slot)) << slot;
  // 2.9 s of clock in steps of 0.1 s: six or seven commits of two flushes each (a commit may
  // add one for a new label), and the first frame's at once.
  const int commits = (knobs_->flushes - flushesAtOpen) / 2;
  EXPECT_GE(commits, 7);
  EXPECT_LE(commits, 9);
  EXPECT_LE(knobs_->freeAsked, 7);
  elapsed_ = 3.45;  // stopped 0.55 s after the last frame: a busy machine captured nothing more
  EXPECT_EQ(file_.Close(), EngineError::None);
  EXPECT_EQ(file_.FramesWritten(), 30u);
  EXPECT_EQ(tone_.produced, static_cast<uint64_t>(3.45 * 48000));

  const auto streams = Probe();
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("nb_frames"), "35");  // slots 30-34 hold the last picture
  const size_t soundBytes = avitest::DecodeRaw(path_, "-map 0:a -f s16le").size();
  EXPECT_EQ(soundBytes, static_cast<size_t>(3.45 * 48000) * 4);
  const auto packets = avitest::FrameCrcs({path_});
  ASSERT_TRUE(packets[0]);
  int pictures = 0;
  for (const auto& p : *packets[0])
    if (p.stream == 0)
      EXPECT_EQ(
          p.crc,
          avitest::FrameCrc(avitest::TopDownBgr24(
              avitest::DibFrame(kW, kH, 32, static_cast<uint32_t>(std::min<int64_t>(p.pts, 29))),
              kW, kH, 32)))
          << "pts " << p.pts << " picture " << pictures++;
}

// The file keeps a name of its own until its first frame is on the disk: a file of the
// recording's name, which the user agreed to replace, stays as it was through a stop before any
// frame, a start given up and a first frame the disk has no room for, and nothing is left
// beside it.
// The first frame committed replaces it at once.
TEST_F(RecordingFileTest, AFileOfTheRecordingsNameStaysUntilTheFirstFrameIsOnTheDisk) {
  const std::string theUsers = "the user's own file";
  const auto write = [&] { std::ofstream(path_, std::ios::binary) << theUsers; };
  const auto asItWas = [&] {
    std::ifstream in(path_, std::ios::binary);
    const std::string now((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto files = std::distance(std::filesystem::directory_iterator(dir_.path()),
                                     std::filesystem::directory_iterator());
    return now == theUsers && files == 1;
  };
  write();
  ASSERT_EQ(Open(TestEncoder::Fault::None, 1 << 30, true), EngineError::None);
  elapsed_ = now_ = 1.0;  // sound is committed, and names nothing
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_FALSE(file_.Named());
  EXPECT_EQ(file_.Close(), EngineError::None);
  EXPECT_TRUE(asItWas());

  ASSERT_EQ(Open(), EngineError::None);
  EXPECT_EQ(file_.Close(false), EngineError::None);
  EXPECT_TRUE(asItWas());

  ASSERT_EQ(Open(), EngineError::None);
  knobs_->capacity = std::filesystem::file_size(path_ + ".partial") + 1024;  // no room for a frame
  EXPECT_FALSE(Hand(0));
  EXPECT_EQ(file_.Close(), EngineError::DiskFull);
  EXPECT_FALSE(file_.Named());
  EXPECT_TRUE(asItWas());

  knobs_->capacity = UINT64_MAX;
  ASSERT_EQ(Open(), EngineError::None);
  ASSERT_TRUE(Hand(0));
  EXPECT_TRUE(file_.Named());  // at once, not at the next commit
  EXPECT_FALSE(asItWas());
  EXPECT_EQ(file_.Close(), EngineError::None);
  EXPECT_EQ(Probe().at(0).at("nb_frames"), "1");
}

// The disk is asked for its free space again before the writer says it is full; it stops
// before the disk is, and the file keeps every frame before.
TEST_F(RecordingFileTest, AFillingDiskStopsTheRecordingWithEveryFrameBefore) {
  const uint64_t frameChunk = frameBytes_ + 24;
  knobs_->capacity = 256 * 1024 + 40 * frameChunk + 16 * 1024;
  ASSERT_EQ(Open(), EngineError::None);
  Slot slot = 0;
  while (slot < 200 && Hand(slot)) ++slot;
  EXPECT_EQ(file_.StoppedBy(), EngineError::DiskFull);
  EXPECT_FALSE(file_.Acquire(slot + 1));
  EXPECT_GT(slot, 20u);
  EXPECT_LT(slot, 45u);
  EXPECT_EQ(file_.Close(), EngineError::DiskFull);
  EXPECT_EQ(Probe().at(0).at("nb_frames"), std::to_string(file_.FramesWritten()));
}

// A codec that fails, or throws, on a frame ends the recording through the engine's errors;
// the file keeps the frames before and plays.
// An encoder that compares frames is handed the frame written before each, intact while the
// capture fills the other buffers as fast as they come free; repeats are no new pictures.
TEST_F(RecordingFileTest, AnEncoderThatComparesFramesSeesTheFrameBeforeIntact) {
  auto encoder = std::make_unique<ComparingEncoder>();
  ComparingEncoder& seen = *encoder;
  nextEncoder_ = std::move(encoder);
  ASSERT_EQ(Open(), EngineError::None);
  for (Slot slot = 0; slot < 40; ++slot) {
    const auto frame = file_.Acquire(slot, true);
    ASSERT_TRUE(frame);
    // Pictures 0-9, picture 9 again for ten slots, then 20-39.
    const auto pixels = avitest::DibFrame(kW, kH, 32, slot >= 10 && slot < 20 ? 9 : slot);
    std::copy(pixels.begin(), pixels.end(), frame->bits);
    file_.Submit(*frame);
  }
  ASSERT_TRUE(tk::SleepUntil([&] { return file_.FramesWritten() == 40; }, 5));
  EXPECT_EQ(seen.repeats, 10);
  EXPECT_EQ(seen.wrongPrevious, 0);
  now_ = elapsed_ = 4.0;
  EXPECT_EQ(file_.Close(), EngineError::None);
}

TEST_F(RecordingFileTest, AnEncoderThatFailsOrThrowsEndsTheRecordingAndTheFileKeepsItsFrames) {
  for (auto [fault, error] : {std::pair{TestEncoder::Fault::Fails, EngineError::CodecFailed},
                              std::pair{TestEncoder::Fault::Throws, EngineError::OutOfMemory}}) {
    ASSERT_EQ(Open(fault, 5), EngineError::None);
    for (Slot slot = 0; slot < 5; ++slot) ASSERT_TRUE(Hand(slot));
    EXPECT_FALSE(Hand(5));
    EXPECT_EQ(file_.Close(), error);
    EXPECT_EQ(file_.FramesWritten(), 5u);
    EXPECT_EQ(Probe().at(0).at("nb_frames"), "5");
  }
}

// An encoder or a disk that stops answering does not hold the owner: open and close give up
// after their bound and say NotAnswering; the thread left behind finishes later on memory of
// its own (the sanitizers would see it touch anything else).
TEST_F(RecordingFileTest, AWriterThatStopsAnsweringIsLeftBehind) {
  EXPECT_EQ(Open(TestEncoder::Fault::HangsAtOpen, 0, false, 0.3), EngineError::NotAnswering);
  EXPECT_FALSE(file_.Accepting());
  knobs_->released = true;

  knobs_ = std::make_shared<DiskKnobs>();
  path_ = dir_.File("hung.avi");
  ASSERT_EQ(Open(TestEncoder::Fault::None, 1 << 30, true, 0.3), EngineError::None);
  for (Slot slot = 0; slot < 3; ++slot) ASSERT_TRUE(Hand(slot));
  knobs_->hangInFlush = true;
  elapsed_ = 0.5;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(file_.Close(), EngineError::NotAnswering);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
  const uint64_t soundBefore = tone_.produced;
  knobs_->released = true;
  EXPECT_TRUE(tk::SleepUntil([&] { return knobs_->closed.load(); }, 5));
  EXPECT_EQ(tone_.produced, soundBefore);  // the borrowed sound is not touched again
}
