// The comparison the bench makes without a fourth option:
//   1. a 20 s recording at the screen's size, started through the panel's start entry with
//      the save and codec dialogs answered ("Full Frames"), stopped with stop_click: CPU per
//      frame (per-second batches, median), the share of the wine server and the X server,
//      how many 100 ms slots got a fresh frame (ffprobe packets), and memory, handles and
//      GDI objects second by second;
//   2. ffmpeg's x11grab recording the same display to raw video in an AVI, at 10 and at
//      60 fps, one after the other in the same run, with its CPU per frame beside ours;
//   0. the scene alone for 5 s, nothing recording: its drawing's share of the servers, which is
//      taken off both sides below; then the floor: a bare BitBlt of the screen into a DIB
//      section at the same rate, nothing else; our recording's CPU per frame is given as a ratio
//      to it, as a whole and thread by thread (the GUI thread, the writer's, the wine server,
//      Xvfb);
//   3. and 4. where a frame's time goes, and what the 1 ms timer costs while no slot is due
//      (stages.cpp);
// then a summary of CPU per frame: ours against the floor, and against ffmpeg.
#include <cstdio>

#include "baselines.h"
#include "frame/form1.h"
#include "frame/forms.h"
#include "recording.h"
#include "scenarios.h"
#include "stages.h"

namespace capture_bench {
namespace {

constexpr double kFfmpeg60Seconds = 10;  // 60 fps raw fills the disk six times as fast

// Ours beside the bare copy thread by thread, then both without the scene's drawing in the
// servers.
void PrintAgainstTheFloor(const Bare& bare, const Recording& rec, const SceneAlone& scene,
                          const PerFrame& ours) {
  const double perFrame = rec.frames ? 1000.0 / rec.frames : 0;
  const double bareFrame = 1000.0 / bare.frames;
  const ThreadSplit& t = rec.threads;
  std::printf(
      "   a frame by thread (overall): ours GUI %.2f + writer %.2f + other threads %.2f + wine "
      "server %.2f + Xvfb %.2f = %.2f ms; bare copy %.2f + wine server %.2f + Xvfb %.2f = "
      "%.2f ms\n",
      t.gui * perFrame, t.writer * perFrame, t.rest * perFrame, rec.total.server * perFrame,
      rec.total.xvfb * perFrame,
      (t.gui + t.writer + t.rest + rec.total.server + rec.total.xvfb) * perFrame,
      bare.used.process * bareFrame, bare.used.server * bareFrame, bare.used.xvfb * bareFrame,
      bare.PerFrameWithServersMs());
  const double share = scene.ServersPerFrameMs();
  const double bareOwn = bare.PerFrameWithServersMs() - share;
  std::printf(
      "   the scene's drawing in the servers (0., alone) %.2f ms a frame, taken off both: ours "
      "%.2f ms (median %.2f), bare copy %.2f ms: ratio %.2f (median %.2f)  (target 1.25 with "
      "our codec)\n",
      share, ours.overallWithServers - share, ours.medianWithServers - share, bareOwn,
      (ours.overallWithServers - share) / bareOwn, (ours.medianWithServers - share) / bareOwn);
}

void PrintSummary(const PerFrame& ours, const Bare& bare, const Recording& rec,
                  const SceneAlone& scene, const Ffmpeg& ff10, const Ffmpeg& ff60) {
  std::printf("\nSummary: CPU per frame at %d x %d, %d fps, %s\n", form1().aviwidth,
              form1().aviheight, g_rate, g_orvikCodec ? "our lossless codec" : "Full Frames");
  std::printf(
      "   ours, process only:            median of per-second batches %.2f ms, overall %.2f ms\n",
      ours.median, ours.overall);
  std::printf(
      "   ours, + wine server + Xvfb:    median of per-second batches %.2f ms, overall %.2f ms\n",
      ours.medianWithServers, ours.overallWithServers);
  if (bare.frames > 0)
    std::printf(
        "   the bare screen copy (0.):      %.2f ms, + wine server + Xvfb %.2f ms\n"
        "   ratio ours / bare copy: process only %.2f, with servers %.2f (overall %.2f)  "
        "(target 1.25 with our codec)\n",
        bare.PerFrameMs(), bare.PerFrameWithServersMs(), ours.median / bare.PerFrameMs(),
        ours.medianWithServers / bare.PerFrameWithServersMs(),
        ours.overallWithServers / bare.PerFrameWithServersMs());
  if (bare.frames > 0) PrintAgainstTheFloor(bare, rec, scene, ours);
  std::printf("   fresh slots: %ld of %ld = %.2f%% (target 99%% at 30 fps)\n", rec.FreshSlots(),
              rec.Slots(), rec.FreshPercent());
  for (const Ffmpeg* f : {&ff10, &ff60}) {
    if (!f->ok) continue;
    const double frames = static_cast<double>(f->packets.nonEmpty);
    const double own = f->cpu * 1000 / frames;
    const double all = (f->cpu + f->servers.xvfb) * 1000 / frames;
    std::printf(
        "   ffmpeg %s %2d fps: %.2f ms (+ Xvfb %.2f ms), %.1f MB a minute.  Ratio ours/ffmpeg: "
        "process only %.2f, with servers %.2f; file %.2fx\n",
        f->codec.c_str(), f->rate, own, all, f->fileBytes / 1e6 * 60 / f->seconds,
        ours.median / own, ours.medianWithServers / all,
        (rec.fileBytes / rec.elapsed) / (f->fileBytes / f->seconds));
  }
}

}  // namespace

void CompareWithTheFloorAndFfmpeg(const Servers& servers, const std::wstring& dir) {
  const SceneAlone scene = MeasureSceneAlone(servers, kRecordSeconds / 4);
  PrintSceneAlone(scene);
  const Bare bare = RecordBare(servers, kRecordSeconds / 2);
  PrintBare(bare);
  const Recording rec = RecordWithTheProgram(servers, dir + L"\\ours.avi");
  PrintRecording(rec);

  std::printf("\n2. ffmpeg -f x11grab on the same display (cursor drawn)\n");
  Ffmpeg ff10, ff60;
  if (g_orvikCodec) {
    ff10 = RecordWithFfmpeg(servers, dir + L"\\x264.avi", g_rate, kRecordSeconds,
                            "-c:v libx264rgb -preset ultrafast -qp 0");
    PrintFfmpeg(ff10);
    ff60 = RecordWithFfmpeg(servers, dir + L"\\zmbv.avi", g_rate, kRecordSeconds,
                            "-c:v zmbv -pix_fmt bgr0");
    PrintFfmpeg(ff60);
  } else {
    ff10 = RecordWithFfmpeg(servers, dir + L"\\ff10.avi", g_rate, kRecordSeconds);
    PrintFfmpeg(ff10);
    ff60 = RecordWithFfmpeg(servers, dir + L"\\ff60.avi", 60, kFfmpeg60Seconds);
    PrintFfmpeg(ff60);
  }

  const Stages stages = MeasureStages(servers, dir);
  PrintStages(stages);
  PrintIdleTicks(MeasureIdleTicks(servers));
  if (rec.ok) PrintSummary(PerFrameOf(rec), bare, rec, scene, ff10, ff60);
}

}  // namespace capture_bench
