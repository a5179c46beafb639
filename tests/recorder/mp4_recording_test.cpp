// MP4 recordings made through the program's own recording path (RecordingOutput, the writer's
// thread, openh264, libavcodec's AAC, our MP4 writer, the Windows disk), with pictures and a
// click of the test's own, read back by the machine's ffmpeg: what every player needs of the
// finished file, and a copy taken mid-recording (as a kill leaves it) finished by the repair.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "recorder/bmp_samples.h"
#include "recorder/file/left_over_mp4.h"
#include "recorder/output/avidecs.h"
#include "recorder/output/recording_output.h"
#include "sound/sound_source.h"
#include "support/playback_check.h"
#include "support/sound_samples.h"
#include "support/sound_tools.h"
#include "support/unix_tools.h"
#include "toolkit/files.h"

using namespace testsupport;

namespace {

// An odd size: the file's picture is 160 x 120 (the last column and bottom row left out).
constexpr int kWidth = 161, kHeight = 121, kRate = 10, kSlots = 40;
constexpr int kFlashSlot = 10;    // the slot whose lower half is white
constexpr double kClickAt = 1.0;  // where the sound's click is: the flash's moment
constexpr int kCopyAfterSlot = 25;
// From this slot on the picture stands still: the frames after it repeat it, and only the key
// frame due at 2 s (slot 20) is a picture of the file's.
constexpr int kStillFrom = 15;

// Silence with a 10 ms burst of 1 kHz at kClickAt, produced as the recording's time passes.
class ClickSource : public orvik::sound::SoundSource {
 public:
  void Produce(double until, std::vector<int16_t>* pcm) override {
    const long long end = std::llround(until * 48000);
    for (; made_ < end; ++made_) {
      const double t = made_ / 48000.0 - kClickAt;
      const bool on = t >= 0 && t < 0.010;
      const auto s =
          static_cast<int16_t>(on ? 26000 * std::sin(2 * 3.14159265358979 * 1000 * t) : 0);
      pcm->push_back(s);
      pcm->push_back(s);
    }
  }

 private:
  long long made_ = 0;
};

// Frame n as a bottom-up 32-bit DIB: the upper half pure red, the lower grey with a white
// square that moves (all white at the flash; still from slot 20 to 29).
void PaintFrame(int n, uint8_t* bits) {
  const int stride = kWidth * 4;
  const int still = std::min(n, kStillFrom);
  for (int row = 0; row < kHeight; ++row) {  // row: from the picture's top
    uint8_t* p = bits + static_cast<size_t>(kHeight - 1 - row) * stride;
    for (int x = 0; x < kWidth; ++x, p += 4) {
      const bool upper = row < 60;
      const bool square = x >= still * 3 && x < still * 3 + 16 && row >= 80 && row < 96;
      const uint8_t grey = n == kFlashSlot || square ? 255 : 128;
      p[0] = upper ? 0 : grey;
      p[1] = upper ? 0 : grey;
      p[2] = upper ? 255 : grey;
      p[3] = 0;
    }
  }
}

std::string Field(const std::string& out, const std::string& key) {
  std::smatch m;
  return std::regex_search(out, m, std::regex("(^|\n)" + key + "=([^\r\n]*)")) ? m[2].str() : "";
}

// The file's top-level boxes, in order ("?" where a box runs past the end).
std::vector<std::string> TopLevelBoxes(const std::wstring& path) {
  const std::string f = ReadWholeFile(path);
  std::vector<std::string> boxes;
  size_t at = 0;
  while (at + 8 <= f.size()) {
    auto byte = [&](size_t i) { return static_cast<uint64_t>(static_cast<uint8_t>(f[i])); };
    uint64_t size = byte(at) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
    if (size == 1 && at + 16 <= f.size()) {
      size = 0;
      for (int i = 0; i < 8; ++i) size = size << 8 | byte(at + 8 + i);
    }
    boxes.push_back(f.substr(at + 4, 4));
    if (size < 8 || size > f.size() - at) {
      if (size != f.size() - at) boxes.push_back("?");
      break;
    }
    at += size;
  }
  return boxes;
}

std::string Shell(const std::string& command) {
  std::string out;
  EXPECT_EQ(RunShell(command, &out), 0) << command << "\n" << out;
  return out;
}

std::vector<double> Numbers(const std::string& lines) {
  std::vector<double> v;
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) v.push_back(std::atof(line.c_str()));
  return v;
}

// `slots` frames recorded as MP4 into `path` with clicks for sound, slot n showing picture
// `pictureOf(n)`, `pauseMs` apart, the recording's time a slot on after each; `afterSlot(n)`
// runs after slot n. Its recording id goes to *id.
void RecordMp4(const std::wstring& dir, const std::wstring& path, int slots, int pauseMs,
               const std::function<int(int)>& pictureOf, orvik::RecordingId* id = nullptr,
               const std::function<void(int)>& afterSlot = {}) {
  const std::wstring templ = dir + L"\\template.bmp";
  const auto first = samples::MakeBmp({kWidth, kHeight, 32});
  tk::File t = tk::File::Open(templ, tk::FileMode::Replace);
  ASSERT_TRUE(t.WriteAt(0, first.data(), first.size()));
  t.Close();
  orvik::RecordingOutput output;
  ClickSource clicks;
  std::atomic<double> elapsed{0};
  output.SetSound(&clicks, [&] { return elapsed.load(); });
  ASSERT_EQ(output.OpenMp4(templ, path, kRate), orvik::EngineError::None);
  if (id) *id = output.Unfinished().id;
  for (int n = 0; n < slots; ++n) {
    const auto capture = output.Acquire(static_cast<orvik::Slot>(n), true);
    ASSERT_TRUE(capture);
    PaintFrame(pictureOf(n), capture->frame.bits);
    output.Submit(*capture);
    elapsed = (n + 1.0) / kRate;
    Sleep(pauseMs);
    if (afterSlot) afterSlot(n);
  }
  EXPECT_EQ(output.Close(), orvik::EngineError::None);
}

class Mp4Recording : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new std::wstring(MakeTempDir(L"mp4rec"));
    Record();
  }
  static void TearDownTestSuite() {
    RemoveTree(*dir_);
    delete dir_;
  }

  // kSlots slots at 40 ms each (the file commits every 0.4 s of real time); a copy of the
  // file is taken after kCopyAfterSlot, while it is still being written.
  static void Record() {
    RecordMp4(
        *dir_, Path(), kSlots, 40, [](int n) { return n; }, &id_,
        [](int n) {
          if (n == kCopyAfterSlot)
            Shell("cp " + ShellQuote(UnixPath(Path())) + " " + ShellQuote(UnixPath(CutPath())));
        });
  }

  static std::wstring Path() { return *dir_ + L"\\rec.mp4"; }
  static std::wstring CutPath() { return *dir_ + L"\\cut.mp4"; }
  static std::string Unix(const std::wstring& p) { return ShellQuote(UnixPath(p)); }

  // As the next start finishes the copy: the recording's note, naming the copy's file and the
  // recording `id`.
  static orvik::LeftOverResult FinishCopy(const orvik::RecordingId& id) {
    orvik::UnfinishedRecording note;
    note.id = id;
    note.path = CutPath();
    const auto file = tk::File::Open(CutPath(), tk::FileMode::Read).Identify();
    if (file) note.file = {file->volume, file->index};
    return orvik::FinishLeftOver(note);
  }

  static std::wstring* dir_;
  static orvik::RecordingId id_;
};
std::wstring* Mp4Recording::dir_ = nullptr;
orvik::RecordingId Mp4Recording::id_{};

TEST_F(Mp4Recording, FinishedFilePlaysEverywhereWithSoundStartingWithThePicture) {
  const std::string file = Unix(Path());
  EXPECT_EQ(TopLevelBoxes(Path()), (std::vector<std::string>{"ftyp", "mdat", "moov"}));
  Shell("ffmpeg -v error -xerror -i " + file + " -f null -");

  const std::string v = Shell(
      "ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,profile,width,height,"
      "pix_fmt,has_b_frames,color_range,color_space,color_primaries,color_transfer,duration "
      "-of default=nw=1 " +
      file);
  EXPECT_EQ(Field(v, "codec_name"), "h264") << v;
  EXPECT_EQ(Field(v, "profile"), "Main");
  EXPECT_EQ(Field(v, "width"), "160");
  EXPECT_EQ(Field(v, "height"), "120");
  EXPECT_EQ(Field(v, "pix_fmt"), "yuv420p");
  EXPECT_EQ(Field(v, "has_b_frames"), "0");
  EXPECT_EQ(Field(v, "color_range"), "tv");
  EXPECT_EQ(Field(v, "color_space"), "smpte170m");  // BT.601's matrix
  EXPECT_EQ(Field(v, "color_primaries"), "bt709");
  EXPECT_EQ(Field(v, "color_transfer"), "bt709");
  const std::string a = Shell(
      "ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,profile,sample_rate,"
      "channels,duration -of default=nw=1 " +
      file);
  EXPECT_EQ(Field(a, "codec_name"), "aac") << a;
  EXPECT_EQ(Field(a, "profile"), "LC");
  EXPECT_EQ(Field(a, "sample_rate"), "48000");
  EXPECT_EQ(Field(a, "channels"), "2");
  // Both last as long as the recording: 4 s.
  EXPECT_NEAR(std::atof(Field(v, "duration").c_str()), 4.0, 1e-3) << v;
  EXPECT_NEAR(std::atof(Field(a, "duration").c_str()), 4.0, 1.0 / kRate) << a;

  // A picture a slot while the picture moves, picture n at n / fps; once it stands still, the
  // key frame due at 2 s alone. Key frames every 2 s.
  const std::vector<double> times = Numbers(Shell(
      "ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 " + file));
  std::vector<double> expected;
  for (int n = 0; n <= kStillFrom; ++n) expected.push_back(static_cast<double>(n) / kRate);
  expected.push_back(2.0);
  ASSERT_EQ(times.size(), expected.size());
  for (size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(times[i], expected[i], 1e-6);
  const std::string keys = Shell(
      "ffprobe -v error -select_streams v:0 -show_entries packet=flags "
      "-of csv=p=0 " +
      file);
  EXPECT_EQ(std::count(keys.begin(), keys.end(), 'K'), kSlots / (2 * kRate)) << keys;

  // The pictures: red is BT.601's red in limited range (luma 81; BT.709 would give 63); the
  // brightest lower half is the flash's, at 1.0 s.
  const std::wstring raw = *dir_ + L"\\luma.raw";
  Shell("ffmpeg -v error -y -i " + file + " -vf fps=" + std::to_string(kRate) +
        " -f rawvideo -pix_fmt yuv420p " + Unix(raw));
  const std::string luma = ReadWholeFile(raw);
  // The stream's own samples (a gray output would be stretched to full range).
  const size_t lumaBytes = 160 * 120, frameBytes = lumaBytes * 3 / 2;
  ASSERT_EQ(luma.size(), frameBytes * kSlots);
  EXPECT_NEAR(static_cast<uint8_t>(luma[30 * 160 + 80]), 81, 2);
  int brightest = -1;
  double most = 0;
  for (int n = 0; n < kSlots; ++n) {
    double sum = 0;
    for (size_t i = 60 * 160; i < lumaBytes; ++i)
      sum += static_cast<uint8_t>(luma[n * frameBytes + i]);
    if (sum > most) most = sum, brightest = n;
  }
  EXPECT_EQ(brightest, kFlashSlot);

  // The sound starts with the picture: its click is heard at the flash, the encoder's priming
  // cut by the edit list.
  const Sound sound = SoundOf(Path());
  ASSERT_TRUE(sound.Ok()) << sound.Error();
  const std::vector<double> heard = sound.Clicks(0.3, 0.5);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_NEAR(heard[0], kClickAt, 0.003);
}

// "R,G,B" within a few code values of pure red.
void ExpectRed(const std::string& rgb, const char* client) {
  int r = -1, g = -1, b = -1;
  EXPECT_EQ(std::sscanf(rgb.c_str(), "%d,%d,%d", &r, &g, &b), 3) << client << ": " << rgb;
  EXPECT_GE(r, 245) << client << ": " << rgb;
  EXPECT_LE(g, 8) << client << ": " << rgb;
  EXPECT_LE(b, 8) << client << ": " << rgb;
}

// Ten seconds of a screen where nothing moves: the file holds its first picture and the key
// frames due every 2 s, nothing else, lasts the ten seconds and plays to its end in ffmpeg and
// a real browser.
TEST(Mp4StillScreen, IsHeldByItsKeyFramesAloneAndPlaysToItsEnd) {
  const std::wstring dir = MakeTempDir(L"mp4still"), path = dir + L"\\still.mp4";
  RecordMp4(dir, path, 10 * kRate, 10, [](int) { return kStillFrom; });
  const std::string packets = Shell(
      "ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,flags -of csv=p=0 " +
      ShellQuote(UnixPath(path)));
  EXPECT_EQ(packets, "0.000000,K_\n2.000000,K_\n4.000000,K_\n6.000000,K_\n8.000000,K_\n");
  // Red comes back red where the stream's colour description is read: BT.601's red read as
  // BT.709 would show green 24.
  PlaybackChecks checks;
  checks.mediaFoundation = false;
  checks.browserTimeoutSeconds = 30;
  checks.pixelX = 80;
  checks.pixelY = 30;
  const PlaybackFacts played = CheckPlayback(path, checks);
  EXPECT_TRUE(played.ffmpegDecodes) << Describe(played);
  EXPECT_NEAR(played.video.End(), 10.0, 1e-3) << Describe(played);
  EXPECT_TRUE(played.browser.played) << Describe(played);
  EXPECT_NEAR(played.browser.endTime, 10.0, 0.05) << Describe(played);
  ExpectRed(played.browser.pixel, "Chromium");
  const std::string rgb = Shell("ffmpeg -v error -i " + ShellQuote(UnixPath(path)) +
                                " -frames:v 1 -vf format=rgb24,crop=1:1:80:30 -f rawvideo - | "
                                "od -An -tu1 | tr -s ' ' ',' | sed 's/^,//'");
  ExpectRed(rgb, "ffmpeg");
  RemoveTree(dir);
}

TEST_F(Mp4Recording, CopyTakenMidRecordingIsRepairedIntoAPlainMp4) {
  const std::string before = Unix(CutPath());
  // As it is, the sound starts with the picture: the moov written at the start has the edit list
  // that skips the priming the encoder said. ffmpeg keeping the file's times hears the click at
  // the flash.
  const std::wstring wav = *dir_ + L"\\cut.wav";
  Shell("ffmpeg -v error -y -copyts -i " + before +
        " -map 0:a -af atrim=start=0 -c:a pcm_s16le -f wav " + Unix(wav));
  const std::vector<double> heard = Sound::FromWav(ReadWholeFile(wav)).Clicks(0.3, 0.5);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_NEAR(heard[0], kClickAt, 0.003);

  // Bytes after the fragments that nobody can say are a torn fragment of ours.
  Shell("head -c 3000 /dev/urandom >> " + before);
  Shell("ffmpeg -v error -i " + before + " -f null -");  // the fragments play as they are
  const std::string copy = ReadWholeFile(CutPath());
  orvik::RecordingId another = id_;
  another[0] ^= 1;
  const orvik::LeftOverResult notOurs = FinishCopy(another);
  EXPECT_EQ(notOurs.outcome, orvik::LeftOverOutcome::Settled);
  const mp4::RepairReport& other = notOurs.report;
  EXPECT_EQ(other.result, mp4::RepairResult::NotOurs);
  EXPECT_FALSE(other.fileChanged);
  EXPECT_TRUE(ReadWholeFile(CutPath()) == copy);

  const orvik::LeftOverResult finished = FinishCopy(id_);
  EXPECT_EQ(finished.outcome, orvik::LeftOverOutcome::Repaired);
  const mp4::RepairReport& report = finished.report;
  ASSERT_EQ(report.result, mp4::RepairResult::Repaired);
  EXPECT_TRUE(report.fileChanged);
  EXPECT_EQ(report.bytesCut, 0u);
  EXPECT_GE(report.bytesKept, 3000u);  // inside the mdat now
  // Every byte of the copy is still there, but the placeholder after the ftyp (the mdat's
  // header now); the moov follows them.
  const std::string repaired = ReadWholeFile(CutPath());
  const size_t at = mp4::Load32(reinterpret_cast<const uint8_t*>(copy.data()));
  const size_t after = at + mp4::kPlaceholderBytes;
  EXPECT_EQ(repaired.compare(0, at, copy, 0, at), 0);
  EXPECT_EQ(repaired.compare(after, copy.size() - after, copy, after), 0);
  // Commits come every 0.4 s; the copy was taken at 2.6 s of pictures.
  EXPECT_GT(report.seconds, 1.0);
  EXPECT_LE(report.seconds, (kCopyAfterSlot + 1.0) / kRate + 1e-6);
  EXPECT_EQ(TopLevelBoxes(CutPath()), (std::vector<std::string>{"ftyp", "mdat", "moov"}));
  Shell("ffmpeg -v error -xerror -i " + before + " -f null -");
  const std::string d =
      Shell("ffprobe -v error -show_entries format=duration -of default=nw=1 " + before);
  EXPECT_NEAR(std::atof(Field(d, "duration").c_str()), report.seconds, 0.1) << d;

  EXPECT_EQ(FinishCopy(id_).report.result, mp4::RepairResult::Finished);
}

}  // namespace
