// A recording process for the tests that kill one: opens the writer on a 160x120 32-bit
// template ("Full Frames" chosen in the real dialog), then hands over frame i (a picture made
// from seed i) every 20 ms, and after each one rewrites <avi>.progress with how many it handed
// over. With "sound", the system's sound (the device the program's settings name, else the
// default) is recorded beside it, and
// <avi>.sound tells how the devices started. Runs until it is killed, or for `frames` frames
// (1500, 30 s), then stops as a user would.
// With "mp4" it writes an MP4 instead (no dialog) and runs as the capture does: the picture of
// each slot of the recording's 30 fps clock as the slot comes, so that the file's times are the
// clock's; <path>.clock holds the monotonic second (tk::MonotonicSeconds) the clock started at,
// for a test to tell where in the recording it killed the process.
//   recording_child <path> <segment bytes> [sound|silent] [frames] [avi|mp4]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "recorder/bmp_samples.h"
#include "recorder/output/avidecs.h"
#include "recorder/session/recording_clock.h"
#include "settings/remembered_choices.h"
#include "sound/wasapi/sound_recorder.h"
#include "support/codec_dialog.h"
#include "toolkit/files.h"
#include "toolkit/screen.h"

namespace {
void WriteText(const std::wstring& path, const std::string& text) {
  tk::File f = tk::File::Open(path, tk::FileMode::Replace);
  f.WriteAt(0, text.data(), text.size());
}

// Frame `slot`'s picture into a buffer the writer lends; left out when none is free, as the
// capture leaves a slot out.
void HandOver(orvik::RecordingOutput& recording, orvik::Slot slot) {
  samples::BmpRecipe recipe{160, 120, 32};
  recipe.seed = 100 + slot;
  const auto frame = samples::MakeBmp(recipe);
  if (const auto capture = recording.Acquire(slot)) {
    std::memcpy(capture->frame.bits, frame.data() + 54, frame.size() - 54);
    recording.Submit(*capture);
  }
}

// Every slot of the clock as it comes, until `frames` were handed over.
void RecordInRealTime(orvik::RecordingOutput& recording, orvik::SharedClock& clock, int frames,
                      tk::File& progress) {
  for (int handed = 0; handed < frames; Sleep(1)) {
    const auto slot = clock.ClaimSlot(tk::MonotonicSeconds());
    if (!slot) continue;
    HandOver(recording, *slot);
    const std::string count = std::to_string(++handed) + "        ";
    progress.WriteAt(0, count.data(), 8);
  }
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring avi = argv[1];
  const bool withSound = argc > 3 && std::wstring(argv[3]) == L"sound";
  const int frames = argc > 4 ? std::max(1, _wtoi(argv[4])) : 1500;
  const bool mp4 = argc > 5 && std::wstring(argv[5]) == L"mp4";
  AVIDecs::AviSetSegmentBytes(std::wcstoull(argv[2], nullptr, 10));
  const std::wstring templ = avi + L".template.bmp";
  const auto first = samples::MakeBmp({160, 120, 32});
  tk::File t = tk::File::Open(templ, tk::FileMode::Replace);
  if (!t.WriteAt(0, first.data(), first.size())) return 3;
  t.Close();

  orvik::RecordingOutput recording;
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
  if (mp4) {
    if (recording.OpenMp4(templ, avi, 30) != orvik::EngineError::None) return 4;
    orvik::RememberUnfinished(recording.Unfinished());  // as the program notes its recording
  } else {
    testsupport::CodecDialogAnswer answer(testsupport::kCodecFullFrames);
    if (!AVIDecs::AviOpenWriter(recording, nullptr, templ, avi, 30)) return 4;
  }
  const double startedAt = tk::MonotonicSeconds();
  clock.Start(startedAt);
  tk::File progress = tk::File::Open(avi + L".progress", tk::FileMode::Replace);
  if (mp4) {
    char started[32];
    std::snprintf(started, sizeof started, "%.6f", startedAt);
    WriteText(avi + L".clock", started);
    RecordInRealTime(recording, clock, frames, progress);
  }
  for (int i = 0; !mp4 && i < frames; ++i) {
    HandOver(recording, static_cast<orvik::Slot>(i));
    const std::string count = std::to_string(i + 1) + "        ";
    progress.WriteAt(0, count.data(), 8);
    Sleep(20);
  }
  clock.Pause(tk::MonotonicSeconds());
  AVIDecs::AviCloseWriter(recording);
  sound.Stop();
  return 0;
}
