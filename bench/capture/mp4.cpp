// "mp4": at each of the rates given as "10,30", the scene alone, the bare copy, the recording as
// MP4 (H.264) and as our lossless AVI, then where an MP4 frame's time goes, and a table of CPU
// per frame, fresh slots and size a minute side by side.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "baselines.h"
#include "frame/form1.h"
#include "frame/forms.h"
#include "panel/form2.h"
#include "recording.h"
#include "scenarios.h"
#include "stages.h"

namespace capture_bench {
namespace {

// One frame rate of the MP4 comparison: everything measured at it, in the order measured.
struct Mp4Round {
  int rate = 0;
  SceneAlone scene;
  Bare bare;
  Recording mp4, avi;
};

// A row of the table: what is measured, then the bare copy's figure (if any), MP4's and the
// AVI's, those two as ratios to `bareMs` when it is given.
void PrintMp4Row(const char* what, const std::string& bare, double mp4, double avi,
                 double bareMs = 0) {
  std::printf("   %-40s %9s", what, bare.c_str());
  for (double ms : {mp4, avi}) {
    char cell[64];
    std::snprintf(cell, sizeof cell, "%.2f", ms);
    if (bareMs > 0) std::snprintf(cell + std::strlen(cell), 16, " (%.2fx)", ms / bareMs);
    std::printf(" %18s", cell);
  }
  std::printf("\n");
}

std::string Ms(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", ms);
  return text;
}

// Per frame rate: CPU a frame (the median of per-second batches) as a whole and by thread, the
// bare copy beside it, fresh slots and size, MP4 and lossless AVI side by side.
void PrintMp4Table(const std::vector<Mp4Round>& rounds) {
  std::printf(
      "\nSummary: %d x %d, the same scene, no sound, cursor on: MP4 (H.264) against our lossless "
      "AVI against the bare screen copy\n",
      form1().aviwidth, form1().aviheight);
  std::printf("   %-40s %9s %18s %18s\n", "(CPU in ms a frame; x bare copy)", "bare copy", "MP4",
              "lossless AVI");
  for (const Mp4Round& r : rounds) {
    if (!r.mp4.ok || !r.avi.ok || r.bare.frames == 0) continue;
    std::printf("   -- %d fps\n", r.rate);
    const PerFrame mp4 = PerFrameOf(r.mp4), avi = PerFrameOf(r.avi);
    const double share = r.scene.PerSecondMs(r.scene.used.server + r.scene.used.xvfb) / r.rate;
    const double bareAll = r.bare.PerFrameWithServersMs();
    PrintMp4Row("this process", Ms(r.bare.PerFrameMs()), mp4.median, avi.median,
                r.bare.PerFrameMs());
    PrintMp4Row("+ wine server + Xvfb", Ms(bareAll), mp4.medianWithServers, avi.medianWithServers,
                bareAll);
    PrintMp4Row("+ servers, the scene's drawing taken off", Ms(bareAll - share),
                mp4.medianWithServers - share, avi.medianWithServers - share, bareAll - share);
    const auto perFrame = [](const Recording& rec, double seconds) {
      return rec.frames ? seconds * 1000 / rec.frames : 0.0;
    };
    PrintMp4Row("GUI thread (capture, cursor)", "", perFrame(r.mp4, r.mp4.threads.gui),
                perFrame(r.avi, r.avi.threads.gui));
    PrintMp4Row("writer thread (codec, file)", "", perFrame(r.mp4, r.mp4.threads.writer),
                perFrame(r.avi, r.avi.threads.writer));
    PrintMp4Row("wine server + Xvfb", "", perFrame(r.mp4, r.mp4.total.server + r.mp4.total.xvfb),
                perFrame(r.avi, r.avi.total.server + r.avi.total.xvfb));
    // An MP4 holds a frame the same as the one before as no new picture: its pictures in the
    // file count the frames that changed, and the slots captured are its fresh share.
    PrintMp4Row("pictures in the file (% of slots)", "", r.mp4.FreshPercent(),
                r.avi.FreshPercent());
    PrintMp4Row("slots captured (%)", "", r.mp4.CapturedPercent(), r.avi.CapturedPercent());
    // The rest of the slots were missed by the GUI thread (a late tick, a slow capture).
    PrintMp4Row("slots dropped, the writer busy (%)", "", r.mp4.DroppedPercent(),
                r.avi.DroppedPercent());
    PrintMp4Row("file, MB a minute", "", r.mp4.MbPerMinute(), r.avi.MbPerMinute());
    std::printf("   MP4 / lossless AVI: CPU %.2fx (with servers), file %.3fx\n",
                mp4.medianWithServers / avi.medianWithServers,
                r.avi.MbPerMinute() > 0 ? r.mp4.MbPerMinute() / r.avi.MbPerMinute() : 0.0);
  }
  std::printf(
      "   targets: MP4 at most 1.5x the bare copy at 10 fps; at 30 fps at least 99%% of the slots "
      "captured\n");
}

}  // namespace

// At each rate, back to back: the scene alone, the bare copy, the recording as MP4, then as our
// lossless AVI; then where an MP4 frame's time goes (and an AVI frame's) at the last rate.
void CompareMp4(const Servers& servers, const std::wstring& dir, const std::vector<int>& rates) {
  form2().CheckSound(orvik::SoundChoice::None);
  g_orvikCodec = true;
  std::vector<Mp4Round> rounds;
  for (int rate : rates) {
    g_rate = rate;
    Mp4Round r;
    r.rate = rate;
    r.scene = MeasureSceneAlone(servers, kRecordSeconds / 4);
    PrintSceneAlone(r.scene);
    r.bare = RecordBare(servers, kRecordSeconds / 2);
    PrintBare(r.bare);
    r.mp4 = RecordWithTheProgram(servers, dir + L"\\ours.mp4");
    PrintRecording(r.mp4);
    r.avi = RecordWithTheProgram(servers, dir + L"\\ours.avi");
    PrintRecording(r.avi);
    rounds.push_back(r);
  }
  PrintStages(MeasureStages(servers, dir, true));
  PrintStages(MeasureStages(servers, dir, false));
  PrintMp4Table(rounds);
}

}  // namespace capture_bench
