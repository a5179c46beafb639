#include "baselines.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "frame/form1.h"
#include "frame/forms.h"
#include "support/unix_tools.h"
#include "toolkit/files.h"
#include "toolkit/handles.h"

namespace capture_bench {

using testsupport::RunShell;
using testsupport::UnixPath;

namespace {

// The second line of `times`: the children's user and system time ("0m1.23s 0m0.45s").
double ChildrenTimes(const std::string& out) {
  std::istringstream lines(out);
  std::string line, last;
  while (std::getline(lines, line))
    if (!Trim(line).empty()) last = line;
  int um = 0, sm = 0;
  double us = 0, ss = 0;
  if (std::sscanf(last.c_str(), "%dm%lfs %dm%lfs", &um, &us, &sm, &ss) != 4) return -1;
  return um * 60 + us + sm * 60 + ss;
}

}  // namespace

Ffmpeg RecordWithFfmpeg(const Servers& servers, const std::wstring& avi, int rate, double seconds,
                        const std::string& codec) {
  Ffmpeg f;
  f.rate = rate;
  f.seconds = seconds;
  wchar_t display[64] = {};
  GetEnvironmentVariableW(L"DISPLAY", display, 64);
  char size[32];
  std::snprintf(size, sizeof size, "%dx%d", form1().aviwidth, form1().aviheight);
  const std::string command = "ffmpeg -nostdin -v error -y -f x11grab -video_size " +
                              std::string(size) + " -framerate " + std::to_string(rate) + " -i " +
                              Quote(testsupport::Utf8(display)) + " -t " + std::to_string(seconds) +
                              " " + codec + " " + Quote(UnixPath(avi)) + "; rc=$?; times; exit $rc";
  std::string out;
  const Cpu before = ReadCpu(servers);
  const double t0 = Now();
  const int rc = RunShell(command, &out, 180000);
  f.wall = Now() - t0;
  f.servers = ReadCpu(servers) - before;
  f.cpu = ChildrenTimes(out);
  if (rc != 0 || f.cpu < 0) {
    std::printf("   ffmpeg at %d fps failed (exit %d): %s\n", rate, rc, out.c_str());
  } else {
    f.packets = ProbePackets(avi, rate);
    f.ok = f.packets.nonEmpty > 0;
    f.codec = codec;
    f.fileBytes = tk::FileLength(avi).value_or(0);
  }
  tk::RemoveFile(avi);
  return f;
}

void PrintFfmpeg(const Ffmpeg& f) {
  if (!f.ok) return;
  const long frames = f.packets.nonEmpty;
  std::printf(
      "   ffmpeg %s %2d fps, %.0f s: %ld frames (%ld packets, %.1f%% of %ld asked), wall %.1f s, "
      "CPU %.2f s = %.2f ms/frame; Xvfb %.2f s = %.2f ms/frame; wine server %.2f s; "
      "file %.1f MB = %.1f MB a minute\n",
      f.codec.c_str(), f.rate, f.seconds, frames, f.packets.listed,
      100.0 * frames / (f.rate * f.seconds), static_cast<long>(f.rate * f.seconds), f.wall, f.cpu,
      f.cpu * 1000 / frames, f.servers.xvfb, f.servers.xvfb * 1000 / frames, f.servers.server,
      f.fileBytes / 1e6, f.fileBytes / 1e6 * 60 / f.seconds);
}

SceneAlone MeasureSceneAlone(const Servers& servers, double seconds) {
  SceneAlone a;
  const Cpu before = ReadCpu(servers);
  const double t0 = Now();
  PumpUntil(t0 + seconds);
  a.seconds = Now() - t0;
  a.used = ReadCpu(servers) - before;
  return a;
}

void PrintSceneAlone(const SceneAlone& a) {
  std::printf(
      "\n0. The scene alone, nothing recording, %.0f s: CPU a second: wine server %.0f ms, Xvfb "
      "%.0f ms, the scene's own process %.0f ms, this process %.0f ms\n"
      "   the servers' share in one frame's time at %d fps: %.2f ms\n",
      a.seconds, a.PerSecondMs(a.used.server), a.PerSecondMs(a.used.xvfb),
      a.PerSecondMs(a.used.scene), a.PerSecondMs(a.used.process), g_rate, a.ServersPerFrameMs());
}

Bare RecordBare(const Servers& servers, double seconds) {
  Bare b;
  const orvik::Form1& f = form1();
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = f.aviwidth;
  bi.bmiHeader.biHeight = f.aviheight;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  tk::UniqueBitmap dib(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  tk::UniqueMemDc dc(CreateCompatibleDC(nullptr));
  if (!dib || !dc) return b;
  tk::SelectGuard select(dc.get(), dib.get());
  tk::WindowDc screen(nullptr);
  const Cpu before = ReadCpu(servers);
  const double t0 = Now();
  for (int slot = 0; slot < static_cast<int>(seconds * g_rate); ++slot) {
    const double due = t0 + static_cast<double>(slot) / g_rate;
    const double wait = due - Now();
    if (wait > 0) Sleep(static_cast<DWORD>(wait * 1000));
    BitBlt(dc.get(), 0, 0, f.aviwidth, f.aviheight, screen.get(), 0, 0, SRCCOPY);
    GdiFlush();
    ++b.frames;
  }
  b.seconds = Now() - t0;
  b.used = ReadCpu(servers) - before;
  return b;
}

void PrintBare(const Bare& b) {
  std::printf(
      "\n0. The floor: a bare BitBlt of the screen into a DIB section at %d fps, %.0f s\n"
      "   %d frames; CPU per frame: process %.2f ms, wine server %.2f ms, Xvfb %.2f ms, "
      "together %.2f ms\n",
      g_rate, b.seconds, b.frames, b.PerFrameMs(), b.used.server * 1000 / std::max(b.frames, 1),
      b.used.xvfb * 1000 / std::max(b.frames, 1), b.PerFrameWithServersMs());
}

}  // namespace capture_bench
