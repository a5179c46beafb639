// The suite's sound server (scripts/pulse-env.sh) as Wine's programs see it through the real
// MMDevice API and WASAPI: the first check that sound can be tested on this machine at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "support/capture_devices.h"
#include "support/sound_tools.h"
#include "support/unix_tools.h"

namespace testsupport {
namespace {

class SoundDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(SoundServerUp(&why)) << why;
  }
};

// Records `seconds` of a device while a sound plays into a sink.
template <typename SoundKind>
Sound RecordWhilePlaying(const wchar_t* device, SoundSink sink, const SoundKind& sound,
                         double seconds) {
  Playing playing(sink, sound);
  EXPECT_TRUE(playing.Started()) << playing.Error();
  Sound heard = RecordDevice(device, seconds);
  EXPECT_TRUE(heard.Ok()) << Utf8(device) << ": " << heard.Error();
  return heard;
}

TEST_F(SoundDevices, WineListsSystemSoundAndTheMicrophones) {
  const std::vector<std::wstring> names = CaptureDeviceNames();
  std::string listed;
  for (const auto& n : names) listed += " [" + Utf8(n) + "]";
  for (const wchar_t* wanted : {kSystemSoundDevice, kMicrophoneDevice, kFastMicrophoneDevice})
    EXPECT_NE(std::find(names.begin(), names.end(), wanted), names.end())
        << Utf8(wanted) << " is not among" << listed;
}

TEST_F(SoundDevices, SystemSoundHearsAToneInTheSpeakers) {
  const Sound heard =
      RecordWhilePlaying(kSystemSoundDevice, SoundSink::Speakers, Tone{1000, 3.0, 0.5}, 2.0);
  EXPECT_EQ(heard.Rate(), 48000);
  EXPECT_EQ(heard.Channels(), 2);
  const Sound steady = heard.Between(0.5, 2.0);
  EXPECT_NEAR(steady.Frequency(), 1000, 1);
  EXPECT_NEAR(steady.Rms(), 0.5 / std::sqrt(2.0), 0.01);
}

TEST_F(SoundDevices, MicrophoneHearsWhatIsPlayedIntoIt) {
  const Sound heard =
      RecordWhilePlaying(kMicrophoneDevice, SoundSink::Microphone, Tone{440, 2.5, 0.25}, 1.5);
  EXPECT_EQ(heard.Channels(), 1);
  const Sound steady = heard.Between(0.5, 1.5);
  EXPECT_NEAR(steady.Frequency(), 440, 1);
  EXPECT_NEAR(steady.Rms(), 0.25 / std::sqrt(2.0), 0.01);
}

// Sound comes through in one piece: the clicks arrive as far apart as they were played.
TEST_F(SoundDevices, ClicksKeepTheirSpacingOnTheWay) {
  const Sound heard = RecordWhilePlaying(kSystemSoundDevice, SoundSink::Speakers,
                                         Clicks{2.0, {0.5, 1.0, 1.25}}, 2.5);
  const std::vector<double> clicks = heard.Clicks();
  ASSERT_EQ(clicks.size(), 3u);
  EXPECT_NEAR(clicks[1] - clicks[0], 0.5, 0.001);
  EXPECT_NEAR(clicks[2] - clicks[1], 0.25, 0.001);
}

// The drifting device the recorder's clock handling is tested with: its samples come 1000 ppm
// faster than it says, so a tone played into it is heard lower by as much.
TEST_F(SoundDevices, FastMicrophoneHearsAToneLowerByItsDrift) {
  const Sound heard = RecordWhilePlaying(kFastMicrophoneDevice, SoundSink::FastMicrophone,
                                         Tone{1000, 6.0, 0.5}, 4.0);
  EXPECT_EQ(heard.Rate(), 48000);
  EXPECT_NEAR(heard.Between(1.0, 4.0).Frequency(), 1000 / kFastMicrophoneRatio, 0.1);
}

}  // namespace
}  // namespace testsupport
