// "sound": the recording without sound and with the system's sound and the microphone, back to
// back.
#include <cstdio>

#include "frame/forms.h"
#include "panel/form2.h"
#include "recording.h"
#include "scenarios.h"
#include "settings/remembered_choices.h"
#include "support/unix_tools.h"

namespace capture_bench {

using testsupport::RunShell;

// The same recording without sound and with the system's sound and the microphone (a tone
// playing into each), back to back: what sound costs a frame, and a minute of file.
void CompareSound(const Servers& servers, const std::wstring& dir) {
  // The speakers' monitor is this Wine's system sound (it refuses loopback); tones play into the
  // speakers and the microphone for both recordings.
  orvik::ProgramSettings().WriteText(L"SystemSoundDevice", L"Monitor of Speakers");
  RunShell(
      "bash -c '. \"$ORVIK_PULSE_ENV\" && orvik_pulse_play speakers tone 1000 120 0.3 && "
      "orvik_pulse_play micsink tone 440 120 0.3'",
      nullptr);
  const orvik::SoundChoice choices[2] = {orvik::SoundChoice::None, orvik::SoundChoice::Both};
  const BothWays both =
      RecordBothWays(servers, dir + L"\\sound.avi", [&](int i) { form2().CheckSound(choices[i]); });
  PrintBothWays("Sound", "without sound", "with the system's sound and the microphone", both, 1.0);
  std::printf("   file %.2f MB a minute without sound, %.2f with\n", both.mbPerMinute[0],
              both.mbPerMinute[1]);
}

}  // namespace capture_bench
