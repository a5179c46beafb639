#include "support/playback_check.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "support/unix_tools.h"

namespace testsupport {

namespace {

double StreamEnd(const std::string& file, const char* stream) {
  std::string out;
  RunShell(std::string("ffprobe -v error -select_streams ") + stream +
               " -show_entries stream=start_time,duration -of csv=p=0 " + file,
           &out);
  double start = 0, duration = 0;
  return std::sscanf(out.c_str(), "%lf,%lf", &start, &duration) == 2 ? start + duration : 0;
}

StreamPackets ProbePackets(const std::string& file, const char* stream) {
  StreamPackets packets;
  std::string out;
  if (RunShell(std::string("ffprobe -v error -select_streams ") + stream +
                   " -show_entries packet=pts_time,duration_time -of csv=p=0 " + file,
               &out) != 0)
    return packets;
  std::istringstream lines(out);
  std::string line;
  bool unknown = false;
  while (std::getline(lines, line)) {
    double time = 0, duration = -1;
    if (std::sscanf(line.c_str(), "%lf,%lf", &time, &duration) < 1) continue;
    packets.times.push_back(time);
    packets.durations.push_back(duration);
    unknown = unknown || duration < 0;
  }
  // ffprobe 5.1 gives the pictures of a file holding a single fragment no duration ("N/A"):
  // each lasts until the next, the last until the stream's end.
  for (size_t i = 0; unknown && i < packets.times.size(); ++i) {
    if (packets.durations[i] >= 0) continue;
    const double next =
        i + 1 < packets.times.size() ? packets.times[i + 1] : StreamEnd(file, stream);
    packets.durations[i] = std::max(next - packets.times[i], 0.0);
  }
  return packets;
}

BrowserVerdict PlayInBrowser(const std::string& file, const PlaybackChecks& checks) {
  const int timeoutSeconds = checks.browserTimeoutSeconds;
  std::string pixel;
  if (checks.pixelX >= 0)
    pixel = " --pixel " + std::to_string(checks.pixelX) + "," + std::to_string(checks.pixelY);
  std::string out;
  RunShell("python3 " + ShellQuote(ORVIK_BROWSER_PLAY) + " --timeout " +
               std::to_string(timeoutSeconds) + pixel + " " + file,
           &out, static_cast<DWORD>(timeoutSeconds + 30) * 1000);
  return ParseBrowserVerdict(out);
}

}  // namespace

PlaybackFacts CheckPlayback(const std::wstring& path, const PlaybackChecks& checks) {
  PlaybackFacts facts;
  const std::string file = ShellQuote(UnixPath(path));
  DWORD start = GetTickCount();
  if (checks.ffmpeg) {
    facts.ffmpegDecodes = RunShell("ffmpeg -v error -nostdin -xerror -i " + file + " -f null -",
                                   &facts.ffmpegLog) == 0 &&
                          facts.ffmpegLog.empty();
    facts.video = ProbePackets(file, "v:0");
    facts.audio = ProbePackets(file, "a:0");
  }
  facts.ffmpegMs = GetTickCount() - start;
  start = GetTickCount();
  if (checks.browser) facts.browser = PlayInBrowser(file, checks);
  facts.browserMs = GetTickCount() - start;
  start = GetTickCount();
  if (checks.mediaFoundation) facts.mediaFoundation = ReadWithSourceReader(path);
  facts.readerMs = GetTickCount() - start;
  return facts;
}

std::string Describe(const PlaybackFacts& f) {
  char line[160];
  std::snprintf(line, sizeof line,
                "ffmpeg: %s; holds %zu pictures to %.4f s, %zu sound packets to %.4f s\n",
                f.ffmpegDecodes ? "decodes" : "FAILS", f.video.times.size(), f.video.End(),
                f.audio.times.size(), f.audio.End());
  std::string out = line + (f.ffmpegLog.empty() ? "" : f.ffmpegLog + "\n") +
                    "browser: " + Describe(f.browser) +
                    "\nsource reader: " + Describe(f.mediaFoundation);
  std::snprintf(line, sizeof line, "took: ffmpeg %lu ms, browser %lu ms, source reader %lu ms\n",
                f.ffmpegMs, f.browserMs, f.readerMs);
  return out + line;
}

}  // namespace testsupport
