// Which device records a source, from the names of the endpoints a system lists.
#include "sound/device_choice.h"

#include <gtest/gtest.h>

namespace orvik::sound {
namespace {

// The endpoints a machine lists: outputs first, then inputs, as the names say.
Endpoints List(std::vector<std::wstring> outputs, std::vector<std::wstring> inputs,
               std::optional<size_t> defaultOutput, std::optional<size_t> defaultInput) {
  Endpoints e;
  for (auto& n : outputs) e.active.push_back({n, true});
  for (auto& n : inputs) e.active.push_back({n, false});
  e.defaultOutput = defaultOutput;
  if (defaultInput) e.defaultInput = outputs.size() + *defaultInput;
  return e;
}

// The candidates as names, "(loopback)" after an output recorded in loopback.
std::vector<std::wstring> Names(const DeviceChoice& c, const Endpoints& e) {
  std::vector<std::wstring> names;
  for (const Candidate& k : c.candidates)
    names.push_back(e.active[k.endpoint].name + (k.loopback ? L" (loopback)" : L""));
  return names;
}

TEST(DeviceChoice, SystemSoundTriesLoopbackThenTheOutputsOwnMonitorThenAnyInputThatCarriesIt) {
  const Endpoints e = List({L"Speakers", L"Headphones"},
                           {L"Microphone", L"Stereo Mix (Realtek)", L"Monitor of Headphones",
                            L"立体声混音", L"Monitor of Speakers"},
                           1, 0);
  DeviceChoice c = ChooseDevice(Source::SystemSound, L"", e);
  EXPECT_EQ(Names(c, e), (std::vector<std::wstring>{
                             L"Headphones (loopback)", L"Monitor of Headphones",
                             L"Stereo Mix (Realtek)", L"立体声混音", L"Monitor of Speakers"}));
  EXPECT_EQ(c.followsDefaultOutput, true);

  // Named, in any case: that output and its monitor, or an input of that name; no other.
  c = ChooseDevice(Source::SystemSound, L"speakers", e);
  EXPECT_EQ(Names(c, e),
            (std::vector<std::wstring>{L"Speakers (loopback)", L"Monitor of Speakers"}));
  EXPECT_FALSE(c.followsDefaultOutput);
  c = ChooseDevice(Source::SystemSound, L"STEREO MIX (REALTEK)", e);
  EXPECT_EQ(Names(c, e), (std::vector<std::wstring>{L"Stereo Mix (Realtek)"}));
  c = ChooseDevice(Source::SystemSound, L"Line In", e);
  EXPECT_EQ(c.problem, DeviceProblem::NotFound);
  EXPECT_TRUE(c.candidates.empty());

  // No default output (or one with no monitor of its name): whatever carries the output.
  const Endpoints wine = List({L"PulseAudio", L"Speakers"},
                              {L"PulseAudio", L"Monitor of Speakers", L"Microphone"}, 0, 0);
  EXPECT_EQ(Names(ChooseDevice(Source::SystemSound, L"", wine), wine),
            (std::vector<std::wstring>{L"PulseAudio (loopback)", L"Monitor of Speakers"}));
}

TEST(DeviceChoice, TheMicrophoneIsTheNamedInputOrTheDefaultOne) {
  const Endpoints e = List({L"Speakers"}, {L"Line In", L"USB Mic"}, 0, 1);
  DeviceChoice c = ChooseDevice(Source::Microphone, L"", e);
  EXPECT_EQ(Names(c, e), (std::vector<std::wstring>{L"USB Mic"}));
  EXPECT_EQ(c.followsDefaultOutput, false);
  c = ChooseDevice(Source::Microphone, L"line in", e);
  EXPECT_EQ(Names(c, e), (std::vector<std::wstring>{L"Line In"}));
  EXPECT_FALSE(c.followsDefaultOutput);
  // An output is no microphone, whatever its name.
  EXPECT_EQ(ChooseDevice(Source::Microphone, L"Speakers", e).problem, DeviceProblem::NotFound);
  EXPECT_EQ(ChooseDevice(Source::Microphone, L"", List({L"Speakers"}, {}, 0, std::nullopt)).problem,
            DeviceProblem::NotFound);
  EXPECT_EQ(ChooseDevice(Source::Microphone, L"", Endpoints{}).problem,
            DeviceProblem::NoSoundSystem);
  EXPECT_EQ(ChooseDevice(Source::SystemSound, L"", Endpoints{}).problem,
            DeviceProblem::NoSoundSystem);
}

}  // namespace
}  // namespace orvik::sound
