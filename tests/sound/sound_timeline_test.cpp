// The sound timeline against simulated devices: clicks made at known times must come out at
// those times on the recording clock, through jitter, drift, stalls, gaps and pauses; a tone
// from any device format must keep its pitch and level and come out without a break.
#include "sound/sound_timeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sound/simulated_device.h"

namespace orvik::sound {
namespace {

constexpr double kVideoFrame = 1.0 / 30;

struct Clicks {
  std::vector<double> made;     // recording time each pushed click was made at
  std::vector<double> offsets;  // where it came out minus `made`; NaN when it did not
  int stray = 0;                // pulses that are no pushed click
  double correctionPpm = 0;     // mean over the last minute

  double Worst(double after) const {
    double worst = 0;
    for (size_t i = 0; i < made.size(); ++i)
      if (made[i] >= after && !std::isnan(offsets[i]))
        worst = std::max(worst, std::fabs(offsets[i]));
    return worst;
  }
  size_t Missing() const {
    return std::count_if(offsets.begin(), offsets.end(), [](double o) { return std::isnan(o); });
  }
};

// A click (one frame at half scale) every `every` seconds of device time.
Clicks RecordClicks(sim::Device device, double every = 0.25) {
  Clicks clicks;
  const auto spacing = static_cast<int64_t>(every * device.format.rate);
  device.sound = [&](int64_t first, std::vector<double>& samples) {
    const int64_t end = first + static_cast<int64_t>(samples.size());
    const int64_t next = first + ((spacing / 2 - first) % spacing + spacing) % spacing;
    for (int64_t m = next; m < end; m += spacing) {
      samples[m - first] = 0.5;
      clicks.made.push_back(device.RecordingTime(m / device.TrueRate()));
    }
  };
  Timeline timeline(device.format);
  sim::PulseFinder finder;
  int produced = 0;
  sim::Record(device, timeline, [&](const std::vector<float>& out) {
    finder.Feed(out);
    if (timeline.ProducedFrames() < (device.seconds - 60) * kOutputRate) return;
    clicks.correctionPpm += timeline.CorrectionPpm();
    ++produced;
  });
  clicks.correctionPpm /= std::max(produced, 1);
  for (double made : clicks.made) {
    const auto& p = finder.Pulses();
    const auto nearest = std::lower_bound(p.begin(), p.end(), made - kVideoFrame);
    const bool found = nearest != p.end() && *nearest < made + kVideoFrame;
    clicks.offsets.push_back(found ? *nearest - made : NAN);
  }
  clicks.stray = static_cast<int>(finder.Pulses().size() + clicks.Missing() - clicks.made.size());
  return clicks;
}

sim::Device Jittery(SampleType type, uint32_t rate, uint32_t channels, double seconds) {
  sim::Device d;
  d.format = {type, rate, channels};
  d.jitter = 0.020;
  d.seconds = seconds;
  return d;
}

TEST(SoundTimeline, ClicksStayOnTheClockForTenMinutesOfADriftingJitteryDevice) {
  for (double ppm : {1000.0, -1000.0}) {
    sim::Device device = Jittery(ppm > 0 ? SampleType::Int16 : SampleType::Float32,
                                 ppm > 0 ? 44100 : 48000, ppm > 0 ? 1 : 2, 600);
    device.ppm = ppm;
    const Clicks clicks = RecordClicks(device, 1.0);
    SCOPED_TRACE(ppm);
    EXPECT_EQ(clicks.Missing(), 0u);
    EXPECT_EQ(clicks.stray, 0);
    EXPECT_LT(clicks.Worst(0), kVideoFrame);
    EXPECT_LT(clicks.Worst(5), 0.010);
    EXPECT_LT(clicks.Worst(60), 0.002);
    EXPECT_NEAR(clicks.correctionPpm, ppm, 50);
  }
}

TEST(SoundTimeline, StallsGapsAndPausesLeaveNoLastingOffset) {
  sim::Device stalled = Jittery(SampleType::Float32, 48000, 2, 25);
  stalled.stalls = {{15, 15.3}};
  const Clicks afterStall = RecordClicks(stalled);
  EXPECT_EQ(afterStall.Missing(), 0u) << "a stall the writer's lag covers loses nothing";
  EXPECT_EQ(afterStall.stray, 0);
  EXPECT_LT(afterStall.Worst(5), 0.005);

  // The writer passes the start of a 1 s stall at 15.0 s (up to 14.8 s): that much of the
  // stall's sound comes too late and is dropped, the rest follows on in place.
  stalled.stalls = {{14.5, 15.5}};
  stalled.lag = 0.2;
  const Clicks overtaken = RecordClicks(stalled, 0.07);
  EXPECT_GT(overtaken.Missing(), 0u);
  for (size_t i = 0; i < overtaken.made.size(); ++i) {
    const double made = overtaken.made[i];
    EXPECT_EQ(std::isnan(overtaken.offsets[i]), made >= 14.5 && made < 14.8) << made;
  }
  EXPECT_EQ(overtaken.stray, 0);
  EXPECT_LT(overtaken.Worst(5), 0.005);

  // Sound after a gap lands at its time; anything in the gap would be a stray pulse.
  sim::Device gap = Jittery(SampleType::Float32, 48000, 2, 25);
  gap.gaps = {{10, 13}};
  const Clicks afterGap = RecordClicks(gap, 0.07);
  EXPECT_EQ(afterGap.Missing(), 0u);
  EXPECT_EQ(afterGap.stray, 0);
  EXPECT_LT(afterGap.Worst(5), 0.005);

  // 50 ms the device never delivered, and no flag said so: the sound after it is moved back to
  // its time before the writer gets there; the sound before it stays where it was.
  gap.gaps = {{10, 10.05}};
  const Clicks afterLoss = RecordClicks(gap, 0.07);
  EXPECT_EQ(afterLoss.Missing(), 0u);
  EXPECT_EQ(afterLoss.stray, 0);
  EXPECT_LT(afterLoss.Worst(5), 0.010);

  sim::Device paused = Jittery(SampleType::Int24, 48000, 2, 25);
  paused.pauses = {{8, 11}};
  const Clicks afterPause = RecordClicks(paused);
  EXPECT_EQ(afterPause.Missing(), 0u);
  EXPECT_EQ(afterPause.stray, 0);
  EXPECT_LT(afterPause.Worst(5), 0.005);
}

TEST(SoundTimeline, SoundForTimeAlreadyProducedIsDroppedAndLaterSoundLandsAtItsTime) {
  Timeline timeline({SampleType::Float32, 48000, 2});
  std::vector<float> out;
  timeline.Produce(1.0, &out);
  const std::vector<float> tenMs(960, 0.5f);
  timeline.Push(tenMs.data(), 480, 0.9);  // made at 0.89..0.9: already produced
  timeline.Push(tenMs.data(), 480, 1.5);
  timeline.Produce(2.0, &out);
  ASSERT_EQ(out.size(), 2u * 96000);
  EXPECT_EQ(timeline.ProducedFrames(), 96000u);
  const auto sounding = [&](size_t frame) { return out[2 * frame] != 0; };
  for (size_t f = 0; f < 96000; ++f) {
    if (f < 71520 - 8 || f >= 72000 + 8) {
      ASSERT_FALSE(sounding(f)) << f;
    }
  }
  EXPECT_TRUE(sounding(71530) && sounding(71990));
}

struct Tone {
  double rms = 0, hz = 0, worstBend = 0;
};

// RMS, frequency by zero crossings, and the largest second difference, over [from, to) s.
Tone Measure(const std::vector<float>& stereo, int channel, double from, double to) {
  Tone tone;
  const auto first = static_cast<size_t>(from * kOutputRate);
  const auto last = static_cast<size_t>(to * kOutputRate);
  double sum = 0, firstCross = -1, lastCross = 0;
  int crossings = 0;
  for (size_t i = first; i < last; ++i) {
    const double a = stereo[2 * i + channel], b = stereo[2 * i + 2 + channel];
    sum += a * a;
    tone.worstBend = std::max(tone.worstBend, std::fabs(stereo[2 * i - 2 + channel] - 2 * a + b));
    if ((a < 0) == (b < 0)) continue;
    lastCross = i + a / (a - b);
    if (firstCross < 0) firstCross = lastCross;
    ++crossings;
  }
  tone.rms = std::sqrt(sum / (last - first));
  tone.hz = (crossings - 1) / 2.0 / ((lastCross - firstCross) / kOutputRate);
  return tone;
}

TEST(SoundTimeline, AToneKeepsItsPitchAndLevelFromEveryFormatWithoutABreak) {
  const double amplitude = std::pow(10, -6 / 20.0), omega = 2 * 3.14159265358979 * 1000;
  // A sine this loud and high bends by at most this much from one frame to the next.
  const double smooth = amplitude * std::pow(omega / kOutputRate, 2) * 1.02;
  struct Case {
    DeviceFormat format;
    double ppm, jitter;
    uint64_t sounding = ~uint64_t{0};
  };
  // The 5.1 device plays stereo: its front speakers carry the tone, at its level.
  for (const Case& c :
       {Case{{SampleType::Int16, 44100, 1}, 0, 0}, Case{{SampleType::Float32, 48000, 2}, 0, 0},
        Case{{SampleType::Int32, 96000, 6}, 0, 0, 0b11},
        Case{{SampleType::Float32, 48000, 2}, 1000, 0.02}}) {
    sim::Device device;
    device.format = c.format;
    device.sounding = c.sounding;
    device.ppm = c.ppm;
    device.jitter = c.jitter;
    device.seconds = c.ppm ? 40 : 5;
    device.sound = [&](int64_t first, std::vector<double>& samples) {
      for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = amplitude * std::sin(omega * (first + i) / device.TrueRate());
    };
    Timeline timeline(c.format);
    std::vector<float> out;
    sim::Record(device, timeline,
                [&](const std::vector<float>& o) { out.insert(out.end(), o.begin(), o.end()); });
    SCOPED_TRACE(testing::Message() << c.format.rate << " Hz, " << c.ppm << " ppm");
    for (int channel : {0, 1}) {
      const Tone tone = Measure(out, channel, 1, device.seconds - 0.5);
      EXPECT_NEAR(20 * std::log10(tone.rms * std::sqrt(2.0)), -6, 0.02);
      EXPECT_NEAR(tone.hz, 1000, c.ppm ? 0.3 : 0.02);
      EXPECT_LT(tone.worstBend, smooth + (c.format.type == SampleType::Int16 ? 1e-4 : 1e-5));
    }
  }
}

}  // namespace
}  // namespace orvik::sound
