#pragma once
// The program's own recording, as every scenario makes it: started through the panel's start
// entry with the save and codec dialogs answered, sampled second by second (CPU, memory,
// handles), stopped with stop_click, and its file counted by ffprobe.
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "measure.h"
#include "usage.h"

namespace capture_bench {

constexpr double kRecordSeconds = 20;
// The fps and the codec the options chose; the MP4 comparison changes both as it goes.
extern int g_rate;
extern bool g_orvikCodec;
// The main window restored (not minimized) while the program records: its face counts along.
extern bool g_restoredDuringRecording;

// ---- ffprobe ----

// A file's video packets; their times as slots of the recording's rate (an AVI's frame numbers,
// an MP4's 1/90000 s ticks).
struct Packets {
  long listed = 0, nonEmpty = 0, lastPts = -1;
  std::vector<long> nonEmptyPts;
};

Packets ProbePackets(const std::wstring& avi, int rate);

// ---- the program's own recording ----

struct Second {
  double cpuMs = 0, withServersMs = 0, serverMs = 0, xvfbMs = 0;
  int frames = 0;
  Usage usage;
};

struct Recording {
  bool ok = false;
  int frames = 0;
  double elapsed = 0;
  Cpu total;
  std::vector<Second> seconds;
  uint64_t fileBytes = 0;
  uint32_t dropped = 0;
  int gdiAtStart = 0, gdiMid = 0, gdiAtEnd = 0, gdiIdle = 0;
  double gdiProbeMs = 0;
  Packets packets;
  ThreadSplit threads;  // over the same time as `total`
  bool mp4 = false;
  int rate = 0;
  // Frames the capture handed to the writer, and the slots begun, just before the stop.
  long captured = 0, slotsBeforeStop = 0;

  long Slots() const { return static_cast<long>(std::floor(elapsed * rate + 1e-9)); }
  // Slots whose picture in the file is a fresh one. An MP4 holds no picture where the encoder
  // found nothing changed, so for an MP4 of a still screen this counts low; `captured` does not.
  long FreshSlots() const {
    const long slots = Slots();
    long fresh = 0;
    for (long pts : packets.nonEmptyPts) fresh += pts < slots ? 1 : 0;
    return fresh;
  }
  double FreshPercent() const { return Slots() ? 100.0 * FreshSlots() / Slots() : 0; }
  double CapturedPercent() const {
    return slotsBeforeStop ? 100.0 * captured / slotsBeforeStop : 0;
  }
  double DroppedPercent() const { return slotsBeforeStop ? 100.0 * dropped / slotsBeforeStop : 0; }
  double MbPerMinute() const { return elapsed > 0 ? fileBytes / 1e6 * 60 / elapsed : 0; }
};

const char* CodecName(bool mp4);

// A recording of kRecordSeconds to `avi`, whose name gives the file's type: an MP4 starts at
// once, an AVI asks for its codec. The file is probed, then removed.
Recording RecordWithTheProgram(const Servers& servers, const std::wstring& avi);
void PrintRecording(const Recording& r);

// Per-frame CPU of the recording: median over whole seconds of (CPU in that second / frames
// in that second), without and with the two servers' shares.
struct PerFrame {
  double median = 0, medianWithServers = 0, overall = 0, overallWithServers = 0;
};

PerFrame PerFrameOf(const Recording& r);

// One recording made two ways back to back (`set(0)`, then `set(1)`; `set(0)` again after).
struct BothWays {
  bool ok = false;
  PerFrame perFrame[2];
  double mbPerMinute[2] = {0, 0};
};

BothWays RecordBothWays(const Servers& servers, const std::wstring& avi,
                        const std::function<void(int)>& set);
void PrintBothWays(const char* what, const char* first, const char* second, const BothWays& b,
                   double targetMs);

}  // namespace capture_bench
