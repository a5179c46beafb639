// Our MP4 files in a real browser (headless Chromium, through tests/support/browser_play.py): a
// finished file and one left as fragments, as a killed recorder leaves it, each played to its end
// with its picture and its sound, the encoder's priming skipped in both by the edit list.
#include <gtest/gtest.h>

#include <cmath>

#include "avi/avi_tools.h"
#include "mp4/mp4_tools.h"
#include "support/browser_verdict.h"

namespace {

constexpr uint32_t kFps = 10;

testsupport::BrowserVerdict PlayInBrowser(const std::string& path) {
  std::string out;
  avitest::Run("python3 \"" ORVIK_BROWSER_PLAY "\" --timeout 60 \"" + path + "\"", &out, 90);
  return testsupport::ParseBrowserVerdict(out);
}

TEST(Mp4InBrowser, AFinishedFileAndOneLeftAsFragmentsPlayToTheirEnds) {
  avitest::TempDir dir;
  mp4test::TestStreams s;
  ASSERT_TRUE(mp4test::MakeTestStreams(dir.path(), 320, 240, kFps, 3, 20, &s));
  struct Case {
    const char* name;
    size_t frames;
    bool close;
    double seconds;  // what it holds
  };
  // Killed after 27 pictures: the commit every 5 kept 25 of them.
  for (const Case& c : {Case{"finished", 30, true, 3.0}, Case{"killed", 27, false, 2.5}}) {
    SCOPED_TRACE(c.name);
    mp4test::MemoryFile file;
    ASSERT_TRUE(mp4test::RecordTestStreams(s, file, c.frames, 5, c.close));
    const std::string path = dir.File(std::string(c.name) + ".mp4");
    ASSERT_TRUE(avitest::WriteFile(path, file.image));
    const testsupport::BrowserVerdict v = PlayInBrowser(path);
    ASSERT_TRUE(v.ran) << Describe(v);
    EXPECT_TRUE(v.played) << Describe(v);
    EXPECT_EQ(v.canPlayType, "probably");
    EXPECT_EQ(v.maxReadyState, 4);
    EXPECT_EQ(v.error, "");
    EXPECT_EQ(v.width, 320);
    EXPECT_EQ(v.height, 240);
    // The sound may set the file's length: its last AAC frame, and in a file left as fragments,
    // which gives no length of its own, the encoder's priming too (the length counts the sound
    // from its first packet; the decoding below shows the priming skipped).
    EXPECT_GE(v.duration, c.seconds - 0.001);
    EXPECT_LE(v.duration, c.seconds + (c.close ? 1 : 2) * 1024.0 / 48000 + 0.001);
    EXPECT_TRUE(v.ended);
    EXPECT_NEAR(v.endTime, v.duration, 0.001);
    EXPECT_EQ(v.decodedFrames, static_cast<long>(c.seconds * kFps));
    EXPECT_GT(v.audioDecodedBytes, 0);
    EXPECT_EQ(v.audioError, "");
    EXPECT_GT(v.audioPeak, 0.05);  // the tone, not silence
    // The sound decoded whole, without the priming: as long as the tone in the finished file;
    // in the one left as fragments, the AAC frames kept just ahead of the last picture (the edit
    // list there ends with the media) less the priming. Without the edit list it is a frame more.
    const double framesKept =
        std::ceil((mp4::kAacPriming + c.seconds * 48000) / mp4::kAacFrameSamples);
    const double sound =
        c.close ? c.seconds : (framesKept * mp4::kAacFrameSamples - mp4::kAacPriming) / 48000;
    EXPECT_NEAR(v.audioDuration, sound, 0.0002);
    std::printf("[ browser  ] %s: %.2f s for the check\n", c.name, v.seconds);
  }
}

}  // namespace
