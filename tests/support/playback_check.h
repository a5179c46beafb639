#pragma once
// Whether a recording plays in the clients it is sent to, as far as this machine has them: the
// machine's ffmpeg decoding it strictly, a real browser (headless Chromium) playing it to its
// end, and Windows' media API (as this Wine implements it) reading every sample. For tests under
// Wine that point it at a file the program wrote; `playback_check FILE` prints the same facts.
#include <windows.h>

#include <string>
#include <vector>

#include "support/browser_verdict.h"
#include "support/source_reader.h"

namespace testsupport {

// One stream's packets as ffprobe lists them: what the file holds.
struct StreamPackets {
  std::vector<double> times, durations;  // seconds
  double End() const { return times.empty() ? 0 : times.back() + durations.back(); }
};

struct PlaybackFacts {
  bool ffmpegDecodes = false;  // `ffmpeg -xerror` decodes every stream without a message
  std::string ffmpegLog;
  StreamPackets video, audio;
  BrowserVerdict browser;
  SourceReading mediaFoundation;
  DWORD ffmpegMs = 0, browserMs = 0, readerMs = 0;  // what each check took
};

struct PlaybackChecks {
  bool ffmpeg = true, browser = true, mediaFoundation = true;
  int browserTimeoutSeconds = 60;  // a check plays the file in real time: give it its length
  int pixelX = -1, pixelY = -1;    // where the browser reads the first picture's colour
};

PlaybackFacts CheckPlayback(const std::wstring& path, const PlaybackChecks& checks = {});

std::string Describe(const PlaybackFacts& facts);

}  // namespace testsupport
