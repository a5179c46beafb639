// capture_bench: what one full-screen recording costs, measured on the real program in this
// process. This runner reads the options, starts the scene, finds the servers and runs one
// scenario (scenarios.h, a file each); the measuring they share is in measure.h, usage.h,
// recording.h and baselines.h.
// Options: capture_bench [rate] [raw|orvik] [scene.exe] [sound|clicks|keys|face|follow|mp4]: the
// fps (10), the codec of our recording ("Full Frames", or our lossless one, which ffmpeg then
// meets with libx264rgb lossless and its zmbv encoder instead of raw video), a program to show on
// the display first (the demo scene: text, a clock, moving shapes; or the bench's own,
// OrvikVideoScene: text beside a 640x360 video playing; "still": none, the empty desktop where
// nothing moves), and the scenario: without a fourth
// option, the recording beside the floor and ffmpeg (floor_and_ffmpeg.cpp); with "sound",
// "clicks", "keys", "face" or "follow", the recording made two ways back to back (sound.cpp and
// the others named so); with "mp4", whose rates are then the first option's list ("10,30"),
// MP4 beside our lossless AVI (mp4.cpp). Figures only; nothing is asserted. Under Wine the
// process CPU comes from /proc in 10 ms steps, which is why per-frame figures are taken over
// whole seconds.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "frame/form1.h"
#include "frame/forms.h"
#include "measure.h"
#include "recording.h"
#include "scenarios.h"
#include "support/unix_tools.h"
#include "toolkit/app.h"
#include "toolkit/handles.h"

namespace capture_bench {
namespace {

using testsupport::RunShell;
using testsupport::UnixPath;

std::string FreeSpace(const std::wstring& folder) {
  std::string out;
  RunShell("df -h /tmp " + Quote(UnixPath(folder)) + " | tail -n +2", &out);
  return out;
}

// "10,30": the rates, in order.
std::vector<int> RatesOf(const std::string& list) {
  std::vector<int> rates;
  std::istringstream parts(list);
  std::string part;
  while (std::getline(parts, part, ','))
    if (std::atoi(part.c_str()) > 0) rates.push_back(std::atoi(part.c_str()));
  return rates;
}

// The program shown on the display first, ended (and its handles closed) however the run ends.
struct Scene {
  tk::UniqueHandle process, thread;
  ~Scene() {
    if (process) TerminateProcess(process.get(), 0);
  }
};

void StartScene(const char* exe, Scene* scene) {
  PROCESS_INFORMATION started{};
  std::wstring cmd = L"\"" + testsupport::Wide(exe) + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &started))
    return;
  scene->process.reset(started.hProcess);
  scene->thread.reset(started.hThread);
  // Once its message loop waits, the scene has made what it shows.
  WaitForInputIdle(started.hProcess, 30000);
  Sleep(1000);
}

void PrintServers(const Servers& servers) {
  std::printf(
      "   pids: wine server %s (%s), Xvfb %s (%s), this process %s (%s), the scene %s (%s)\n",
      servers.wineserver.c_str(), Comm(servers.wineserver).c_str(), servers.xvfb.c_str(),
      Comm(servers.xvfb).c_str(), servers.self.c_str(), Comm(servers.self).c_str(),
      servers.scene.c_str(), Comm(servers.scene).c_str());
}

// The scenario the fourth option names; the comparison with the floor and ffmpeg without one.
void RunScenario(int argc, char** argv, const Servers& servers, const std::wstring& dir) {
  if (argc > 4 && std::string(argv[4]) == "sound") {
    CompareSound(servers, dir);
  } else if (argc > 4 && std::string(argv[4]) == "clicks") {
    CompareClicks(servers, dir);
  } else if (argc > 4 && std::string(argv[4]) == "follow") {
    CompareFollow(servers, dir);
  } else if (argc > 4 && std::string(argv[4]) == "keys") {
    CompareKeys(servers, dir);
  } else if (argc > 4 && std::string(argv[4]) == "face") {
    CompareFace(servers, dir);
  } else if (argc > 4 && std::string(argv[4]) == "mp4") {
    CompareMp4(servers, dir, RatesOf(argv[1]));
  } else {
    CompareWithTheFloorAndFfmpeg(servers, dir);
  }
}

}  // namespace

int Run(int argc, char** argv) {
  tk::SetAppTitle(L"Orvik");
  if (argc > 1) g_rate = std::max(1, std::atoi(argv[1]));
  if (argc > 2) g_orvikCodec = std::string(argv[2]) == "orvik";
  Scene scene;
  // "still": no scene, the empty desktop, where nothing moves.
  const bool sceneGiven = argc > 3 && std::string(argv[3]) != "still";
  if (sceneGiven) StartScene(argv[3], &scene);
  const std::wstring dir = testsupport::MakeTempDir(L"capture-bench");
  std::printf("capture_bench: a full-screen recording of the program beside ffmpeg x11grab\n");
  std::printf("   free space (/tmp, then the folder the files go to):\n%s", FreeSpace(dir).c_str());
  const Servers servers = FindServers(sceneGiven ? argv[3] : "");
  PrintServers(servers);
  std::printf("   load average before: %s\n", Trim(ReadUnixFile("/proc/loadavg")).c_str());
  if (!form1().Create()) {
    std::printf("capture_bench: the frame window could not be created\n");
    return 1;
  }
  PumpUntil(Now() + 0.5);

  RunScenario(argc, argv, servers, dir);
  std::printf("   load average after: %s (other work on the machine shows in every figure)\n",
              Trim(ReadUnixFile("/proc/loadavg")).c_str());
  form1().Unload();
  testsupport::RemoveTree(dir);
  return 0;
}

}  // namespace capture_bench

int main(int argc, char** argv) { return capture_bench::Run(argc, argv); }
