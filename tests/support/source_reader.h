#pragma once
// A file as Windows' media API reads it: Media Foundation's source reader (the path Windows' own
// players and many apps take) hands over every decoded sample of the first video and the first
// audio stream. Under this Wine the decoders are GStreamer's; the reader is tolerant there, so a
// clean reading proves that the file is well formed for it, not that every Windows plays it.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct SourceReaderStream {
  bool present = false;
  std::vector<int64_t> times, durations;  // of each sample, in 100 ns units
  uint64_t audioFrames = 0;               // decoded PCM frames (sound only)
  uint32_t width = 0, height = 0;         // picture only
  uint32_t sampleRate = 0, channels = 0;  // sound only
  bool ended = false;                     // the reader said the stream ended
  int64_t End() const { return times.empty() ? 0 : times.back() + durations.back(); }
};

struct SourceReading {
  HRESULT failure = S_OK;  // the first call that failed; `where` names it
  std::string where;
  int64_t duration = 0;  // what the file says it lasts, 100 ns units
  SourceReaderStream video, audio;
  bool ok() const { return SUCCEEDED(failure); }
};

// Reads the whole file, bounded to `timeoutMs` of reading.
SourceReading ReadWithSourceReader(const std::wstring& path, DWORD timeoutMs = 120000);

// A few lines: the failure, the duration, each stream's count, first and last times.
std::string Describe(const SourceReading& reading);

}  // namespace testsupport
