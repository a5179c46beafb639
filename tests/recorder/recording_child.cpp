// A recording process for the tests that kill one: opens the writer on a 160x120 32-bit
// template ("Full Frames" chosen in the real dialog), then hands over frame i (a picture made
// from seed i) every 20 ms, and after each one rewrites <avi>.progress with how many it handed
// over. With "sound", the system's sound (the device the program's settings name, else the
// default) is recorded beside it, and
// <avi>.sound tells how the devices started. Runs until it is killed, or for `frames` frames
// (1500, 30 s), then stops as a user would.
//   recording_child <avi path> <segment bytes> [sound|silent] [frames]
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "recorder/avidecs.h"
#include "recorder/bmp_samples.h"
#include "recorder/recording_clock.h"
#include "recorder/remembered_choices.h"
#include "sound/wasapi/sound_recorder.h"
#include "support/codec_dialog.h"
#include "toolkit/files.h"
#include "toolkit/screen.h"

namespace {
void WriteText(const std::wstring& path, const std::string& text) {
  tk::File f = tk::File::Open(path, tk::FileMode::Replace);
  f.WriteAt(0, text.data(), text.size());
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring avi = argv[1];
  const bool withSound = argc > 3 && std::wstring(argv[3]) == L"sound";
  const int frames = argc > 4 ? std::max(1, _wtoi(argv[4])) : 1500;
  AVIDecs::AviSetSegmentBytes(std::wcstoull(argv[2], nullptr, 10));
  const std::wstring templ = avi + L".template.bmp";
  const auto first = samples::MakeBmp({160, 120, 32});
  tk::File t = tk::File::Open(templ, tk::FileMode::Replace);
  if (!t.WriteAt(0, first.data(), first.size())) return 3;
  t.Close();

  orvik::RecordingOutput recording;
  AVIDecs::AviUseRecording(&recording);
  orvik::SharedClock clock(30);
  orvik::sound::SoundRecorder sound;
  if (withSound) {
    orvik::sound::SoundRecorder::Wanted wanted;
    wanted.system = true;
    wanted.systemDevice = orvik::NamedSystemSoundDevice();
    const auto started =
        sound.Start(wanted, [&] { return clock.RunningTime(tk::MonotonicSeconds()); });
    WriteText(avi + L".sound", std::to_string(static_cast<int>(started.systemProblem)));
    if (sound.Recording())
      recording.SetSound(&sound, [&] { return clock.Elapsed(tk::MonotonicSeconds()); });
  }
  testsupport::CodecDialogAnswer answer(testsupport::kCodecFullFrames);
  if (!AVIDecs::AviOpenWriter(nullptr, templ, avi, 30)) return 4;
  clock.Start(tk::MonotonicSeconds());
  tk::File progress = tk::File::Open(avi + L".progress", tk::FileMode::Replace);
  for (int i = 0; i < frames; ++i) {
    samples::BmpRecipe recipe{160, 120, 32};
    recipe.seed = 100 + i;
    const auto frame = samples::MakeBmp(recipe);
    if (const auto capture = recording.Acquire(static_cast<orvik::Slot>(i))) {
      std::memcpy(capture->frame.bits, frame.data() + 54, frame.size() - 54);
      recording.Submit(*capture);
    }
    const std::string count = std::to_string(i + 1) + "        ";
    progress.WriteAt(0, count.data(), 8);
    Sleep(20);
  }
  clock.Pause(tk::MonotonicSeconds());
  AVIDecs::AviCloseWriter();
  sound.Stop();
  AVIDecs::AviUseRecording(nullptr);
  return 0;
}
