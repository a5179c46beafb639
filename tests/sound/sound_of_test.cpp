// What the sound measures say of an AVI file whose sound is known: ffmpeg writes one with a
// tone in both channels, then clicks in the right one only.
#include <gtest/gtest.h>

#include <cmath>

#include "support/sound_tools.h"
#include "support/unix_tools.h"

namespace testsupport {
namespace {

// 4 s: 440 Hz at half scale in both channels for 2 s, then 1 kHz clicks of 10 ms at 0.8 in the
// right channel at 2.5, 3.0 and 3.25 s.
const char kKnownSound[] =
    "aevalsrc=exprs='0.5*sin(2*PI*440*t)*lt(t,2)"
    "|0.5*sin(2*PI*440*t)*lt(t,2)+0.8*sin(2*PI*1000*t)*"
    "(between(t,2.5,2.51)+between(t,3,3.01)+between(t,3.25,3.26))':s=48000:d=4";

std::wstring MakeAvi(const std::wstring& dir, bool withSound) {
  const std::wstring avi = dir + L"\\known.avi";
  std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10:duration=4 ";
  if (withSound) cmd += "-f lavfi -i " + ShellQuote(kKnownSound) + " -c:a pcm_s16le ";
  EXPECT_EQ(RunShell(cmd + "-c:v rawvideo -pix_fmt bgr24 " + ShellQuote(UnixPath(avi)), nullptr),
            0);
  return avi;
}

class SoundOfAvi : public ::testing::Test {
 protected:
  void TearDown() override { RemoveTree(dir_); }
  std::wstring dir_ = MakeTempDir(L"soundof");
};

TEST_F(SoundOfAvi, MeasuresTheToneAndFindsTheClicks) {
  const Sound sound = SoundOf(MakeAvi(dir_, true));
  ASSERT_TRUE(sound.Ok()) << sound.Error();
  EXPECT_EQ(sound.Rate(), 48000);
  EXPECT_EQ(sound.Channels(), 2);
  EXPECT_NEAR(sound.Seconds(), 4.0, 0.05);

  const Sound tone = sound.Between(0.2, 1.8);
  EXPECT_NEAR(tone.Frequency(), 440, 0.5);
  EXPECT_NEAR(tone.Rms(), 0.5 / std::sqrt(2.0), 0.005);
  EXPECT_NEAR(tone.Peak(), 0.5, 0.005);

  // Times are the recording's, whatever part is asked; the tone counts once, where it starts.
  const std::vector<double> loud = sound.Clicks();
  ASSERT_EQ(loud.size(), 4u);
  EXPECT_NEAR(loud[0], 0.0, 0.001);
  const std::vector<double> clicks = sound.Between(2.0, 4.0).Clicks();
  ASSERT_EQ(clicks.size(), 3u);
  EXPECT_NEAR(clicks[0], 2.5, 0.001);
  EXPECT_NEAR(clicks[1], 3.0, 0.001);
  EXPECT_NEAR(clicks[2], 3.25, 0.001);
  EXPECT_EQ(sound.Clicks(0.6).size(), 3u) << "the tone stays under a higher threshold";
  EXPECT_TRUE(sound.Between(2.0, 4.0).Channel(0).Clicks().empty());
  EXPECT_EQ(sound.Channel(1).Between(2.0, 4.0).Clicks().size(), 3u);
  EXPECT_EQ(sound.Between(2.6, 2.9).Frequency(), 0) << "silence has no frequency";
}

TEST_F(SoundOfAvi, SaysSoWhenTheRecordingHasNoSound) {
  const Sound sound = SoundOf(MakeAvi(dir_, false));
  EXPECT_FALSE(sound.Ok());
  EXPECT_NE(sound.Error().find("no sound stream"), std::string::npos) << sound.Error();
}

}  // namespace
}  // namespace testsupport
