#pragma once
// What our recording is measured against: ffmpeg's x11grab on the same display, the scene with
// nothing recording, and the floor, a bare screen copy at the same rate.
#include <cstdint>
#include <string>

#include "measure.h"
#include "recording.h"

namespace capture_bench {

// ---- ffmpeg on the same display ----

struct Ffmpeg {
  bool ok = false;
  int rate = 0;
  double seconds = 0, wall = 0;
  double cpu = 0;  // user + system of ffmpeg, from the shell's `times`
  Cpu servers;
  Packets packets;
  std::string codec;
  uint64_t fileBytes = 0;
};

// ffmpeg's x11grab recording this display at `rate` for `seconds` to `avi` with `codec`: its CPU
// from the shell's `times`, the servers' from /proc; the file is probed, then removed.
Ffmpeg RecordWithFfmpeg(const Servers& servers, const std::wstring& avi, int rate, double seconds,
                        const std::string& codec = "-c:v rawvideo");
void PrintFfmpeg(const Ffmpeg& f);

// ---- the scene alone, and the floor: a bare screen copy at the same rate ----

// The scene with nothing recording: what its drawing costs the two servers (and its own
// process). Both the bare copy and our recording run beside it, so its share of the servers is
// taken off both before they are compared.
struct SceneAlone {
  double seconds = 0;
  Cpu used;
  double PerSecondMs(double cpu) const { return seconds > 0 ? cpu * 1000 / seconds : 0; }
  // The servers' share in one frame's time at the recording's rate.
  double ServersPerFrameMs() const { return PerSecondMs(used.server + used.xvfb) / g_rate; }
};

SceneAlone MeasureSceneAlone(const Servers& servers, double seconds);
void PrintSceneAlone(const SceneAlone& a);

// What any recorder of this screen pays at least: at the start of every slot, one BitBlt of
// the whole screen into a DIB section through a kept screen DC, and nothing else (no cursor,
// no queue, no codec, no file). Paced by sleeping until the next slot.
struct Bare {
  int frames = 0;
  double seconds = 0;
  Cpu used;
  double PerFrameMs() const { return frames ? used.process * 1000 / frames : 0; }
  double PerFrameWithServersMs() const {
    return frames ? (used.process + used.server + used.xvfb) * 1000 / frames : 0;
  }
};

Bare RecordBare(const Servers& servers, double seconds);
void PrintBare(const Bare& b);

}  // namespace capture_bench
