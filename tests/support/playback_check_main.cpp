// playback_check FILE: what ffmpeg, a real browser and Windows' media API make of a file (run
// under Wine). Exits 0 when all three play it.
#include <cstdio>

#include "support/playback_check.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: playback_check FILE\n", stderr);
    return 2;
  }
  const testsupport::PlaybackFacts facts = testsupport::CheckPlayback(argv[1]);
  std::fputs(Describe(facts).c_str(), stdout);
  return facts.ffmpegDecodes && facts.browser.played && facts.mediaFoundation.ok() ? 0 : 1;
}
