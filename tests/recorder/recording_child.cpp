// A recording process for the tests that kill one: opens the writer on a 160x120 32-bit
// template ("Full Frames" chosen in the real dialog), then hands over frame i (a picture made
// from seed i) every 20 ms, and after each one rewrites <avi>.progress with how many it handed
// over. Runs until it is killed, or for 30 s.
//   recording_child <avi path> <segment bytes>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "recorder/avidecs.h"
#include "recorder/bmp_samples.h"
#include "support/codec_dialog.h"
#include "toolkit/files.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring avi = argv[1];
  AVIDecs::AviSetSegmentBytes(std::wcstoull(argv[2], nullptr, 10));
  const std::wstring templ = avi + L".template.bmp";
  const auto first = samples::MakeBmp({160, 120, 32});
  tk::File t = tk::File::Open(templ, tk::FileMode::Replace);
  if (!t.WriteAt(0, first.data(), first.size())) return 3;
  t.Close();
  testsupport::CodecDialogAnswer answer(testsupport::kCodecFullFrames);
  if (!AVIDecs::AviOpenWriter(nullptr, templ, avi, 30)) return 4;
  tk::File progress = tk::File::Open(avi + L".progress", tk::FileMode::Replace);
  for (int i = 0; i < 1500; ++i) {
    samples::BmpRecipe recipe{160, 120, 32};
    recipe.seed = 100 + i;
    const auto frame = samples::MakeBmp(recipe);
    AVIDecs::AviWriteFramePixels(i, frame.data() + 54);
    const std::string count = std::to_string(i + 1) + "        ";
    progress.WriteAt(0, count.data(), 8);
    Sleep(20);
  }
  AVIDecs::AviCloseWriter();
  return 0;
}
