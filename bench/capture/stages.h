#pragma once
// Where a frame's time goes, and what the recording's timer costs between frames:
//   3. the pieces of a recording (the copy into the writer's buffer, the cursor, the codec, the
//      write, the commits) made one by one in a loop;
//   4. what the 1 ms timer costs while no slot is due.
// The comparison with the floor and ffmpeg ends with both; the MP4 comparison with the first,
// for an MP4 and for our lossless AVI.
#include <string>
#include <vector>

#include "measure.h"

namespace capture_bench {

// ---- 3. where a frame's time goes ----

// One stage of a frame: wall time of every call, and the process CPU summed over all calls
// (GetProcessTimes moves in 10 ms steps, which even out over a couple of hundred calls).
struct Stage {
  std::vector<double> ms;
  double cpu = 0;
  double started = 0, cpuAtStart = 0;
  void Begin() {
    cpuAtStart = ProcessCpuSeconds();
    started = Now();
  }
  void End() {
    ms.push_back((Now() - started) * 1000);
    cpu += ProcessCpuSeconds() - cpuAtStart;
  }
  double CpuPerCallMs() const { return ms.empty() ? 0 : cpu * 1000 / ms.size(); }
};

struct Stages {
  bool mp4 = false;
  // On the GUI thread.
  Stage capture, cursor;
  // On the writer's thread; `convert` is the conversion to I420 alone, which an MP4's codec
  // then makes again inside `compress`.
  Stage convert, compress, write, commit;
  std::vector<double> total;
  double cpuPerFrame = 0, serverPerFrame = 0, xvfbPerFrame = 0;
};

// The pieces a recording's frame goes through, one after the other on this thread, on the
// live screen: the copy into one of the writer's frame buffers, the cursor, for an MP4 the
// conversion to I420 alone, the codec, the frame's write, and the commits (every 0.4 s of
// frames, counted per frame).
Stages MeasureStages(const Servers& servers, const std::wstring& dir, bool mp4 = false);
void PrintStages(const Stages& st);

// ---- 4. the 1 ms timer while no slot is due ----

struct IdleTicks {
  double seconds = 0;
  long ticks = 0;
  Cpu used;
};

// The recording's timer asks for a tick every millisecond; between two frames every tick
// finds its slot taken and returns. This runs the same timer with the same slot check.
IdleTicks MeasureIdleTicks(const Servers& servers);
void PrintIdleTicks(const IdleTicks& t);

}  // namespace capture_bench
