// Our MP4 files in the clients this machine has, through the helper the end-to-end tests use:
// ffmpeg, a real browser and Windows' media API as this Wine implements it, each on a finished
// file and on one left as fragments, as a killed recorder leaves it. Every sample the source
// reader hands over is the one the file holds, at its time.
#include <gtest/gtest.h>

#include <fstream>

#include "mp4/mp4_tools.h"
#include "support/playback_check.h"
#include "support/unix_tools.h"

namespace {

constexpr uint32_t kFps = 10;
constexpr int64_t kUnitsPerSecond = 10000000;  // Media Foundation's 100 ns

// Every picture the reader decoded at the time and for the duration the file gives it; the
// sound decoded to the length the file holds, to within an AAC frame: this Wine's reader starts
// the sound one frame (the encoder's priming) late and hands over a frame or two fewer than the
// file's packets.
void ExpectReaderMatchesFile(const testsupport::PlaybackFacts& f, bool finished) {
  const testsupport::SourceReading& r = f.mediaFoundation;
  ASSERT_TRUE(r.ok()) << Describe(r);
  EXPECT_TRUE(r.video.ended && r.audio.ended) << Describe(r);
  EXPECT_EQ(r.video.width, 320u);
  EXPECT_EQ(r.audio.sampleRate, 48000u);
  EXPECT_EQ(r.audio.channels, 2u);
  ASSERT_EQ(r.video.times.size(), f.video.times.size()) << Describe(r);
  for (size_t n = 0; n < r.video.times.size(); ++n) {
    EXPECT_NEAR(r.video.times[n], f.video.times[n] * kUnitsPerSecond, 10) << n;
    EXPECT_NEAR(r.video.durations[n], f.video.durations[n] * kUnitsPerSecond, 10) << n;
  }
  constexpr double kAacFrame = 1024.0 / 48000 + 0.001;
  ASSERT_FALSE(r.audio.times.empty());
  EXPECT_LE(r.audio.times[0], kAacFrame * kUnitsPerSecond);
  const double soundSeconds = static_cast<double>(r.audio.audioFrames) / r.audio.sampleRate;
  EXPECT_NEAR(soundSeconds, f.audio.End(), kAacFrame) << Describe(r);
  EXPECT_NEAR(r.audio.End() / double{kUnitsPerSecond}, f.audio.End(), kAacFrame);
  // A file left as fragments says no length of its own: the reader guesses one.
  if (finished) {
    EXPECT_NEAR(r.duration / double{kUnitsPerSecond}, std::max(f.video.End(), f.audio.End()),
                kAacFrame);
  }
}

TEST(Mp4Clients, AFinishedFileAndOneLeftAsFragmentsPlayInEveryClient) {
  const std::wstring dir = testsupport::MakeTempDir(L"mp4clients");
  mp4test::TestStreams s;
  ASSERT_TRUE(mp4test::MakeTestStreams(testsupport::UnixPath(dir), 320, 240, kFps, 3, 20, &s));
  struct Case {
    const wchar_t* name;
    size_t frames;
    bool close;
    size_t kept;  // pictures the file holds
  };
  // Killed after 27 pictures: the commit every 5 kept 25 of them.
  for (const Case& c : {Case{L"finished", 30, true, 30}, Case{L"killed", 27, false, 25}}) {
    SCOPED_TRACE(testsupport::Utf8(c.name));
    mp4test::MemoryFile file;
    ASSERT_TRUE(mp4test::RecordTestStreams(s, file, c.frames, 5, c.close));
    const std::wstring path = dir + L"\\" + c.name + L".mp4";
    std::ofstream(testsupport::Utf8(path), std::ios::binary)
        .write(reinterpret_cast<const char*>(file.image.data()),
               static_cast<std::streamsize>(file.image.size()));
    const testsupport::PlaybackFacts f = testsupport::CheckPlayback(path);
    const std::string all = Describe(f);
    EXPECT_TRUE(f.ffmpegDecodes) << all;
    ASSERT_EQ(f.video.times.size(), c.kept) << all;
    for (size_t n = 0; n < c.kept; ++n) EXPECT_NEAR(f.video.times[n], n / double{kFps}, 1e-6);
    EXPECT_TRUE(f.browser.played) << all;
    // A file left as fragments gives no length of its own: the browser's counts the sound from
    // its first packet, the encoder's priming, which the edit list puts before 0.
    const double priming = c.close ? 0 : mp4::kAacPriming / 48000.0;
    EXPECT_NEAR(f.browser.endTime, std::max(f.video.End(), f.audio.End() + priming), 0.001) << all;
    EXPECT_EQ(f.browser.decodedFrames, static_cast<long>(c.kept)) << all;
    ExpectReaderMatchesFile(f, c.close);
    std::printf("[ clients  ] %s\n%s", testsupport::Utf8(c.name).c_str(), all.c_str());
  }
  testsupport::RemoveTree(dir);
}

}  // namespace
