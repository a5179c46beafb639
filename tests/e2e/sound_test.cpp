// Sound recorded beside the picture, end to end: the real program, the suite's own sound
// server (scripts/pulse-env.sh) with the devices Wine lists for it, sounds played into them,
// and the files decoded by ffmpeg.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "e2e/app_fixture.h"
#include "settings/remembered_choices.h"
#include "sound/wasapi/wasapi_device.h"
#include "support/message_boxes.h"
#include "support/sound_tools.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/screen.h"

using namespace testsupport;
using orvik::SoundChoice;

namespace {

void RecordFor(double seconds) {
  PumpUntil([&] { return form1().Session().ElapsedSeconds() >= seconds; },
            static_cast<DWORD>(seconds * 1000 + 20000));
}

// Where the video of a recording ends: its last frame's slot, plus one.
double VideoEnd(const ProbeInfo& p, int framesPerSecond) {
  return p.packetPts.empty() ? 0 : (p.packetPts.back() + 1.0) / framesPerSecond;
}

// The sound of a file made by the program, with what every such file must show: one video
// and one 48 kHz stereo sound stream that lasts as long as the picture, to a frame.
Sound RecordedSound(const std::wstring& avi, int framesPerSecond = 10) {
  const ProbeInfo p = Probe(avi);
  EXPECT_TRUE(p.ok) << p.raw;
  EXPECT_EQ(p.streams, 2) << p.raw;
  const Sound sound = SoundOf(avi);
  EXPECT_TRUE(sound.Ok()) << sound.Error();
  EXPECT_EQ(sound.Rate(), 48000);
  EXPECT_EQ(sound.Channels(), 2);
  EXPECT_NEAR(sound.Seconds(), VideoEnd(p, framesPerSecond), 1.0 / framesPerSecond);
  return sound;
}

class SoundTest : public AppTest {
 protected:
  // Wine's default output is a "PulseAudio" device that follows the server's default sink and
  // has no monitor of that name, and this Wine refuses loopback: the test names the speakers'
  // monitor, as a user of such a system would.
  void BeforeProgramStarts() override {
    std::string why;
    ASSERT_TRUE(SoundServerUp(&why)) << why;
    orvik::ProgramSettings().WriteText(L"SystemSoundDevice", kSystemSoundDevice);
  }

  void Choose(SoundChoice choice) {
    const size_t i = static_cast<size_t>(choice);
    Command(form2().sounds[i]);
    ASSERT_TRUE(PumpUntil([&] { return form2().sounds[i]->Checked(); }, 5000));
  }

  // Starts a recording with the current choices, and stops it after `seconds`.
  void Record(const std::wstring& avi, double seconds) {
    StartViaCommand(avi);
    ASSERT_TRUE(form1().Recording());
    EXPECT_FALSE(form2().sound->Enabled());  // the choice holds for the whole recording
    RecordFor(seconds);
    form1().stop_click();
    EXPECT_TRUE(form2().sound->Enabled());
  }
};

}  // namespace

// The system's sound (here the speakers' monitor: this Wine refuses loopback), the microphone,
// and both mixed into one track without clipping; the choice is remembered.
TEST_F(SoundTest, SystemSoundMicrophoneAndBothAreRecordedBesideThePicture) {
  EXPECT_TRUE(form2().sounds[0]->Checked());  // no sound at first

  Choose(SoundChoice::System);
  EXPECT_EQ(orvik::ProgramSettings().ReadText(L"Sound"), std::wstring(L"system"));
  {
    Playing tone(SoundSink::Speakers, Tone{1000, 8, 0.5});
    Record(Path(L"system.avi"), 3.0);
  }
  const Sound system = RecordedSound(Path(L"system.avi")).Between(1.0, 2.5);
  EXPECT_NEAR(system.Frequency(), 1000, 2);
  EXPECT_NEAR(system.Rms(), 0.5 / std::sqrt(2.0), 0.02);

  Choose(SoundChoice::Microphone);
  {
    Playing tone(SoundSink::Microphone, Tone{440, 8, 0.5});
    Record(Path(L"mic.avi"), 3.0);
  }
  const Sound mic = RecordedSound(Path(L"mic.avi")).Between(1.0, 2.5);
  EXPECT_NEAR(mic.Frequency(), 440, 2);
  EXPECT_NEAR(mic.Channel(0).Rms(), 0.5 / std::sqrt(2.0), 0.02);  // the mono microphone in both
  EXPECT_NEAR(mic.Channel(1).Rms(), 0.5 / std::sqrt(2.0), 0.02);

  // Two loud tones: together they would pass full scale, and come out bent, not clipped.
  Choose(SoundChoice::Both);
  EXPECT_EQ(orvik::ProgramSettings().ReadText(L"Sound"), std::wstring(L"both"));
  {
    Playing high(SoundSink::Speakers, Tone{1000, 8, 0.7});
    Playing low(SoundSink::Microphone, Tone{440, 8, 0.7});
    Record(Path(L"both.avi"), 3.0);
  }
  const Sound both = RecordedSound(Path(L"both.avi")).Between(1.0, 2.5);
  EXPECT_LT(both.Peak(), 32767.0 / 32768);
  EXPECT_GT(both.Peak(), 0.9);
  // Louder than either tone alone (0.49), so both are in it.
  EXPECT_GT(both.Rms(), 0.6);
  const double f = both.Frequency();
  EXPECT_TRUE(std::fabs(f - 1000) < 3 || std::fabs(f - 440) < 3) << f;
}

// Clicks from a microphone whose clock runs 2500 ppm fast land where the picture shows their
// moment, from the start to nearly a minute on: the frame that shows the time nearest the click,
// and the click in the sound, are at most one frame apart; the sound is within a few
// milliseconds of the clock, and the gap does not grow (it would by 100 ms if the drift were
// left alone).
class DriftingMicrophoneTest : public SoundTest {
 protected:
  void BeforeProgramStarts() override {
    SoundTest::BeforeProgramStarts();
    orvik::ProgramSettings().WriteText(L"MicrophoneDevice", kPacedMicrophoneDevice);
    orvik::RememberSoundChoice(SoundChoice::Microphone);
  }
};

TEST_F(DriftingMicrophoneTest, SoundAndPictureStayWithinAFrameAsTheDeviceDrifts) {
  const std::vector<double> after = {10, 14, 24, 36, 46, 50};  // seconds from now
  const double now = tk::MonotonicSeconds();
  std::vector<double> clickAt;
  for (double t : after) clickAt.push_back(now + t);
  PacedMicrophone mic(48120, now + 74, clickAt);
  ASSERT_TRUE(mic.Started());
  const std::wstring avi = Path(L"drift.avi");
  // Lossless, so the frames' clock reads exactly; full frames would write 4 GB in a minute.
  StartViaCommand(avi, kCodecOrvik);
  ASSERT_TRUE(form1().Recording());
  const double startedAt = form1().Session().Clock().StartedAt();
  ASSERT_LT(startedAt, clickAt.front()) << "the start took too long";
  RecordFor(52);
  form1().stop_click();

  const Sound sound = RecordedSound(avi);
  const std::vector<double> heard = sound.Clicks(0.3, 0.5);
  RegionFrames frames = DecodeRegion(avi, kPatternX, kPatternY, kPatternWidth, kPatternHeight);
  std::vector<double> offsets;  // sound minus clock, per click
  for (double at : clickAt) {
    // The picture: the frame that shows the time nearest the click's moment.
    double shown = -1, closest = 1e9;
    for (size_t k = 0; k < frames.frames.size(); ++k) {
      const auto time =
          ReadTimeBlocks(frames.frames[k], frames.width, frames.height, kMargin, kMargin);
      if (!time) continue;
      const double apart =
          std::fabs(static_cast<int32_t>(*time - static_cast<uint32_t>(at * 1000.0)));
      if (apart < closest) {
        closest = apart;
        shown = frames.pts[k] / 10.0;
      }
    }
    ASSERT_GE(shown, 0) << "no frame shows the click at " << at - now;
    // The sound: the click heard nearest to where the clock puts it.
    const double expected = at - startedAt;
    double nearest = 1e9;
    for (double h : heard)
      if (std::fabs(h - expected) < std::fabs(nearest - expected)) nearest = h;
    ASSERT_LT(std::fabs(nearest - expected), 0.5) << "the click at " << expected << " s is missing";
    EXPECT_LE(std::fabs(nearest - shown), 0.1)
        << "click at " << expected << " s: sound " << nearest << " s, picture " << shown << " s";
    offsets.push_back(nearest - expected);
  }
  for (double o : offsets) EXPECT_LT(std::fabs(o), 0.035) << "sound off the clock by " << o;
  EXPECT_LT(std::fabs(offsets.back() - offsets.front()), 0.02)
      << "the sound drifted from " << offsets.front() << " s to " << offsets.back() << " s";
}

// A pause cuts sound and picture at the same moment: clicks played while paused are not in the
// file, those after the pause come back in step with the picture.
TEST_F(SoundTest, APauseCutsSoundAndPictureTogether) {
  // Clicks put exactly where the test says: played through the server they came a steady
  // tenth of a second late on a busy machine.
  orvik::ProgramSettings().WriteText(L"MicrophoneDevice", kPacedMicrophoneDevice);
  Choose(SoundChoice::Microphone);
  const double playedAt = tk::MonotonicSeconds();
  std::vector<double> at;
  for (double t = 1.0; t < 9.0; t += 0.5) at.push_back(playedAt + t);
  PacedMicrophone clicks(48000, playedAt + 30, at);
  ASSERT_TRUE(clicks.Started());
  const std::wstring avi = Path(L"pause.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  const double startedAt = form1().Session().Clock().StartedAt();
  RecordFor(3.0);
  Command(form2().pause);
  ASSERT_TRUE(PumpUntil([] { return form1().Session().Paused(); }, 5000));
  const double pausedAt = tk::MonotonicSeconds();
  PumpFor(2000);
  Command(form2().pause);
  ASSERT_TRUE(PumpUntil([] { return !form1().Session().Paused(); }, 5000));
  const double resumedAt = tk::MonotonicSeconds();
  RecordFor(5.5);
  const double stoppedAt = tk::MonotonicSeconds();
  form1().stop_click();

  // Where each click belongs in the recording's time: before the pause as it played, after
  // it less the paused span. Clicks within 0.15 s of a start, the pause or the stop may fall
  // either way; those well inside the pause must not be heard.
  const double pausedFor = resumedAt - pausedAt;
  std::vector<double> mapped;
  size_t inside = 0, edges = 0, duringPause = 0;
  auto within = [](double a, double b) { return std::fabs(a - b) < 0.15; };
  for (double when : at) {
    if (when < startedAt - 0.15 || when > stoppedAt + 0.15) continue;
    if (when > pausedAt + 0.15 && when < resumedAt - 0.15) {
      ++duringPause;
      continue;
    }
    const bool edge = within(when, startedAt) || within(when, pausedAt) ||
                      within(when, resumedAt) || within(when, stoppedAt);
    ++(edge ? edges : inside);
    mapped.push_back(when - startedAt - (when > pausedAt ? pausedFor : 0));
  }
  ASSERT_GE(inside, 6u);
  ASSERT_GE(duringPause, 2u);
  const std::vector<double> heard = RecordedSound(avi).Clicks(0.3, 0.2);
  for (double h : heard) {
    double nearest = 1e9;
    for (double m : mapped)
      if (std::fabs(m - h) < std::fabs(nearest - h)) nearest = m;
    EXPECT_LT(std::fabs(nearest - h), 0.1) << "a click at " << h << " s that was not recorded";
  }
  EXPECT_GE(heard.size(), inside) << "clicks missing";
  EXPECT_LE(heard.size(), inside + edges) << "clicks played during the pause were recorded";
}

// Sound the program cannot record is told, and the picture is recorded all the same: a named
// device that is not there (told at start: this recording has no sound stream), and a device
// that goes away while recording (told after stop, from when).
class MissingDeviceTest : public SoundTest {
 protected:
  void BeforeProgramStarts() override {
    SoundTest::BeforeProgramStarts();
    orvik::ProgramSettings().WriteText(L"MicrophoneDevice", L"No Such Microphone");
    orvik::RememberSoundChoice(SoundChoice::Microphone);
  }
};

TEST_F(MissingDeviceTest, ThePictureGoesOnAndTheUserIsToldWhatSoundIsMissing) {
  {
    DialogWatcher told(
        tk::AppTitle(), [](HWND h) { PressButton(h, IDOK); }, 30000);
    StartViaCommand(Path(L"nodevice.avi"));
    ASSERT_TRUE(form1().Recording());
    ASSERT_TRUE(PumpUntil([&] { return told.Seen(); }, 20000)) << "nothing was said";
    EXPECT_NE(told.Text().find(L"“No Such Microphone”"), std::wstring::npos) << Utf8(told.Text());
    RecordFor(1.5);
    form1().stop_click();
  }
  ProbeInfo p = Probe(Path(L"nodevice.avi"));
  ASSERT_TRUE(p.ok) << p.raw;
  EXPECT_EQ(p.streams, 1);
  EXPECT_GE(p.frames, 5);

  // The fast microphone goes away after two seconds.
  orvik::ProgramSettings().WriteText(L"MicrophoneDevice", kFastMicrophoneDevice);
  const std::wstring avi = Path(L"gone.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  RecordFor(2.0);
  ASSERT_EQ(PulseShell("orvik_pulse_remove_fast_mic"), 0);
  const double goneAt = form1().Session().ElapsedSeconds();
  RecordFor(goneAt + 3.0);
  DialogWatcher told(
      tk::AppTitle(), [](HWND h) { PressButton(h, IDOK); }, 30000);
  form1().stop_click();
  ASSERT_TRUE(told.Wait());
  EXPECT_NE(told.Text().find(L"00:02"), std::wstring::npos) << Utf8(told.Text());
  PulseShell("orvik_pulse_add_fast_mic");  // for the tests after this one
  p = Probe(avi);
  ASSERT_TRUE(p.ok) << p.raw;
  // The picture runs to the end; the sound is as long, silent after the device went.
  EXPECT_GE(VideoEnd(p, 10), goneAt + 2.5);
  const Sound sound = RecordedSound(avi);
  EXPECT_LT(sound.Between(goneAt + 1.0, goneAt + 3.0).Peak(), 0.001);
}

namespace {

// A tone played into some channels of one of scripts/pulse-env.sh's surround outputs (channels
// from 1, in its layout's order), the others silent, until it ends or this object goes.
class PlayingChannels {
 public:
  PlayingChannels(const std::string& layout, const std::string& carrying, const Tone& tone) {
    char sound[96];
    snprintf(sound, sizeof sound, " tone %g %g %g", tone.hz, tone.seconds, tone.amplitude);
    if (PulseShell("orvik_pulse_play_channels " + layout + " " + carrying + sound, &out_) == 0)
      pid_ = atol(out_.c_str());
  }
  ~PlayingChannels() {
    if (pid_ > 0) PulseShell("orvik_pulse_end " + std::to_string(pid_) + " pacat");
  }
  PlayingChannels(const PlayingChannels&) = delete;
  PlayingChannels& operator=(const PlayingChannels&) = delete;
  bool Started() const { return pid_ > 0; }
  const std::string& Output() const { return out_; }

 private:
  long pid_ = 0;
  std::string out_;
};

// The level of a steady tone from `from` to `to` s where it is heard: the upper quartile of its
// 50 ms pieces, so that the moments of silence a heavily loaded machine drops (up to a tenth of
// a second, at load averages above ten on two cores) do not count.
double HeardLevel(const Sound& sound, double from, double to) {
  std::vector<double> levels;
  for (double t = from; t + 0.05 <= to + 1e-9; t += 0.05)
    levels.push_back(sound.Between(t, t + 0.05).Rms());
  const auto quartile = levels.begin() + levels.size() * 3 / 4;
  std::nth_element(levels.begin(), quartile, levels.end());
  return *quartile;
}

// Outputs that run a surround mix: their monitors are recorded as system sound.
class SurroundTest : public SoundTest {
 protected:
  // Wine reads the device list once per process, when it first uses sound: before the program.
  void BeforeProgramStarts() override {
    SoundTest::BeforeProgramStarts();
    std::string out;
    ASSERT_EQ(PulseShell("orvik_pulse_add_surround 5.1 && orvik_pulse_add_surround quad", &out), 0)
        << out;
    orvik::RememberSoundChoice(SoundChoice::System);
  }
  void TearDown() override {
    SoundTest::TearDown();
    PulseShell("orvik_pulse_remove_surround 5.1; orvik_pulse_remove_surround quad");
  }
};

// Sends a message to a window every 20 ms from another thread, as another program does, and
// keeps the longest it waited for an answer (a second at most: then it gave up).
class Sender {
 public:
  explicit Sender(HWND window)
      : thread_([this, window] {
          while (!stop_) {
            const DWORD asked = GetTickCount();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result);
            // One still waiting as Stop blocks this thread on the join does not count.
            if (!stop_) longestMs_ = std::max<DWORD>(longestMs_, GetTickCount() - asked);
            Sleep(20);
          }
        }) {}
  ~Sender() { Stop(); }
  DWORD Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return longestMs_;
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<DWORD> longestMs_{0};
  std::thread thread_;
};

}  // namespace

// A surround output is recorded at the level of its speakers: stereo played through a 5.1
// output keeps its level (folded with each side's shares scaled to a sum of one, it came out
// 7.7 dB quiet), and what only a quad output's back right speaker plays is heard on the right
// at -3 dB (taken for the LFE, it was lost).
TEST_F(SurroundTest, SurroundOutputsAreRecordedAtTheLevelOfTheirSpeakers) {
  orvik::ProgramSettings().WriteText(L"SystemSoundDevice", L"Monitor of Surround51");
  {
    PlayingChannels stereo("5.1", "1,2", Tone{1000, 8, 0.5});
    ASSERT_TRUE(stereo.Started()) << stereo.Output();
    Record(Path(L"surround51.avi"), 3.0);
  }
  const Sound five = RecordedSound(Path(L"surround51.avi"));
  EXPECT_NEAR(five.Between(1.0, 2.5).Frequency(), 1000, 2);
  EXPECT_NEAR(HeardLevel(five.Channel(0), 1.0, 2.5), 0.5 / std::sqrt(2.0), 0.01);
  EXPECT_NEAR(HeardLevel(five.Channel(1), 1.0, 2.5), 0.5 / std::sqrt(2.0), 0.01);

  orvik::ProgramSettings().WriteText(L"SystemSoundDevice", L"Monitor of Quad");
  {
    PlayingChannels backRight("quad", "4", Tone{440, 8, 0.5});
    ASSERT_TRUE(backRight.Started()) << backRight.Output();
    Record(Path(L"quad.avi"), 3.0);
  }
  const Sound quad = RecordedSound(Path(L"quad.avi"));
  EXPECT_NEAR(quad.Between(1.0, 2.5).Channel(1).Frequency(), 440, 2);
  EXPECT_NEAR(HeardLevel(quad.Channel(1), 1.0, 2.5), 0.5 / std::sqrt(2.0) * std::sqrt(0.5), 0.01);
  EXPECT_LT(quad.Between(1.0, 2.5).Channel(0).Peak(), 0.001);
}

// The sound server stops answering five seconds into a recording with the system's sound, as
// a hung driver would, and stays so: the stop returns within a few seconds all the same, the
// window answers what other threads send it meanwhile, the file plays with its picture and
// the sound up to the hang, and the user is told once, from when the sound is missing and why.
TEST_F(SoundTest, AStopWhileTheSoundServerHangsReturnsAndTellsTheUserOnce) {
  Choose(SoundChoice::System);
  const std::wstring avi = Path(L"frozen.avi");
  Playing tone(SoundSink::Speakers, Tone{1000, 30, 0.5});
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  RecordFor(5.0);
  DWORD toldAt = 0, longestMs = 0;
  double stopped = 0;
  {
    FrozenSoundServer frozen(40);
    ASSERT_TRUE(frozen.Frozen());
    RecordFor(6.5);
    Sender sender(form1().Handle());
    DialogWatcher told(
        tk::AppTitle(),
        [&](HWND h) {
          toldAt = GetTickCount();
          PressButton(h, IDOK);
        },
        30000);
    const DWORD asked = GetTickCount();
    form1().stop_click();
    stopped = form1().Session().ElapsedSeconds();
    longestMs = sender.Stop();
    ASSERT_TRUE(told.Wait());
    // Told once the device had had two seconds to answer, and not long after.
    EXPECT_LT(toldAt - asked, 4000u);
    EXPECT_NE(told.Text().find(L"系统声音：从 00:05 起直到结束"), std::wstring::npos)
        << Utf8(told.Text());
    EXPECT_NE(told.Text().find(L"没有响应"), std::wstring::npos) << Utf8(told.Text());
    DialogWatcher again(
        tk::AppTitle(), [](HWND h) { PressButton(h, IDOK); }, 2000);
    PumpFor(2000);
    EXPECT_FALSE(again.Wait()) << "told twice: " << Utf8(again.Text());
  }
  EXPECT_LT(longestMs, 500u) << "the window did not answer for " << longestMs << " ms";
  const Sound sound = RecordedSound(avi);
  EXPECT_GE(VideoEnd(Probe(avi), 10), stopped - 0.2);
  EXPECT_NEAR(sound.Between(1.0, 4.5).Frequency(), 1000, 2);
  EXPECT_LT(sound.Between(5.5, stopped - 0.2).Peak(), 0.001);
}

// The system's sound as the default output records it, and the microphone, both from the
// defaults. The microphone's source is suspended for a second and a half, and later the
// default output becomes the headphones, where the sound server moves what played on the
// speakers: after the stop the user reads both, from when to when, and the sound after each is
// there: the microphone again, and what the headphones play. This Wine never shows a program
// its default output change, so a stand-in asks the sound server which it is.
class FollowingTheDefaultTest : public SoundTest {
 protected:
  void BeforeProgramStarts() override {
    SoundTest::BeforeProgramStarts();
    orvik::ProgramSettings().WriteText(L"SystemSoundDevice", L"");
    orvik::RememberSoundChoice(SoundChoice::Both);
    orvik::sound::SetDefaultOutputStandIn([this] { return defaultOutput_.Name(); });
  }
  void TearDown() override {
    orvik::sound::SetDefaultOutputStandIn({});
    PulseShell("orvik_pulse_ctl suspend-source mic 0; orvik_pulse_restore_default_output");
    SoundTest::TearDown();
  }
  DefaultOutputWatch defaultOutput_;
};

TEST_F(FollowingTheDefaultTest, AGapIsToldFromWhenToWhenAndTheSoundFollowsTheNewDefault) {
  ASSERT_TRUE(PumpUntil([&] { return defaultOutput_.Name() == L"Speakers"; }, 10000));
  // Told apart by pitch and level: the speakers' tone alone has an RMS of 0.21, with the
  // microphone's 0.25, and with the headphones' too 0.44.
  Playing speakers(SoundSink::Speakers, Tone{1000, 40, 0.3});
  Playing headphones(SoundSink::Headphones, Tone{600, 40, 0.5});
  Playing microphone(SoundSink::Microphone, Tone{440, 40, 0.2});
  const std::wstring avi = Path(L"following.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  RecordFor(2.0);
  ASSERT_EQ(PulseShell("orvik_pulse_ctl suspend-source mic 1"), 0);
  const double suspended = form1().Session().ElapsedSeconds();
  RecordFor(suspended + 1.5);
  ASSERT_EQ(PulseShell("orvik_pulse_ctl suspend-source mic 0"), 0);
  const double resumed = form1().Session().ElapsedSeconds();
  RecordFor(resumed + 2.5);
  ASSERT_EQ(PulseShell("orvik_pulse_ctl set-default-sink headphones"), 0);
  const double switched = form1().Session().ElapsedSeconds();
  RecordFor(switched + 4.0);
  DialogWatcher told(
      tk::AppTitle(), [](HWND h) { PressButton(h, IDOK); }, 30000);
  form1().stop_click();
  const double stopped = form1().Session().ElapsedSeconds();
  ASSERT_TRUE(told.Wait()) << "nothing was said";
  const std::string text = Utf8(told.Text());
  auto at = [](double t) {
    wchar_t mmss[16];
    swprintf(mmss, 16, L"%02d:%02d", static_cast<int>(t) / 60, static_cast<int>(t) % 60);
    return Utf8(mmss);
  };
  EXPECT_NE(text.find("麦克风：从 " + at(suspended)), std::string::npos) << text;
  EXPECT_NE(text.find("到 " + at(resumed)), std::string::npos) << text;
  EXPECT_NE(text.find("默认声音设备已更换"), std::string::npos) << text;

  const Sound sound = RecordedSound(avi);
  const Sound before = sound.Between(0.5, suspended - 0.2);
  EXPECT_NEAR(before.Frequency(), 1000, 2);
  EXPECT_NEAR(before.Rms(), 0.255, 0.02);
  EXPECT_NEAR(sound.Between(suspended + 0.3, resumed - 0.3).Rms(), 0.212, 0.02);
  EXPECT_NEAR(sound.Between(resumed + 0.5, switched - 0.2).Rms(), 0.255, 0.02)
      << "the microphone did not come back";
  const Sound after = sound.Between(switched + 2.0, stopped - 0.2);
  EXPECT_NEAR(after.Frequency(), 600, 2) << "the recording stayed on the old output";
  EXPECT_NEAR(after.Rms(), 0.436, 0.03);
}
