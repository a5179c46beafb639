#include "recording.h"

#include <windows.h>

#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>

#include "frame/form1.h"
#include "frame/forms.h"
#include "panel/form2.h"
#include "support/codec_dialog.h"
#include "support/dialogs.h"
#include "support/unix_tools.h"
#include "toolkit/files.h"
#include "toolkit/window_testing.h"

namespace capture_bench {

using testsupport::RunShell;
using testsupport::UnixPath;

int g_rate = 10;
bool g_orvikCodec = false;
bool g_restoredDuringRecording = false;

namespace {

constexpr int kFileNameBox = 0x47c;

bool IsMp4(const std::wstring& path) {
  return path.size() > 4 && path.compare(path.size() - 4, 4, L".mp4") == 0;
}

// The file's type is the name's: an MP4 starts at once, an AVI asks for its codec.
bool StartRecording(const std::wstring& avi) {
  testsupport::DialogWatcher save(
      L"保存文件",
      [avi](HWND h) {
        SendMessageW(h, CDM_SETCONTROLTEXT, kFileNameBox, reinterpret_cast<LPARAM>(avi.c_str()));
        testsupport::PressButton(h, IDOK);
      },
      30000);
  std::unique_ptr<testsupport::CodecDialogAnswer> codec;
  if (!IsMp4(avi))
    codec = std::make_unique<testsupport::CodecDialogAnswer>(
        g_orvikCodec ? testsupport::kCodecOrvik : testsupport::kCodecFullFrames, 30000);
  form2().CheckFrameRate(g_rate);
  form2().start_Click();
  save.Wait();
  if (codec) codec->Wait();
  return form1().Recording();
}

int TimedGdiProbe(double* ms) {
  const double t0 = Now();
  const int n = toolkit_testing::GdiObjects();
  *ms = std::max(*ms, (Now() - t0) * 1000);
  return n;
}

}  // namespace

Packets ProbePackets(const std::wstring& avi, int rate) {
  Packets p;
  std::string out;
  const std::string probe =
      "ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,size -of csv=p=0 ";
  if (RunShell(probe + Quote(UnixPath(avi)), &out, 180000) != 0) return p;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    double seconds = 0;
    long size = 0;
    // H.264 in AVI has no packet pts ("N/A"): such a packet still counts, at pts 0.
    if (std::sscanf(line.c_str(), "%lf,%ld", &seconds, &size) != 2 &&
        std::sscanf(line.c_str(), "%*[^,],%ld", &size) != 1)
      continue;
    const long pts = std::lround(seconds * rate);
    ++p.listed;
    p.lastPts = std::max(p.lastPts, pts);
    if (size > 0) {
      ++p.nonEmpty;
      p.nonEmptyPts.push_back(pts);
    }
  }
  return p;
}

const char* CodecName(bool mp4) {
  return mp4 ? "MP4, H.264" : g_orvikCodec ? "our lossless codec" : "Full Frames";
}

Recording RecordWithTheProgram(const Servers& servers, const std::wstring& avi) {
  Recording r;
  r.mp4 = IsMp4(avi);
  r.rate = g_rate;
  r.gdiIdle = TimedGdiProbe(&r.gdiProbeMs);
  if (!StartRecording(avi)) return r;
  if (g_restoredDuringRecording) form1().SetWindowState(tk::kStateNormal);
  r.gdiAtStart = TimedGdiProbe(&r.gdiProbeMs);

  Cpu last = ReadCpu(servers);
  const Cpu first = last;
  const ThreadCpu threadsFirst = ReadThreadCpu();
  ThreadCpu probed;  // the GDI probe's share, left out as it is of `total`
  int lastFrames = form1().Session().FrameCount();
  const int firstFrames = lastFrames;
  const double t0 = form1().Session().Clock().StartedAt();
  for (int s = 1; s <= static_cast<int>(kRecordSeconds); ++s) {
    PumpUntil(t0 + s);
    const Cpu now = ReadCpu(servers);
    const int frames = form1().Session().FrameCount();
    const Cpu d = now - last;
    Second sec;
    sec.frames = frames - lastFrames;
    sec.cpuMs = d.process * 1000;
    sec.serverMs = d.server * 1000;
    sec.xvfbMs = d.xvfb * 1000;
    sec.withServersMs = sec.cpuMs + sec.serverMs + sec.xvfbMs;
    sec.usage = ReadUsage();
    r.seconds.push_back(sec);
    last = now;
    lastFrames = frames;
    // Probed between two samples, so the cost lands in no second's figures.
    if (s == static_cast<int>(kRecordSeconds) / 2) {
      const ThreadCpu beforeProbe = ReadThreadCpu();
      r.gdiMid = TimedGdiProbe(&r.gdiProbeMs);
      probed = ReadThreadCpu() - beforeProbe;
      last = ReadCpu(servers);
      lastFrames = form1().Session().FrameCount();
    }
  }
  r.total = last - first;
  r.threads = SplitByThread(ReadThreadCpu() - threadsFirst - probed);
  r.frames = form1().Session().FrameCount() - firstFrames;
  r.gdiAtEnd = TimedGdiProbe(&r.gdiProbeMs);
  r.captured = form1().Session().FrameCount();
  r.slotsBeforeStop =  // begun: slot 0 at once
      static_cast<long>(std::floor(form1().Session().Clock().Elapsed(Now()) * g_rate + 1e-9)) + 1;
  form1().stop_click();
  r.dropped = form1().Session().Output().Dropped();
  r.elapsed = form1().Session().Clock().Elapsed(Now());
  r.packets = ProbePackets(avi, g_rate);
  r.fileBytes = tk::FileLength(avi).value_or(0);
  tk::RemoveFile(avi);
  r.ok = true;
  return r;
}

void PrintRecording(const Recording& r) {
  std::printf("\n1. The program recording %d x %d for %.0f s at %d fps (%s, cursor on)\n",
              form1().aviwidth, form1().aviheight, kRecordSeconds, g_rate, CodecName(r.mp4));
  if (!r.ok) {
    std::printf("   the recording did not start\n");
    return;
  }
  std::printf("   frames written %d in %.3f s of recording\n", r.frames, r.elapsed);
  std::printf("   %-4s %6s %7s %9s %7s %9s %7s %8s %7s %5s %5s\n", "sec", "frames", "cpu ms",
              "server ms", "Xvfb ms", "ms/frame", "WS MB", "priv MB", "handles", "HC*", "GDI*");
  for (size_t i = 0; i < r.seconds.size(); ++i) {
    const Second& s = r.seconds[i];
    std::printf("   %-4zu %6d %7.0f %9.0f %7.0f %9.1f %7.1f %8.1f %7ld %5lu %5lu\n", i + 1,
                s.frames, s.cpuMs, s.serverMs, s.xvfbMs, s.frames ? s.cpuMs / s.frames : 0.0,
                s.usage.workingSetMb, s.usage.privateMb, s.usage.handles, s.usage.handleCount,
                s.usage.gdiCounted);
  }
  std::printf(
      "   (priv MB: committed private memory by VirtualQuery; handles: this process's entries in "
      "the system handle table; HC: GetProcessHandleCount; GDI: GetGuiResources, which %s)\n",
      r.seconds.empty() || r.seconds[0].usage.gdiCounted == 0
          ? "answers 0 under Wine, see the table probe below"
          : "counts under this system");
  std::printf(
      "   GDI objects in use by the table probe (plus a fixed offset): idle %d, after start %d, "
      "at %.0f s %d, before stop %d (one probe %.0f ms)\n",
      r.gdiIdle, r.gdiAtStart, kRecordSeconds / 2, r.gdiMid, r.gdiAtEnd, r.gdiProbeMs);
  std::printf(
      "   process CPU over the recording: GetProcessTimes %.2f s, /proc of the process %.2f s\n",
      r.total.process, r.total.self);
  const double perFrame = r.frames ? 1000.0 / r.frames : 0;
  std::printf(
      "   CPU a frame by thread: GUI (the capture) %.2f ms, writer (the busiest other: codec, "
      "file) %.2f ms, the other threads %.2f ms; wine server %.2f ms, Xvfb %.2f ms\n",
      r.threads.gui * perFrame, r.threads.writer * perFrame, r.threads.rest * perFrame,
      r.total.server * perFrame, r.total.xvfb * perFrame);

  std::printf(
      "   file %.1f MB = %.1f MB a minute; slots left empty because the writer was busy: %u\n",
      r.fileBytes / 1e6, r.MbPerMinute(), r.dropped);
  std::printf(
      "   ffprobe: %ld packets listed, %ld with a frame, last pts %ld; slots in %.3f s: %ld; "
      "filled with fresh frames: %ld = %.1f%% (targets: 99.5%% at 10 fps, 95%% at 30)\n",
      r.packets.listed, r.packets.nonEmpty, r.packets.lastPts, r.elapsed, r.Slots(), r.FreshSlots(),
      r.FreshPercent());
  std::printf("   captured: %ld frames handed to the writer in %ld slots = %.1f%%\n", r.captured,
              r.slotsBeforeStop, r.CapturedPercent());
}

PerFrame PerFrameOf(const Recording& r) {
  PerFrame p;
  std::vector<double> own, all;
  for (const Second& s : r.seconds) {
    if (s.frames == 0) continue;
    own.push_back(s.cpuMs / s.frames);
    all.push_back(s.withServersMs / s.frames);
  }
  p.median = Median(own);
  p.medianWithServers = Median(all);
  if (r.frames > 0) {
    p.overall = r.total.process * 1000 / r.frames;
    p.overallWithServers = (r.total.process + r.total.server + r.total.xvfb) * 1000 / r.frames;
  }
  return p;
}

BothWays RecordBothWays(const Servers& servers, const std::wstring& avi,
                        const std::function<void(int)>& set) {
  BothWays both;
  for (int i = 0; i < 2; ++i) {
    set(i);
    const Recording rec = RecordWithTheProgram(servers, avi);
    PrintRecording(rec);
    if (!rec.ok) break;
    both.perFrame[i] = PerFrameOf(rec);
    both.mbPerMinute[i] = rec.MbPerMinute();
    both.ok = i == 1;
  }
  set(0);
  return both;
}

void PrintBothWays(const char* what, const char* first, const char* second, const BothWays& b,
                   double targetMs) {
  if (!b.ok) return;
  const PerFrame& x = b.perFrame[0];
  const PerFrame& y = b.perFrame[1];
  std::printf(
      "\n%s at %d x %d, %d fps (%s): CPU per frame %s %.2f ms (with servers %.2f), %s %.2f ms "
      "(%.2f): %+.2f ms (%+.2f with servers; overall %+.2f; target %+.1f ms)\n",
      what, form1().aviwidth, form1().aviheight, g_rate, g_orvikCodec ? "our codec" : "Full Frames",
      first, x.median, x.medianWithServers, second, y.median, y.medianWithServers,
      y.median - x.median, y.medianWithServers - x.medianWithServers, y.overall - x.overall,
      targetMs);
}

}  // namespace capture_bench
