// The writer's calls as a recording uses them: the real codec dialog answered, frames captured
// straight into the writer's buffers, real files decoded by ffmpeg.
#include "recorder/output/avidecs.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "recorder/bmp_samples.h"
#include "settings/remembered_choices.h"
#include "sound/sound_sources.h"
#include "support/codec_dialog.h"
#include "support/dialogs.h"
#include "support/message_boxes.h"
#include "support/sound_tools.h"
#include "support/test_codec.h"
#include "support/unix_tools.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/screen.h"

using namespace testsupport;
using namespace AVIDecs;
using orvik::Slot;
using samples::BmpRecipe;
using samples::MakeBmp;

namespace {

using Frames = std::vector<std::vector<uint8_t>>;

class AviTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDir(L"avi");
    frame_ = dir_ + L"\\tem.bmp";
    avi_ = dir_ + L"\\out.avi";
  }
  void TearDown() override {
    AviCloseWriter(recording_);
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
    bool ok = AviOpenWriter(recording_, nullptr, frame_, avi_, rate);
    EXPECT_TRUE(answer.Wait()) << "no codec dialog";
    offered_ = answer.Offered();
    return ok;
  }

  // The frame of `slot` put into a buffer the writer lent, as the capture copies the screen
  // there (waiting for a free buffer, where the capture would leave the slot out). Nothing
  // once the writer has stopped.
  void Capture(Slot slot, const std::vector<uint8_t>& bmp) {
    const auto capture = recording_.Acquire(slot, true);
    if (!capture) {
      EXPECT_FALSE(AviWriterIsOpen(recording_)) << "no buffer for slot " << slot;
      return;
    }
    const size_t offBits = samples::Get32(bmp, 10);
    std::memcpy(capture->frame.bits, bmp.data() + offBits, bmp.size() - offBits);
    recording_.Submit(*capture);
  }
  void CaptureAll(const Frames& frames, Slot first = 0) {
    for (size_t i = 0; i < frames.size(); ++i) Capture(first + static_cast<Slot>(i), frames[i]);
  }

  static Frames Make(BmpRecipe recipe, int count) {
    Frames frames;
    for (int i = 0; i < count; ++i) {
      recipe.seed = 100 + i;
      frames.push_back(MakeBmp(recipe));
    }
    return frames;
  }

  void ExpectDecodesTo(const Frames& frames, const std::wstring& avi) {
    const int w = static_cast<int>(samples::Get32(frames[0], 18));
    const int h = std::abs(static_cast<int>(samples::Get32(frames[0], 22)));
    DecodedFrames d = DecodeBgr24(avi, w, h);
    ASSERT_EQ(d.frames.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i)
      EXPECT_TRUE(d.frames[i] == samples::ExpectedBgr24(frames[i])) << "frame " << i;
  }
  void ExpectDecodesTo(const Frames& frames) { ExpectDecodesTo(frames, avi_); }

  orvik::RecordingOutput recording_;
  std::wstring dir_, frame_, avi_;
  std::vector<std::wstring> offered_;
};

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

// A small file system of its own (tmpfs; needs root), for disks that fill up.
struct SmallDisk {
  SmallDisk(const std::wstring& dir, const std::string& size) : mount(UnixPath(dir) + "/small") {
    mounted = RunShell("mkdir -p '" + mount + "' && mount -t tmpfs -o size=" + size + " tmpfs '" +
                           mount + "'",
                       nullptr) == 0;
  }
  ~SmallDisk() {
    if (mounted) RunShell("umount '" + mount + "'", nullptr);
  }
  // Takes every free byte but `keep` with a file of its own.
  void Fill(uint64_t keep = 0) {
    RunShell("fallocate -l $(( $(df -B1 --output=avail '" + mount + "' | tail -1) - " +
                 std::to_string(keep) + " )) '" + mount +
                 "/filler' 2>/dev/null || dd if=/dev/zero of='" + mount +
                 "/filler' bs=4k 2>/dev/null",
             nullptr);
  }
  std::string mount;
  bool mounted = false;
};

}  // namespace

TEST_F(AviTest, FullFramesDecodeToTheSourcePixelsAtEveryDepth) {
  for (int bits : {24, 32, 8}) {
    SCOPED_TRACE(bits);
    auto frames = Make({61, 33, bits}, 4);  // odd width: rows carry padding
    ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
    EXPECT_TRUE(AviWriterIsOpen(recording_));
    CaptureAll(frames);
    EXPECT_EQ(AviCloseWriter(recording_), 0);
    EXPECT_FALSE(AviWriterIsOpen(recording_));
    EXPECT_EQ(AviWriterError(recording_), EngineError::None);
    EXPECT_EQ(recording_.FramesWritten(), 4u);

    ProbeInfo p = Probe(avi_);
    ASSERT_TRUE(p.ok) << p.raw;
    EXPECT_EQ(p.streams, 1);
    EXPECT_EQ(p.codecType, "video");
    EXPECT_EQ(p.frameRate, "10/1");
    EXPECT_EQ(p.width, 61);
    EXPECT_EQ(p.height, 33);
    EXPECT_EQ(p.frames, 4);
    // 32-bit frames are opaque in the file, whatever GDI left in their fourth byte.
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
    CaptureAll(Make({8, 8, 24}, 2));
    AviCloseWriter(recording_);
    EXPECT_EQ(Probe(avi_).frameRate, c.probed) << c.rate;
  }
}

TEST_F(AviTest, EveryOfferedCodecRecordsOrFailsWithoutAFile) {
  ASSERT_TRUE(Open(MakeBmp({8, 8, 24}), kCodecFullFrames));
  AviCloseWriter(recording_);
  const std::vector<std::wstring> codecs = offered_;
  ASSERT_FALSE(codecs.empty());
  EXPECT_EQ(codecs[0], kCodecFullFrames);
  for (const std::wstring& codec : codecs) {
    for (int bits : {8, 24, 32}) {
      SCOPED_TRACE(Utf8(codec) + " " + std::to_string(bits));
      auto frames = Make({48, 32, bits}, 3);
      tk::RemoveFile(avi_);
      if (!Open(frames[0], codec)) {
        EXPECT_FALSE(tk::FileExists(avi_));
        EXPECT_EQ(AviWriterError(recording_), EngineError::CodecRefused);
        std::printf("  %s at %d bits: refused, no file\n", Utf8(codec).c_str(), bits);
        continue;
      }
      CaptureAll(frames);
      AviCloseWriter(recording_);
      ProbeInfo p = Probe(avi_);
      ASSERT_TRUE(p.ok) << p.raw;
      EXPECT_EQ(p.frames, 3);
      EXPECT_EQ(p.width, 48);
      std::printf("  %s at %d bits: %s, %ld frames\n", Utf8(codec).c_str(), bits,
                  p.codecName.c_str(), p.frames);
      // Wine's run-length coder is not lossless on noise; only raw frames decode exactly.
      if (codec == kCodecFullFrames) ExpectDecodesTo(frames);
    }
  }
}

// The file at the output path is only replaced once the new one plays: a cancelled dialog, a
// codec that refuses the format, a folder that is not there or a disk with no room leave the
// user's file as it was, and make none; frames after a failed open go nowhere.
TEST_F(AviTest, AnOpenThatFailsSaysWhyAndLeavesTheFileThatWasThere) {
  EXPECT_FALSE(Open(MakeBmp({16, 16, 24}), L""));
  EXPECT_EQ(AviWriterError(recording_), EngineError::CodecCancelled);
  EXPECT_FALSE(AviWriterIsOpen(recording_));
  EXPECT_FALSE(recording_.Acquire(0));
  EXPECT_FALSE(tk::FileExists(avi_));
  for (const wchar_t* codec : {kCodecVideo1, kCodecCinepak}) {  // decoders only
    EXPECT_FALSE(Open(MakeBmp({32, 32, 24}), codec)) << Utf8(codec);
    EXPECT_EQ(AviWriterError(recording_), EngineError::CodecRefused);
    EXPECT_FALSE(tk::FileExists(avi_)) << Utf8(codec);
    EXPECT_NE(AviCloseWriter(recording_), 0);
  }

  const std::vector<uint8_t> mine = {'m', 'i', 'n', 'e'};
  Put(avi_, mine);
  EXPECT_FALSE(Open(MakeBmp({16, 16, 24}), L""));
  EXPECT_FALSE(Open(MakeBmp({16, 16, 24}), kCodecCinepak));
  EXPECT_EQ(ReadAll(avi_), mine);
  EXPECT_FALSE(tk::FileExists(frame_ + L".codec-check.avi"));  // the scratch file is gone

  avi_ = dir_ + L"\\missing-folder\\out.avi";
  EXPECT_FALSE(Open(MakeBmp({8, 8, 24}), kCodecFullFrames));
  EXPECT_EQ(AviWriterError(recording_), EngineError::FileNotCreated);
  EXPECT_FALSE(tk::FileExists(avi_));

  const std::wstring missing = dir_ + L"\\none.bmp";
  DialogSeries boxes(tk::AppTitle(), 2);
  EXPECT_FALSE(AviOpenWriter(recording_, nullptr, missing, avi_, 10));
  const auto& answered = boxes.Wait();
  ASSERT_EQ(answered.size(), 2u);
  EXPECT_EQ(answered[0].text, L"File does not exist:\r\n" + missing);
  EXPECT_EQ(answered[1].text, L"Could not load first bitmap file in list!");
  EXPECT_EQ(answered[1].icon, LoadIconW(nullptr, IDI_WARNING));
  EXPECT_EQ(AviWriterError(recording_), EngineError::TemplateUnreadable);

  // A disk with no room for even the new file's headers: the file that was there stays whole.
  SmallDisk disk(dir_, "1m");
  if (!disk.mounted) GTEST_SKIP() << "cannot mount a small file system here";
  avi_ = L"Z:" + Wide(disk.mount) + L"\\full.avi";
  for (wchar_t& ch : avi_)
    if (ch == L'/') ch = L'\\';
  Put(avi_, mine);
  disk.Fill();
  EXPECT_FALSE(Open(MakeBmp({8, 8, 24}), kCodecFullFrames));
  EXPECT_EQ(AviWriterError(recording_), EngineError::FileNotCreated);
  EXPECT_EQ(ReadAll(avi_), mine);
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
  auto frames = Make({16, 8, 24}, 3);
  ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
  CaptureAll(frames);
  AviCloseWriter(recording_);
  EXPECT_GT(tk::FileLength(avi_).value_or(0), 0u);
  ExpectDecodesTo(frames);
}

// No size wall: the file goes on in further RIFF segments (small ones here), every frame and
// its empty neighbours in place, and the file plays however often the segments change. A slot
// behind the last one captured is refused before any pixel is copied.
TEST_F(AviTest, FramesCrossManySegmentsAndEmptySlotsStayInPlace) {
  AviSetSegmentBytes(200 * 1024);
  auto frames = Make({60, 40, 24}, 40);  // 7200 bytes a frame: 17 in the first segment
  ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
  for (int i = 0; i < 40; ++i) {
    Capture(i < 20 ? i : i + 5, frames[i]);  // slots 20-24 stay empty
    if (i == 30) {
      EXPECT_FALSE(recording_.Acquire(30));
    }
  }
  EXPECT_EQ(AviCloseWriter(recording_), 0);
  ProbeInfo p = Probe(avi_);
  ASSERT_TRUE(p.ok) << p.raw;
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

// A disk that fills up stops the writer with "disk full", wherever it fills: between frames,
// or as a new segment would reserve its index. The file keeps every frame before that, and
// the later stop finishes it and deletes nothing.
TEST_F(AviTest, AFullDiskStopsTheWriterWithAPlayableFile) {
  struct Case {
    const char* what;
    const char* size;
    uint64_t segmentBytes;
    BmpRecipe recipe;
    int frames;
  } cases[] = {
      {"between frames", "1m", kDefaultSegmentBytes, {64, 64, 24}, 120},
      // 4 MiB segments of 16 KiB frames; the seventh reserves 512 KiB of index as it starts,
      // at about 24 MiB, where the disk has 300 KiB left.
      {"at a segment change", "24876k", 4ull << 20, {64, 64, 32}, 1700},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SmallDisk disk(dir_, c.size);
    if (!disk.mounted) GTEST_SKIP() << "cannot mount a small file system here";
    AviSetSegmentBytes(c.segmentBytes);
    avi_ = Wide(disk.mount) + L"\\out.avi";
    for (wchar_t& ch : avi_)
      if (ch == L'/') ch = L'\\';
    avi_ = L"Z:" + avi_;
    auto frames = Make(c.recipe, c.frames);
    ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
    int handed = 0;
    for (const auto& f : frames) {
      if (!AviWriterIsOpen(recording_)) break;
      Capture(handed++, f);
      Sleep(1);
    }
    for (DWORD t0 = GetTickCount(); AviWriterIsOpen(recording_) && GetTickCount() - t0 < 20000;)
      Sleep(10);
    EXPECT_EQ(AviWriterError(recording_), EngineError::DiskFull);
    EXPECT_EQ(AviCloseWriter(recording_), static_cast<int32_t>(EngineError::DiskFull));
    ASSERT_TRUE(tk::FileExists(avi_));
    ProbeInfo p = Probe(avi_);
    ASSERT_TRUE(p.ok) << p.raw;
    EXPECT_GT(p.frames, 20);
    EXPECT_LE(p.frames, handed);
    EXPECT_EQ(p.frames, static_cast<long>(recording_.FramesWritten()));
    frames.resize(static_cast<size_t>(p.frames));
    ExpectDecodesTo(frames);
  }
}

// A disk filled by someone else while nothing was recorded: the stop cannot put down the
// file's last index, says so, and the file still plays every frame.
TEST_F(AviTest, AStopThatCannotFinishTheFileSaysWhyAndKeepsWhatWasWritten) {
  SmallDisk disk(dir_, "2m");
  if (!disk.mounted) GTEST_SKIP() << "cannot mount a small file system here";
  avi_ = L"Z:" + Wide(disk.mount) + L"/out.avi";
  for (wchar_t& ch : avi_)
    if (ch == L'/') ch = L'\\';
  auto frames = Make({32, 32, 24}, 3);
  ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
  // Far-apart slots: the empty ones between give the legacy index 16 KB to write at the end.
  Capture(0, frames[0]);
  Capture(1, frames[1]);
  Capture(1000, frames[2]);
  Sleep(1500);  // the writer commits what it has
  disk.Fill();
  EXPECT_EQ(AviCloseWriter(recording_), static_cast<int32_t>(EngineError::DiskFull));
  ProbeInfo p = Probe(avi_);
  ASSERT_TRUE(p.ok) << p.raw;
  EXPECT_EQ(p.packetPts, (std::vector<long>{0, 1, 1000}));
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
  auto frames = Make({320, 240, 24}, 2);
  ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
  // Counted while the writer waits for frames. The thread library makes a few events once, on
  // first contention, whenever that comes (seen anywhere in the first 2,300 frames): a handle
  // or two is that; a leak would be one or more a frame.
  for (int i = 0; i < 1300; ++i) Capture(i, frames[1]);
  Sleep(300);
  const Counts before = counts();
  for (int i = 1300; i < 2300; ++i) Capture(i, frames[1]);
  Sleep(300);
  const Counts after = counts();
  AviCloseWriter(recording_);
  recording_.ReleaseSurfaces();  // as a session does once it kept the last picture
  EXPECT_EQ(after.gdi, before.gdi);
  EXPECT_EQ(after.user, before.user);
  EXPECT_LE(after.handles, before.handles + 4);
  const auto handleSlot = [](HANDLE h) { return reinterpret_cast<uintptr_t>(h) / 4; };
  EXPECT_LE(handleSlot(after.nextHandle), handleSlot(before.nextHandle) + 4);
  // The writer keeps one small index entry per frame of a segment; frames add nothing else.
  EXPECT_LE(after.privateBytes, before.privateBytes + 1000 * 64 + 256 * 1024);
  EXPECT_EQ(Probe(avi_).frames, 2300);

  // A whole recording gives back what it took: its thread and events, its buffers' memory.
  const HANDLE idle = NextFreeHandle();
  ASSERT_TRUE(Open(frames[0], kCodecFullFrames));
  CaptureAll(frames);
  AviCloseWriter(recording_);
  recording_.ReleaseSurfaces();
  EXPECT_EQ(NextFreeHandle(), idle);
  // And its bitmaps and DCs: the GDI counts read 0 here, but 3,000 recordings' worth of
  // buffers would use up the process's GDI objects if any stayed.
  std::vector<uint8_t> format(frames[0].begin() + 14, frames[0].begin() + 54);
  orvik::FrameSurfaces surfaces;
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(surfaces.Create(format, 320 * 240 * 3, 4)) << i;
  EXPECT_TRUE(surfaces.HaveRoom());
  surfaces.Release();
  EXPECT_EQ(NextFreeHandle(), idle);
}

namespace {
std::atomic<int> g_messagesHandled{0};

LRESULT CALLBACK CountingWindowProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_APP) ++g_messagesHandled;
  return DefWindowProcW(h, msg, w, l);
}
}  // namespace

// A codec that sends a message to a window of the thread that started the recording while it
// compresses and as it ends: a writer that ran the codec on two threads, or a close that waited
// without letting sent messages run, shows here (the latter by never returning).
TEST_F(AviTest, TheCodecRunsOnTheWritersThreadAndAStopLetsItsMessagesThrough) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = CountingWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"OrvikThreadCodecWindow";
  RegisterClassW(&wc);
  tk::UniqueWindow window(CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        wc.hInstance, nullptr));
  TestCodec codec({window.get(), 0});
  ASSERT_TRUE(codec.Installed());
  auto frames = Make({40, 30, 32}, 6);
  ASSERT_TRUE(Open(frames[0], TestCodec::kName));
  CaptureAll(frames);
  EXPECT_EQ(AviCloseWriter(recording_),
            0);                     // returns only because the codec's messages got through
  EXPECT_EQ(g_messagesHandled, 7);  // one a frame, one at the end
  const std::set<DWORD> threads = codec.CompressThreads();
  EXPECT_EQ(threads.size(), 1u) << "the codec was driven from several threads";
  EXPECT_EQ(threads.count(GetCurrentThreadId()), 0u);
  ExpectDecodesTo(frames);
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
    ASSERT_TRUE(p.ok) << p.raw;
    // 50 frames a second handed over: a second is 50 of them, and the queue holds four more.
    EXPECT_GE(p.frames, handed - 54) << "handed over " << handed;
    EXPECT_GT(p.frames, 0);
    Frames frames;
    for (long i = 0; i < p.frames; ++i) {
      samples::BmpRecipe recipe{160, 120, 32};
      recipe.seed = 100 + static_cast<uint32_t>(i);
      frames.push_back(samples::MakeBmp(recipe));
    }
    ExpectDecodesTo(frames, avi);
  }
}

// The same with sound: a process killed while it records picture and the system's sound
// leaves a file whose sound plays up to about its last commit, the tone intact.
TEST_F(AviTest, AKilledRecordingWithSoundPlaysItsSoundUpToTheLastCommit) {
  std::string why;
  ASSERT_TRUE(SoundServerUp(&why)) << why;
  ASSERT_TRUE(orvik::ProgramSettings().WriteText(L"SystemSoundDevice", kSystemSoundDevice));
  Playing tone(SoundSink::Speakers, Tone{1000, 15, 0.5});
  const std::wstring avi = dir_ + L"\\killed-sound.avi";
  std::wstring cmd = L"\"" + TestExeFolder() + L"\\recording_child.exe\" \"" + avi + L"\" " +
                     std::to_wstring(kDefaultSegmentBytes) + L" sound";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(
      CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  tk::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  const DWORD started = GetTickCount();
  while (ReadProgress(avi) == 0 && GetTickCount() - started < 20000) Sleep(5);
  ASSERT_GT(ReadProgress(avi), 0) << "the child never recorded";
  const double firstFrame = tk::MonotonicSeconds();
  Sleep(3200);
  TerminateProcess(process.get(), 9);
  const double killedAfter = tk::MonotonicSeconds() - firstFrame;
  WaitForSingleObject(process.get(), 10000);

  ProbeInfo p = Probe(avi);
  ASSERT_TRUE(p.ok) << p.raw;
  EXPECT_EQ(p.streams, 2);
  orvik::ProgramSettings().Clear();
  const Sound sound = SoundOf(avi);
  ASSERT_TRUE(sound.Ok()) << sound.Error();
  // Committed every 0.4 s, a little behind the clock: at most a second lost.
  EXPECT_GE(sound.Seconds(), killedAfter - 1.0);
  EXPECT_LE(sound.Seconds(), killedAfter + 0.2);
  EXPECT_NEAR(sound.Between(1.0, sound.Seconds() - 0.1).Frequency(), 1000, 2);
}

// With no sound server at all the recording goes on without sound, and says why (Wine still
// lists the devices it knew, and they refuse to start).
TEST_F(AviTest, NoSoundServerMeansAPictureWithoutSound) {
  const std::wstring avi = dir_ + L"\\no-server.avi";
  const std::string child = UnixPath(TestExeFolder() + L"\\recording_child.exe");
  std::string out;
  ASSERT_EQ(RunShell("w=/usr/lib/wine/wine64; [ -x $w ] || w=$(command -v wine64); "
                     "PULSE_SERVER=unix:/nonexistent timeout 120 $w '" +
                         child + "' '" + Utf8(avi) + "' " + std::to_string(kDefaultSegmentBytes) +
                         " sound 25",
                     &out),
            0)
      << out;
  tk::File told = tk::File::Open(avi + L".sound", tk::FileMode::Read);
  char problem[2] = {};
  ASSERT_TRUE(told.ReadAt(0, problem, 1));
  EXPECT_NE(problem[0] - '0', static_cast<int>(orvik::sound::DeviceProblem::None));
  ProbeInfo p = Probe(avi);
  ASSERT_TRUE(p.ok) << p.raw;
  EXPECT_EQ(p.streams, 1);
  EXPECT_EQ(p.frames, 25);
}
