#include "recorder/avidecs.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "recorder/bmp_samples.h"
#include "support/codec_dialog.h"
#include "support/dialogs.h"
#include "support/message_boxes.h"
#include "support/unix_tools.h"
#include "toolkit/app.h"
#include "toolkit/files.h"

using namespace testsupport;
using namespace AVIDecs;
using samples::BmpRecipe;
using samples::MakeBmp;

namespace {

class AviTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDir(L"avi");
    frame_ = dir_ + L"\\tem.bmp";
    avi_ = dir_ + L"\\out.avi";
  }
  void TearDown() override {
    AviCloseWriter();
    AviSetSegmentBytes(kDefaultSegmentBytes);
    RemoveTree(dir_);
  }

  void Put(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    tk::File f = tk::File::Open(path, tk::FileMode::Replace);
    ASSERT_TRUE(f.IsOpen());
    ASSERT_TRUE(f.WriteAt(0, bytes.data(), bytes.size()));
  }

  // Opens the writer on `first` (saved as the temporary frame) answering the codec dialog.
  bool Open(const std::vector<uint8_t>& first, const std::wstring& codec, int rate = 10) {
    Put(frame_, first);
    CodecDialogAnswer answer(codec);
    bool ok = AviOpenWriter(nullptr, frame_, avi_, rate);
    EXPECT_TRUE(answer.Wait()) << "no codec dialog";
    offered_ = answer.Offered();
    return ok;
  }

  // Saves each frame over the temporary bitmap and hands it to the writer, as a tick does.
  void WriteFrames(const std::vector<std::vector<uint8_t>>& frames, int32_t firstIndex = 0) {
    for (size_t i = 0; i < frames.size(); ++i) {
      Put(frame_, frames[i]);
      AviWriteFrame(firstIndex + static_cast<int32_t>(i), frame_);
    }
  }

  static std::vector<std::vector<uint8_t>> Frames(BmpRecipe recipe, int count) {
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < count; ++i) {
      recipe.seed = 100 + i;
      frames.push_back(MakeBmp(recipe));
    }
    return frames;
  }

  void ExpectDecodesTo(const std::vector<std::vector<uint8_t>>& frames) {
    const int w = static_cast<int>(samples::Get32(frames[0], 18));
    const int h = std::abs(static_cast<int>(samples::Get32(frames[0], 22)));
    DecodedFrames d = DecodeBgr24(avi_, w, h);
    ASSERT_EQ(d.frames.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i)
      EXPECT_TRUE(d.frames[i] == samples::ExpectedBgr24(frames[i])) << "frame " << i;
  }

  std::wstring dir_, frame_, avi_;
  std::vector<std::wstring> offered_;
};

std::string Describe(const ProbeInfo& p) { return p.raw; }

std::vector<uint8_t> ReadAll(const std::wstring& path) {
  tk::File f = tk::File::Open(path, tk::FileMode::Read);
  std::vector<uint8_t> bytes(static_cast<size_t>(f.Length().value_or(0)));
  if (!bytes.empty()) f.ReadAt(0, bytes.data(), bytes.size());
  return bytes;
}

// The data of the first chunk with this id in a RIFF file (headers come first in an AVI).
std::vector<uint8_t> Chunk(const std::vector<uint8_t>& riff, const char* id) {
  for (size_t i = 12; i + 8 <= riff.size(); ++i) {
    if (std::memcmp(&riff[i], id, 4) != 0) continue;
    const size_t size = samples::Get32(riff, i + 4);
    if (i + 8 + size > riff.size()) break;
    return std::vector<uint8_t>(riff.begin() + i + 8, riff.begin() + i + 8 + size);
  }
  return {};
}

}  // namespace

TEST_F(AviTest, FullFramesDecodeToTheSourcePixelsAtEveryDepth) {
  for (int bits : {24, 32, 8}) {
    SCOPED_TRACE(bits);
    auto frames = Frames({61, 33, bits}, 4);  // odd width: rows carry padding
    ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
    EXPECT_TRUE(AviWriterIsOpen());
    WriteFrames(frames);
    EXPECT_EQ(AviCloseWriter(), 0);
    EXPECT_FALSE(AviWriterIsOpen());
    EXPECT_EQ(AviWriterCloseReason(), CloseReason::None);

    ProbeInfo p = Probe(avi_);
    ASSERT_TRUE(p.ok) << Describe(p);
    EXPECT_EQ(p.streams, 1);
    EXPECT_EQ(p.codecType, "video");
    EXPECT_EQ(p.frameRate, "10/1");
    EXPECT_EQ(p.width, 61);
    EXPECT_EQ(p.height, 33);
    EXPECT_EQ(p.frames, 4);
    ExpectDecodesTo(frames);

    // The stream header and format as written: rate 10 per 1, a buffer of one frame, the
    // frame rectangle, and the first bitmap's info block (with its colour table).
    const auto avi = ReadAll(avi_);
    const auto strh = Chunk(avi, "strh");
    ASSERT_GE(strh.size(), 56u);
    EXPECT_EQ(std::string(strh.begin(), strh.begin() + 4), "vids");
    EXPECT_EQ(samples::Get32(strh, 20), 1u);                             // dwScale
    EXPECT_EQ(samples::Get32(strh, 24), 10u);                            // dwRate
    EXPECT_EQ(samples::Get32(strh, 36), samples::Get32(frames[0], 34));  // suggested buffer
    EXPECT_EQ(samples::Get32(strh, 52), 61u | (33u << 16));              // rcFrame right, bottom
    const auto strf = Chunk(avi, "strf");
    const size_t infoSize = bits == 8 ? 1064 : 40;
    ASSERT_EQ(strf.size(), infoSize);
    EXPECT_TRUE(std::equal(strf.begin() + 40, strf.end(), frames[0].begin() + 54));
    EXPECT_EQ(samples::Get32(strf, 32), bits == 8 ? 256u : 0u);  // colours in use
  }
}

TEST_F(AviTest, FrameRateIsClampedToOneToThirty) {
  struct Case {
    int rate;
    const char* probed;
  } cases[] = {{0, "1/1"}, {-5, "1/1"}, {45, "30/1"}, {30, "30/1"}, {1, "1/1"}};
  for (const Case& c : cases) {
    ASSERT_TRUE(Open(MakeBmp({8, 8, 24}), kCodecFullFrames, c.rate));
    WriteFrames(Frames({8, 8, 24}, 2));
    AviCloseWriter();
    EXPECT_EQ(Probe(avi_).frameRate, c.probed) << c.rate;
  }
}

TEST_F(AviTest, EveryOfferedCodecRecordsOrFailsIntoADeletedFile) {
  ASSERT_TRUE(Open(MakeBmp({8, 8, 24}), kCodecFullFrames));
  AviCloseWriter();
  const std::vector<std::wstring> codecs = offered_;
  ASSERT_FALSE(codecs.empty());
  EXPECT_EQ(codecs[0], kCodecFullFrames);
  for (const std::wstring& codec : codecs) {
    for (int bits : {8, 24, 32}) {
      SCOPED_TRACE(Utf8(codec) + " " + std::to_string(bits));
      auto frames = Frames({48, 32, bits}, 3);
      tk::RemoveFile(avi_);
      if (!Open(frames[0], codec)) {
        EXPECT_FALSE(tk::FileExists(avi_));
        std::printf("  %s at %d bits: refused, file deleted\n", Utf8(codec).c_str(), bits);
        continue;
      }
      WriteFrames(frames);
      AviCloseWriter();
      ProbeInfo p = Probe(avi_);
      ASSERT_TRUE(p.ok) << Describe(p);
      EXPECT_EQ(p.frames, 3);
      EXPECT_EQ(p.width, 48);
      std::printf("  %s at %d bits: %s, %ld frames\n", Utf8(codec).c_str(), bits,
                  p.codecName.c_str(), p.frames);
      // Wine's run-length coder is not lossless on noise; only raw frames decode exactly.
      if (codec == kCodecFullFrames) ExpectDecodesTo(frames);
    }
  }
}

TEST_F(AviTest, DecoderOnlyCodecsFailTheOpenAndLeaveNoFile) {
  for (const wchar_t* codec : {kCodecVideo1, kCodecCinepak}) {
    EXPECT_FALSE(Open(MakeBmp({32, 32, 24}), codec)) << Utf8(codec);
    EXPECT_FALSE(AviWriterIsOpen());
    EXPECT_FALSE(tk::FileExists(avi_)) << Utf8(codec);
    EXPECT_NE(AviCloseWriter(), 0);
  }
}

// The file at the output path is only replaced once the codec is settled: a cancelled dialog
// or a codec that refuses the format leaves the user's file as it was, and makes none.
TEST_F(AviTest, CancelOrARefusingCodecKeepsTheFileThatWasThere) {
  EXPECT_FALSE(Open(MakeBmp({16, 16, 24}), L""));
  EXPECT_FALSE(AviWriterIsOpen());
  EXPECT_FALSE(tk::FileExists(avi_));
  WriteFrames(Frames({16, 16, 24}, 2));  // frames after a failed open go nowhere
  EXPECT_FALSE(tk::FileExists(avi_));

  const std::vector<uint8_t> mine = {'m', 'i', 'n', 'e'};
  Put(avi_, mine);
  EXPECT_FALSE(Open(MakeBmp({16, 16, 24}), L""));
  EXPECT_FALSE(Open(MakeBmp({16, 16, 24}), kCodecCinepak));  // decoder only: refused
  tk::File f = tk::File::Open(avi_, tk::FileMode::Read);
  std::vector<uint8_t> kept(4);
  ASSERT_TRUE(f.ReadAt(0, kept.data(), kept.size()));
  EXPECT_EQ(kept, mine);
  EXPECT_EQ(f.Length().value_or(0), 4u);
  EXPECT_FALSE(tk::FileExists(frame_ + L".codec-check.avi"));  // the scratch file is gone
}

TEST_F(AviTest, FileThatCannotBeCreatedFailsTheOpen) {
  avi_ = dir_ + L"\\missing-folder\\out.avi";
  EXPECT_FALSE(Open(MakeBmp({8, 8, 24}), kCodecFullFrames));
  EXPECT_FALSE(AviWriterIsOpen());
  EXPECT_NE(AviCloseWriter(), 0);
  EXPECT_FALSE(tk::FileExists(avi_));
}

// The save dialog under Wine takes no longer names, but a path can be that long: the writer
// uses the long form.
TEST_F(AviTest, APathLongerThanMaxPathRecords) {
  std::wstring deep = dir_;
  while (deep.size() < MAX_PATH + 20) {
    deep += L"\\" + std::wstring(60, L'd');
    ASSERT_TRUE(CreateDirectoryW(tk::LongPath(deep).c_str(), nullptr));
  }
  avi_ = deep + L"\\long.avi";
  auto frames = Frames({16, 8, 24}, 3);
  ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
  WriteFrames(frames);
  AviCloseWriter();
  EXPECT_GT(tk::FileLength(avi_).value_or(0), 0u);
  ExpectDecodesTo(frames);
}

TEST_F(AviTest, MissingFirstBitmapShowsBothMessagesAndMakesNoFile) {
  const std::wstring missing = dir_ + L"\\none.bmp";
  DialogSeries boxes(tk::AppTitle(), 2);
  EXPECT_FALSE(AviOpenWriter(nullptr, missing, avi_, 10));
  const auto& answered = boxes.Wait();
  ASSERT_EQ(answered.size(), 2u);
  EXPECT_EQ(answered[0].text, L"File does not exist:\r\n" + missing);
  EXPECT_EQ(answered[1].text, L"Could not load first bitmap file in list!");
  EXPECT_EQ(answered[1].icon, LoadIconW(nullptr, IDI_WARNING));
  EXPECT_FALSE(AviWriterIsOpen());
  EXPECT_FALSE(tk::FileExists(avi_));
}

TEST_F(AviTest, SkippedIndicesStayEmptyAndRepeatedOnesAreNotAppended) {
  auto frames = Frames({24, 16, 24}, 6);
  ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
  Put(frame_, frames[0]);
  AviWriteFrame(0, frame_);
  Put(frame_, frames[1]);
  AviWriteFrame(1, frame_);
  Put(frame_, frames[2]);
  AviWriteFrame(4, frame_);  // 2 and 3 stay empty
  Put(frame_, frames[3]);
  AviWriteFrame(4, frame_);  // already written: skipped
  Put(frame_, frames[4]);
  AviWriteFrame(2, frame_);  // behind the stream: skipped
  Put(frame_, frames[5]);
  AviWriteFrame(5, frame_);
  AviCloseWriter();

  ProbeInfo p = Probe(avi_);
  ASSERT_TRUE(p.ok) << Describe(p);
  EXPECT_EQ(p.packetPts, (std::vector<long>{0, 1, 4, 5})) << Describe(p);
  DecodedFrames d = DecodeBgr24(avi_, 24, 16);
  ASSERT_GE(d.frames.size(), 4u);
  // Whatever the decoder makes of the holes, the last picture is the frame written at 5.
  EXPECT_TRUE(d.frames.back() == samples::ExpectedBgr24(frames[5]));
  EXPECT_TRUE(d.frames.front() == samples::ExpectedBgr24(frames[0]));
}

TEST_F(AviTest, IndicesPastSixteenBitsKeepTheirPlace) {
  auto frames = Frames({16, 8, 24}, 4);
  ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
  WriteFrames({frames[0], frames[1]});
  WriteFrames({frames[2]}, 32767);
  WriteFrames({frames[3]}, 40000);
  AviCloseWriter();
  ProbeInfo p = Probe(avi_);
  ASSERT_TRUE(p.ok) << Describe(p);
  EXPECT_EQ(p.packetPts, (std::vector<long>{0, 1, 32767, 40000}));
}

TEST_F(AviTest, FramesOfAnotherFormatAreLeftOut) {
  auto frames = Frames({16, 8, 24}, 3);
  ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
  WriteFrames({frames[0]});
  WriteFrames({MakeBmp({8, 16, 24})}, 1);  // same byte count, other shape
  WriteFrames({MakeBmp({16, 8, 32})}, 2);
  WriteFrames({frames[1]}, 3);
  AviCloseWriter();
  EXPECT_EQ(Probe(avi_).packetPts, (std::vector<long>{0, 3}));
}

TEST_F(AviTest, UnreadableFrameWritesThePreviousPictureAgain) {
  auto frames = Frames({16, 8, 24}, 2);
  ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
  WriteFrames({frames[0], frames[1]});
  DialogSeries box(tk::AppTitle(), 1);
  AviWriteFrame(2, dir_ + L"\\gone.bmp");
  ASSERT_EQ(box.Wait().size(), 1u);
  AviCloseWriter();
  frames.push_back(frames[1]);
  ExpectDecodesTo(frames);
}

// No size wall: the file goes on in further RIFF segments (small ones here), every frame and
// its empty neighbours in place, and the file plays however often the segments change.
TEST_F(AviTest, FramesCrossManySegmentsAndEmptySlotsStayInPlace) {
  AviSetSegmentBytes(200 * 1024);
  auto frames = Frames({60, 40, 24}, 40);  // 7200 bytes a frame: 17 in the first segment
  ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
  for (int i = 0; i < 40; ++i) {
    Put(frame_, frames[i]);
    AviWriteFrame(i < 20 ? i : i + 5, frame_);  // slots 20-24 stay empty
  }
  AviCloseWriter();
  ProbeInfo p = Probe(avi_);
  ASSERT_TRUE(p.ok) << Describe(p);
  EXPECT_EQ(p.frames, 40);
  ASSERT_EQ(p.packetPts.size(), 40u);
  EXPECT_EQ(p.packetPts[19], 19);
  EXPECT_EQ(p.packetPts[20], 25);
  EXPECT_EQ(p.packetPts[39], 44);
  std::string out;
  RunShell("grep -c AVIX '" + UnixPath(avi_) + "'", &out);
  EXPECT_GE(std::atoi(out.c_str()), 1) << "no further segment";
  // Played back, the empty slots hold a picture next to them: with repeats left out, every
  // frame shows in its order, pixel for pixel.
  DecodedFrames d = DecodeBgr24(avi_, 60, 40);
  std::vector<std::vector<uint8_t>> shown;
  for (auto& f : d.frames)
    if (shown.empty() || shown.back() != f) shown.push_back(std::move(f));
  ASSERT_EQ(shown.size(), frames.size());
  for (size_t i = 0; i < frames.size(); ++i)
    EXPECT_TRUE(shown[i] == samples::ExpectedBgr24(frames[i])) << "frame " << i;
}

// Wine's library reports success for frames that no longer fit on the disk and leaves a
// file without them or its index; the writer has to stop while the file can still be
// finished.
TEST_F(AviTest, FullDiskStopsTheWriterWithAPlayableFile) {
  struct SmallDisk {
    std::string mount;
    bool mounted = false;
    ~SmallDisk() {
      if (mounted) RunShell("umount '" + mount + "'", nullptr);
    }
  } disk{UnixPath(dir_) + "/small"};
  disk.mounted = RunShell("mkdir -p '" + disk.mount + "' && mount -t tmpfs -o size=1m tmpfs '" +
                              disk.mount + "'",
                          nullptr) == 0;
  if (!disk.mounted) GTEST_SKIP() << "cannot mount a small file system here";
  avi_ = dir_ + L"\\small\\out.avi";
  auto frames = Frames({64, 64, 24}, 120);  // 12 KB a frame: the disk fills after about 60
  ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
  int handed = 0;
  for (const auto& f : frames) {
    Put(frame_, f);
    AviWriteFrame(handed, frame_);
    if (!AviWriterIsOpen()) break;
    ++handed;
  }
  EXPECT_FALSE(AviWriterIsOpen());
  EXPECT_EQ(AviWriterCloseReason(), CloseReason::DiskFull);
  AviCloseWriter();  // the later stop finishes what was written and deletes nothing
  ASSERT_TRUE(tk::FileExists(avi_));
  // The worker stopped before the frame that would not fit; the frames before it all play.
  ProbeInfo p = Probe(avi_);
  ASSERT_TRUE(p.ok) << Describe(p);
  EXPECT_GT(p.frames, 20);
  EXPECT_LE(p.frames, handed);
  frames.resize(static_cast<size_t>(p.frames));
  ExpectDecodesTo(frames);
}

// Wine reports no handle or GDI object counts (both read 0), so a leaked handle is also
// caught by the next handle value: the handle table hands out its lowest free slot.
HANDLE NextFreeHandle() {
  HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(h);
  return h;
}

TEST_F(AviTest, HandlesAndMemoryStayFlatOverManyFrames) {
  struct Counts {
    DWORD gdi, user, handles;
    HANDLE nextHandle;
    SIZE_T privateBytes;
  };
  auto counts = [] {
    PROCESS_MEMORY_COUNTERS mem{};
    GetProcessMemoryInfo(GetCurrentProcess(), &mem, sizeof mem);
    Counts c{GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
             GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), 0, NextFreeHandle(),
             mem.PagefileUsage};
    GetProcessHandleCount(GetCurrentProcess(), &c.handles);
    return c;
  };
  auto frames = Frames({320, 240, 24}, 2);
  ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
  Put(frame_, frames[1]);
  // Counted while the worker waits for frames. The thread library makes a few events once, on
  // first contention, whenever that comes (seen anywhere in the first 2,300 frames): a handle
  // or two is that; a leak would be one or more a frame.
  for (int i = 0; i < 1300; ++i) AviWriteFrame(i, frame_);
  Sleep(300);
  const Counts before = counts();
  for (int i = 1300; i < 2300; ++i) AviWriteFrame(i, frame_);
  Sleep(300);
  const Counts after = counts();
  AviCloseWriter();
  EXPECT_EQ(after.gdi, before.gdi);
  EXPECT_EQ(after.user, before.user);
  EXPECT_LE(after.handles, before.handles + 4);
  const auto handleSlot = [](HANDLE h) { return reinterpret_cast<uintptr_t>(h) / 4; };
  EXPECT_LE(handleSlot(after.nextHandle), handleSlot(before.nextHandle) + 4);
  // The writer keeps one small index entry per frame of a segment; frames add nothing else.
  EXPECT_LE(after.privateBytes, before.privateBytes + 1000 * 64 + 256 * 1024);
  EXPECT_EQ(Probe(avi_).frames, 2300);

  // A whole recording gives back what it took.
  const HANDLE idle = NextFreeHandle();
  ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
  WriteFrames(frames);
  AviCloseWriter();
  EXPECT_EQ(NextFreeHandle(), idle);
}

namespace {
std::wstring TestExeFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p = path;
  return p.substr(0, p.find_last_of(L'\\'));
}

int ReadProgress(const std::wstring& avi) {
  tk::File f = tk::File::Open(avi + L".progress", tk::FileMode::Read);
  char text[9] = {};
  return f.IsOpen() && f.ReadAt(0, text, 8) ? std::atoi(text) : 0;
}
}  // namespace

// A recording process killed at any moment (TerminateProcess, as a crash or the task manager
// does) leaves a file that plays every frame up to its last flush, pixel for pixel, and loses
// at most the last second. Killed early, in the middle, and right as the file passes into a new
// segment.
TEST_F(AviTest, AKilledRecordingPlaysUpToItsLastFlush) {
  constexpr uint64_t kSegment = 1 << 20;  // 160x120x32 frames: a new segment every 13 frames
  struct Moment {
    const char* what;
    double seconds;         // kill this long after the first frame
    uint64_t pastBoundary;  // or: as soon as the file passes this many segments
  } moments[] = {{"early", 0.7, 0}, {"in the middle", 2.3, 0}, {"at a segment change", 0, 4}};
  for (const Moment& when : moments) {
    SCOPED_TRACE(when.what);
    const std::wstring avi = dir_ + L"\\killed-" + std::to_wstring(&when - moments) + L".avi";
    std::wstring cmd = L"\"" + TestExeFolder() + L"\\recording_child.exe\" \"" + avi + L"\" " +
                       std::to_wstring(kSegment);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    tk::UniqueHandle process(pi.hProcess), thread(pi.hThread);
    const DWORD started = GetTickCount();
    while (ReadProgress(avi) == 0 && GetTickCount() - started < 20000) Sleep(5);
    ASSERT_GT(ReadProgress(avi), 0) << "the child never recorded";
    const DWORD first = GetTickCount();
    for (;;) {
      const uint64_t size = tk::FileLength(avi).value_or(0);
      if (when.pastBoundary ? size > when.pastBoundary * kSegment
                            : GetTickCount() - first >= when.seconds * 1000)
        break;
      ASSERT_LT(GetTickCount() - first, 20000u);
      Sleep(1);
    }
    TerminateProcess(process.get(), 9);
    WaitForSingleObject(process.get(), 10000);
    const int handed = ReadProgress(avi);

    ProbeInfo p = Probe(avi);
    ASSERT_TRUE(p.ok) << Describe(p);
    // 50 frames a second handed over: a second is 50 of them, and the queue holds four more.
    EXPECT_GE(p.frames, handed - 54) << "handed over " << handed;
    EXPECT_GT(p.frames, 0);
    std::vector<std::vector<uint8_t>> frames;
    for (long i = 0; i < p.frames; ++i) {
      samples::BmpRecipe recipe{160, 120, 32};
      recipe.seed = 100 + static_cast<uint32_t>(i);
      frames.push_back(samples::MakeBmp(recipe));
    }
    avi_ = avi;
    ExpectDecodesTo(frames);
  }
}
