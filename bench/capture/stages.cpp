#include "stages.h"

#include <windows.h>

#include <vfw.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "codec/zmbv_driver.h"
#include "frame/form1.h"
#include "frame/forms.h"
#include "recorder/capture/screen_capture.h"
#include "recorder/encode/aac_encoder.h"
#include "recorder/encode/h264_encoder.h"
#include "recorder/encode/vcm_compressor.h"
#include "recorder/file/avi_container.h"
#include "recorder/file/mp4_container.h"
#include "recorder/file/windows_disk.h"
#include "recorder/marks/pointer_marks.h"
#include "recorder/output/frame_surfaces.h"
#include "recorder/session/recording_clock.h"
#include "recording.h"
#include "toolkit/files.h"
#include "toolkit/handles.h"
#include "toolkit/timer.h"

#ifdef ORVIK_HAVE_CODEC_DEPS
#include "recorder/encode/bgra_to_i420.h"
#endif

namespace capture_bench {
namespace {

constexpr int kStageFrames = 200;

// How many frames the writer takes between two commits (one every 0.4 s).
int FramesPerCommit() { return std::max(1, static_cast<int>(std::lround(0.4 * g_rate))); }

// The file format's codec and container, as a recording of `format` at the bench's rate opens
// them; null when this build has no encoder for it.
std::unique_ptr<orvik::FrameEncoder> StageEncoder(bool mp4, const std::vector<uint8_t>& format) {
  if (mp4) return orvik::MakeH264Encoder(format, g_rate);
  orvik::CodecSettings settings;
  settings.handler = g_orvikCodec ? orvik::zmbv::kZmbvFourCC : mmioFOURCC('D', 'I', 'B', ' ');
  return orvik::MakeFrameEncoder(settings, format, g_rate);
}

std::unique_ptr<orvik::ContainerWriter> StageContainer(bool mp4) {
  if (mp4)
    return std::make_unique<orvik::Mp4Container>(orvik::MakeAacEncoder(), mp4::RecordingId{});
  return std::make_unique<orvik::AviContainer>();
}

// An MP4's codec converts each frame to I420 first: that conversion alone, on its own converter.
class ConversionAlone {
 public:
  bool Open(int width, int height) {
#ifdef ORVIK_HAVE_CODEC_DEPS
    return converter_.Open(width, height);
#else
    return width > 0 && height > 0;
#endif
  }
  void Convert(const uint8_t* bits) {
#ifdef ORVIK_HAVE_CODEC_DEPS
    converter_.Convert(bits);
#else
    (void)bits;
#endif
  }

 private:
#ifdef ORVIK_HAVE_CODEC_DEPS
  orvik::BgraToI420 converter_;
#endif
};

void PrintStage(const char* name, const Stage& st, int callsPerFrame = 1) {
  if (st.ms.empty()) return;
  std::printf("   %-44s %6.2f %6.2f %6.2f   %6.2f\n", name, Median(st.ms), Mean(st.ms),
              Percentile(st.ms, 0.95), st.CpuPerCallMs() / callsPerFrame);
}

}  // namespace

Stages MeasureStages(const Servers& servers, const std::wstring& dir, bool mp4) {
  Stages st;
  st.mp4 = mp4;
  orvik::Form1& f = form1();
  BITMAPINFOHEADER bi{};
  bi.biSize = sizeof bi;
  bi.biWidth = f.aviwidth;
  bi.biHeight = f.aviheight;
  bi.biPlanes = 1;
  bi.biBitCount = 32;
  bi.biSizeImage = static_cast<DWORD>(f.aviwidth * f.aviheight * 4);
  const std::vector<uint8_t> format(reinterpret_cast<uint8_t*>(&bi),
                                    reinterpret_cast<uint8_t*>(&bi) + sizeof bi);
  orvik::FrameSurfaces surfaces;
  const auto codec = StageEncoder(mp4, format);
  ConversionAlone converter;
  if (!surfaces.Create(format, bi.biSizeImage, 1) || !codec || !codec->Open() ||
      (mp4 && !converter.Open(f.aviwidth, f.aviheight)))
    return st;
  const std::wstring path = dir + (mp4 ? L"\\stages.mp4" : L"\\stages.avi");
  orvik::WindowsDisk file(path);
  const auto writer = StageContainer(mp4);
  if (!file.Create() || !writer->Open(file, codec->Video(), g_rate, false) || !file.TakeName())
    return st;
  uint8_t* bits = surfaces.Bits()[0];
  HDC dc = surfaces.DcOf(bits);
  tk::WindowDc screen(nullptr);
  orvik::CursorPainter cursor;
  const orvik::CaptureArea area{0, 0, f.aviwidth, f.aviheight};
  const int perCommit = FramesPerCommit();
  const Cpu before = ReadCpu(servers);
  for (int i = 0; i < kStageFrames; ++i) {
    const double t0 = Now();
    st.capture.Begin();
    orvik::CaptureScreen(dc, screen.get(), area);
    GdiFlush();
    st.capture.End();
    st.cursor.Begin();
    cursor.Draw(dc, area);
    GdiFlush();
    st.cursor.End();
    if (mp4) {
      st.convert.Begin();
      converter.Convert(bits);
      st.convert.End();
    }
    orvik::EncodedFrame encoded;
    st.compress.Begin();
    codec->Encode(bits, surfaces.HaveRoom(), &encoded);
    st.compress.End();
    st.write.Begin();
    writer->WriteFrame(static_cast<orvik::Slot>(i), encoded);
    st.write.End();
    if (i % perCommit == perCommit - 1) {
      st.commit.Begin();
      writer->Commit();
      st.commit.End();
    }
    st.total.push_back((Now() - t0) * 1000);
  }
  const Cpu used = ReadCpu(servers) - before;
  st.cpuPerFrame = used.process * 1000 / kStageFrames;
  st.serverPerFrame = used.server * 1000 / kStageFrames;
  st.xvfbPerFrame = used.xvfb * 1000 / kStageFrames;
  writer->Close();
  file.Close();
  tk::RemoveFile(path);
  return st;
}

void PrintStages(const Stages& st) {
  std::printf(
      "\n3. Where a frame's time goes: %d frames of the live screen through the pieces "
      "of a recording, one after the other (%s, %d fps)\n",
      kStageFrames, CodecName(st.mp4), g_rate);
  if (st.total.empty()) {
    std::printf("   could not set the pieces up\n");
    return;
  }
  std::printf("   %-44s %6s %6s %6s   %6s\n", "(ms)", "median", "mean", "p95", "CPU a frame");
  PrintStage("GUI thread: BitBlt into the writer's buffer", st.capture);
  PrintStage("GUI thread: cursor (GetCursorInfo, DrawIconEx)", st.cursor);
  PrintStage("writer: BGRA to I420 alone (libyuv)", st.convert);
  PrintStage(st.mp4 ? "writer: codec (I420 again + openh264)" : "writer: codec", st.compress);
  PrintStage(st.mp4 ? "writer: the sample's write (to memory)" : "writer: the chunk's write",
             st.write);
  const int perCommit = FramesPerCommit();
  std::printf("   %-44s %6.2f %6.2f %6.2f   %6.2f   (every %d frames)\n",
              st.mp4 ? "writer: commit, a fragment and two flushes" : "writer: commit, two flushes",
              Median(st.commit.ms), Mean(st.commit.ms), Percentile(st.commit.ms, 0.95),
              st.commit.CpuPerCallMs() / perCommit, perCommit);
  std::printf("   %-44s %6.2f %6.2f %6.2f\n", "whole frame", Median(st.total), Mean(st.total),
              Percentile(st.total, 0.95));
  std::printf(
      "   CPU per frame over the loop: process %.2f ms, wine server %.2f ms, Xvfb %.2f ms\n",
      st.cpuPerFrame, st.serverPerFrame, st.xvfbPerFrame);
}

IdleTicks MeasureIdleTicks(const Servers& servers) {
  IdleTicks r;
  orvik::RecordingClock clock;
  clock.Start(Now());
  clock.ClaimSlot(Now());
  tk::Timer timer;
  timer.onTimer = [&] {
    ++r.ticks;
    clock.ClaimSlot(clock.StartedAt());  // always a slot already written
  };
  const Cpu before = ReadCpu(servers);
  const double t0 = Now();
  timer.SetInterval(1);
  PumpUntil(t0 + 3);
  timer.SetInterval(0);
  r.seconds = Now() - t0;
  r.used = ReadCpu(servers) - before;
  return r;
}

void PrintIdleTicks(const IdleTicks& t) {
  std::printf("\n4. The 1 ms timer with nothing to capture, %.1f s\n", t.seconds);
  std::printf(
      "   %ld ticks = %.0f a second; CPU a second: process %.0f ms, wine server %.0f ms, "
      "Xvfb %.0f ms (%.1f us of process CPU a tick)\n",
      t.ticks, t.ticks / t.seconds, t.used.process * 1000 / t.seconds,
      t.used.server * 1000 / t.seconds, t.used.xvfb * 1000 / t.seconds,
      t.ticks ? t.used.process * 1e6 / t.ticks : 0.0);
}
}  // namespace capture_bench
