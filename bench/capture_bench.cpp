// What one full-screen recording costs, measured on the real program in this process:
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
//   3. where a frame's time goes: the pieces of a recording (the copy into the writer's
//      buffer, the cursor, the codec, the write, the commits) made one by one in a loop;
//   4. what the 1 ms timer costs while no slot is due.
// Options: capture_bench [rate] [raw|orvik] [scene.exe] [sound|clicks|keys|face|mp4]: the fps
// (10), the codec of our recording ("Full Frames", or our lossless one, which ffmpeg then meets
// with libx264rgb lossless and its zmbv encoder instead of raw video), a program to show on the
// display first (the demo scene: text, a clock, moving shapes; or the bench's own, OrvikVideoScene:
// text beside a 640x360 video playing), and with "sound" instead of all else: the recording without
// sound and with the system's sound and the microphone, back to back; with "clicks", the recording
// with 显示点击 off and on while the left button is clicked four times a second; with "keys", with
// 显示按键 off and on while a shortcut is pressed twice a second; with "mp4", at
// each of the rates given as "10,30": the scene alone, the bare copy, the recording as MP4 (H.264)
// and as our lossless AVI, then where an MP4 frame's time goes, and a table of CPU per frame, fresh
// slots and size a minute side by side. Figures only; nothing is asserted. Under Wine the process
// CPU comes from /proc in 10 ms steps, which is why per-frame figures are taken over whole seconds.
// With "follow" as the fourth option: an 800 x 450 part of the scene's window recorded as a plain
// area and as a followed window, while the bench moves the window every second.
#include <windows.h>
#include <commdlg.h>

#include <psapi.h>
#include <tlhelp32.h>
#include <vfw.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "codec/zmbv_driver.h"
#include "frame/form1.h"
#include "frame/forms.h"
#include "panel/form2.h"
#include "recorder/capture/followed_window.h"
#include "recorder/capture/screen_capture.h"
#include "recorder/encode/aac_encoder.h"
#include "recorder/encode/h264_encoder.h"
#include "recorder/encode/vcm_compressor.h"
#include "recorder/file/avi_container.h"
#include "recorder/file/mp4_container.h"
#include "recorder/file/windows_disk.h"
#include "recorder/marks/key_caption_painter.h"
#include "recorder/marks/pointer_marks.h"
#include "recorder/output/avidecs.h"
#include "recorder/output/frame_queue.h"
#include "recorder/output/frame_surfaces.h"
#include "recorder/session/recording_clock.h"
#include "settings/remembered_choices.h"
#include "support/codec_dialog.h"
#include "support/dialogs.h"
#include "support/unix_tools.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/handles.h"
#include "toolkit/screen.h"
#include "toolkit/timer.h"
#include "toolkit/window_testing.h"

#ifdef ORVIK_HAVE_CODEC_DEPS
#include "recorder/encode/bgra_to_i420.h"
#endif

namespace {

using testsupport::RunShell;
using testsupport::UnixPath;

constexpr double kRecordSeconds = 20;
int g_rate = 10;
bool g_orvikCodec = false;
constexpr double kFfmpeg60Seconds = 10;  // 60 fps raw fills the disk six times as fast
constexpr int kStageFrames = 200;
constexpr int kFileNameBox = 0x47c;
// The main window restored (not minimized) while the program records: its face counts along.
bool g_restoredDuringRecording = false;

double Now() { return tk::MonotonicSeconds(); }

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Mean(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x;
  return v.empty() ? 0 : s / v.size();
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * (v.size() - 1))];
}

// ---- CPU of this process and of the two servers it leans on ----

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& f) {
    return (static_cast<uint64_t>(f.dwHighDateTime) << 32 | f.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

// Reads a Unix file (here under /proc) through Wine's "\\?\unix" names: no shell is
// started, so sampling every second disturbs nothing. /proc files report a length of 0,
// hence the read loop. Wine's server opens files for its clients, so /proc/self read this
// way is the wine server itself.
std::string ReadUnixFile(const std::string& unixPath) {
  std::wstring path = L"\\\\?\\unix" + testsupport::Wide(unixPath);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  tk::UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
  std::string out;
  if (!f) return out;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(f.get(), buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
  return out;
}

// utime + stime of a Unix process (all its threads), in clock ticks; -1 when unreadable.
long long ProcTicks(const std::string& pid) {
  if (pid.empty()) return -1;
  const std::string stat = ReadUnixFile("/proc/" + pid + "/stat");
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 0; i < 13 && fields >> field; ++i) {
    if (i == 11) utime = std::atoll(field.c_str());
    if (i == 12) stime = std::atoll(field.c_str());
  }
  return utime + stime;
}

std::string Comm(const std::string& pid) {
  return pid.empty() ? std::string() : Trim(ReadUnixFile("/proc/" + pid + "/comm"));
}

std::string EnvironmentUtf8(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD n = GetEnvironmentVariableW(name, value, 1024);
  return n > 0 && n < 1024 ? testsupport::Utf8(value) : std::string();
}

struct Servers {
  std::string wineserver, xvfb, self, scene;
  double tick = 0.01;  // seconds per clock tick
};

// The Unix process running the executable `name` in this Wine prefix, found by its process
// name (the executable's, cut to 15 characters): a command line may name another program.
std::string UnixPidOf(const std::string& name) {
  std::string out;
  RunShell("for p in $(pgrep -x " + Quote(name.substr(0, 15)) +
               "); do case $(readlink /proc/$p/exe) in " +
               "*wine*) tr '\\0' '\\n' </proc/$p/environ | grep -qxF " +
               Quote("WINEPREFIX=" + EnvironmentUtf8(L"WINEPREFIX")) + " && echo $p;; esac; done",
           &out);
  return Trim(out.substr(0, out.find('\n')));
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

Servers FindServers(const std::string& sceneExe) {
  Servers s;
  std::string out;
  if (RunShell("getconf CLK_TCK", &out) == 0 && std::atoi(out.c_str()) > 0)
    s.tick = 1.0 / std::atoi(out.c_str());
  const std::string opener = ReadUnixFile("/proc/self/stat");
  const std::string openerPid = opener.substr(0, opener.find(' '));
  if (Comm(openerPid).find("wineserver") != std::string::npos) s.wineserver = openerPid;
  const std::string prefix = EnvironmentUtf8(L"WINEPREFIX");
  if (s.wineserver.empty() && !prefix.empty()) {
    // The server of a prefix works in a folder named after the prefix's device and inode.
    RunShell("d=$(stat -c %D " + Quote(prefix) + "); i=$(printf %x $(stat -c %i " + Quote(prefix) +
                 ")); for p in $(pgrep wineserver); do case $(readlink /proc/$p/cwd) in "
                 "*/server-$d-$i) echo $p;; esac; done",
             &out);
    s.wineserver = Trim(out.substr(0, out.find('\n')));
  }
  RunShell("pgrep -f " + Quote("^(/usr/bin/)?Xvfb " + EnvironmentUtf8(L"DISPLAY") + "( |$)"), &out);
  s.xvfb = Trim(out.substr(0, out.find('\n')));
  // This process as the system sees it, to check GetProcessTimes against.
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  s.self = UnixPidOf(BaseName(testsupport::Utf8(exe)));
  if (!sceneExe.empty()) s.scene = UnixPidOf(BaseName(sceneExe));
  return s;
}

// CPU seconds so far of everything a frame costs.
struct Cpu {
  double process = 0;  // GetProcessTimes
  double self = 0;     // /proc of this process
  double server = 0;   // the wine server
  double xvfb = 0;     // the X server
  double scene = 0;    // the program shown on the display
  Cpu operator-(const Cpu& o) const {
    return {process - o.process, self - o.self, server - o.server, xvfb - o.xvfb, scene - o.scene};
  }
};

Cpu ReadCpu(const Servers& s) {
  Cpu c;
  c.process = ProcessCpuSeconds();
  c.self = ProcTicks(s.self) * s.tick;
  c.server = ProcTicks(s.wineserver) * s.tick;
  c.xvfb = ProcTicks(s.xvfb) * s.tick;
  c.scene = s.scene.empty() ? 0 : ProcTicks(s.scene) * s.tick;
  return c;
}

// ---- CPU of each thread of this process ----

// CPU seconds so far of every thread of this process, by id. Under Wine GetThreadTimes reads
// /proc/<pid>/task/<tid>/stat, in steps of a clock tick.
using ThreadCpu = std::map<DWORD, double>;

ThreadCpu ReadThreadCpu() {
  ThreadCpu cpu;
  // A failed snapshot is INVALID_HANDLE_VALUE, as a failed file is.
  tk::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return cpu;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
    tk::UniqueHandle thread(
        OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID));
    FILETIME created, exited, kernel, user;
    if (!thread || !GetThreadTimes(thread.get(), &created, &exited, &kernel, &user)) continue;
    auto seconds = [](const FILETIME& f) {
      return (static_cast<uint64_t>(f.dwHighDateTime) << 32 | f.dwLowDateTime) / 1e7;
    };
    cpu[entry.th32ThreadID] = seconds(kernel) + seconds(user);
  }
  return cpu;
}

// What each thread of `a` used since `b`; a thread that ended in between is not counted.
ThreadCpu operator-(const ThreadCpu& a, const ThreadCpu& b) {
  ThreadCpu d = a;
  for (const auto& [id, seconds] : b)
    if (auto it = d.find(id); it != d.end()) it->second -= seconds;
  return d;
}

// A recording's CPU by thread: the GUI thread (the capture), the busiest other one (the
// writer: its codec and file), and the rest (Wine's own threads, the press hook's).
struct ThreadSplit {
  double gui = 0, writer = 0, rest = 0;
};

ThreadSplit SplitByThread(const ThreadCpu& used) {
  ThreadSplit split;
  for (const auto& [id, seconds] : used) {
    if (id == GetCurrentThreadId()) {
      split.gui = seconds;
    } else if (seconds > split.writer) {
      split.rest += split.writer;
      split.writer = seconds;
    } else {
      split.rest += seconds;
    }
  }
  return split;
}

// ---- memory and handles ----

// Committed private memory, summed over the address space: Wine's process counters leave
// the private-bytes figure at 0.
double PrivateMb() {
  uint64_t bytes = 0;
  MEMORY_BASIC_INFORMATION info;
  for (auto* at = static_cast<uint8_t*>(nullptr);
       VirtualQuery(at, &info, sizeof info) == sizeof info;
       at = static_cast<uint8_t*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) bytes += info.RegionSize;
    if (info.RegionSize == 0) break;
  }
  return bytes / 1048576.0;
}

// This process's entries in the system handle table; GetProcessHandleCount answers 0 under
// Wine. -1 when the table cannot be read.
long HandlesInTable() {
  struct Entry {
    USHORT process, backTrace;
    UCHAR type, attributes;
    USHORT value;
    PVOID object;
    ULONG access;
  };
  struct Table {
    ULONG count;
    Entry entries[1];
  };
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  static const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  constexpr ULONG kSystemHandleInformation = 16;
  constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<uint8_t> buffer(1 << 20);
  LONG status;
  ULONG needed = 0;
  while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                         &needed)) == kLengthMismatch &&
         buffer.size() < (256u << 20))
    buffer.resize(std::max<size_t>(buffer.size() * 2, needed));
  if (status != 0) return -1;
  const auto* table = reinterpret_cast<const Table*>(buffer.data());
  const auto me = static_cast<USHORT>(GetCurrentProcessId());
  long mine = 0;
  for (ULONG i = 0; i < table->count; ++i) mine += table->entries[i].process == me ? 1 : 0;
  return mine;
}

struct Usage {
  double workingSetMb = 0, privateMb = 0;
  DWORD handleCount = 0, gdiCounted = 0;
  long handles = 0;
};

Usage ReadUsage() {
  Usage u;
  PROCESS_MEMORY_COUNTERS mem{};
  if (GetProcessMemoryInfo(GetCurrentProcess(), &mem, sizeof mem))
    u.workingSetMb = mem.WorkingSetSize / 1048576.0;
  u.privateMb = PrivateMb();
  GetProcessHandleCount(GetCurrentProcess(), &u.handleCount);
  u.handles = HandlesInTable();
  u.gdiCounted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  return u;
}

// Lets the program's messages (its timer ticks among them) run until `deadline`.
void PumpUntil(double deadline) {
  for (;;) {
    tk::DoEvents();
    const double left = deadline - Now();
    if (left <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left * 1000) + 1, QS_ALLINPUT);
  }
}

// ---- ffprobe ----

// A file's video packets; their times as slots of the recording's rate (an AVI's frame numbers,
// an MP4's 1/90000 s ticks).
struct Packets {
  long listed = 0, nonEmpty = 0, lastPts = -1;
  std::vector<long> nonEmptyPts;
};

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

std::string FreeSpace(const std::wstring& folder) {
  std::string out;
  RunShell("df -h /tmp " + Quote(UnixPath(folder)) + " | tail -n +2", &out);
  return out;
}

// ---- 1. the program's own recording ----

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

const char* CodecName(bool mp4) {
  return mp4 ? "MP4, H.264" : g_orvikCodec ? "our lossless codec" : "Full Frames";
}

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

// Per-frame CPU of the recording: median over whole seconds of (CPU in that second / frames
// in that second), without and with the two servers' shares.
struct PerFrame {
  double median = 0, medianWithServers = 0, overall = 0, overallWithServers = 0;
};

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

// ---- 2. ffmpeg on the same display ----

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

Ffmpeg RecordWithFfmpeg(const Servers& servers, const std::wstring& avi, int rate, double seconds,
                        const std::string& codec = "-c:v rawvideo") {
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

// ---- 0. the scene alone, and the floor: a bare screen copy at the same rate ----

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

// The pieces a recording's frame goes through, one after the other on this thread, on the
// live screen: the copy into one of the writer's frame buffers, the cursor, for an MP4 the
// conversion to I420 alone, the codec, the frame's write, and the commits (every 0.4 s of
// frames, counted per frame).
Stages MeasureStages(const Servers& servers, const std::wstring& dir, bool mp4 = false) {
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

void PrintStage(const char* name, const Stage& st, int callsPerFrame = 1) {
  if (st.ms.empty()) return;
  std::printf("   %-44s %6.2f %6.2f %6.2f   %6.2f\n", name, Median(st.ms), Mean(st.ms),
              Percentile(st.ms, 0.95), st.CpuPerCallMs() / callsPerFrame);
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
  PrintStage("writer: BGRA to I420 alone (libswscale)", st.convert);
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

// ---- 4. the 1 ms timer while no slot is due ----

struct IdleTicks {
  double seconds = 0;
  long ticks = 0;
  Cpu used;
};

// The recording's timer asks for a tick every millisecond; between two frames every tick
// finds its slot taken and returns. This runs the same timer with the same slot check.
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

// ---- summary ----

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

void CompareWithTheFloorAndFfmpeg(const Servers& servers, const std::wstring& dir);
void CompareSound(const Servers& servers, const std::wstring& dir);
void CompareClicks(const Servers& servers, const std::wstring& dir);
void CompareKeys(const Servers& servers, const std::wstring& dir);
void CompareFace(const Servers& servers, const std::wstring& dir);
void CompareFollow(const Servers& servers, const std::wstring& dir);
void CompareMp4(const Servers& servers, const std::wstring& dir, const std::vector<int>& rates);

// "10,30": the rates, in order.
std::vector<int> RatesOf(const std::string& list) {
  std::vector<int> rates;
  std::istringstream parts(list);
  std::string part;
  while (std::getline(parts, part, ','))
    if (std::atoi(part.c_str()) > 0) rates.push_back(std::atoi(part.c_str()));
  return rates;
}

}  // namespace

int main(int argc, char** argv) {
  tk::SetAppTitle(L"Orvik");
  if (argc > 1) g_rate = std::max(1, std::atoi(argv[1]));
  if (argc > 2) g_orvikCodec = std::string(argv[2]) == "orvik";
  PROCESS_INFORMATION scene{};
  if (argc > 3) {
    std::wstring cmd = L"\"" + testsupport::Wide(argv[3]) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    // Once its message loop waits, the scene has made what it shows.
    if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &scene)) {
      WaitForInputIdle(scene.hProcess, 30000);
      Sleep(1000);
    }
  }
  const std::wstring dir = testsupport::MakeTempDir(L"capture-bench");
  std::printf("capture_bench: a full-screen recording of the program beside ffmpeg x11grab\n");
  std::printf("   free space (/tmp, then the folder the files go to):\n%s", FreeSpace(dir).c_str());
  const Servers servers = FindServers(argc > 3 ? argv[3] : "");
  std::printf(
      "   pids: wine server %s (%s), Xvfb %s (%s), this process %s (%s), the scene %s (%s)\n",
      servers.wineserver.c_str(), Comm(servers.wineserver).c_str(), servers.xvfb.c_str(),
      Comm(servers.xvfb).c_str(), servers.self.c_str(), Comm(servers.self).c_str(),
      servers.scene.c_str(), Comm(servers.scene).c_str());
  std::printf("   load average before: %s\n", Trim(ReadUnixFile("/proc/loadavg")).c_str());
  if (!form1().Create()) {
    std::printf("capture_bench: the frame window could not be created\n");
    return 1;
  }
  PumpUntil(Now() + 0.5);

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
  std::printf("   load average after: %s (other work on the machine shows in every figure)\n",
              Trim(ReadUnixFile("/proc/loadavg")).c_str());
  form1().Unload();
  if (scene.hProcess) {
    TerminateProcess(scene.hProcess, 0);
    CloseHandle(scene.hProcess);
    CloseHandle(scene.hThread);
  }
  testsupport::RemoveTree(dir);
  return 0;
}

namespace {

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

// One recording made two ways back to back (`set(0)`, then `set(1)`; `set(0)` again after).
struct BothWays {
  bool ok = false;
  PerFrame perFrame[2];
  double mbPerMinute[2] = {0, 0};
};

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

// The same recording without sound and with the system's sound and the microphone (a tone
// playing into each), back to back: what sound costs a frame, and a minute of file.
void CompareSound(const Servers& servers, const std::wstring& dir) {
  // The speakers' monitor is this Wine's system sound (it refuses loopback); tones play into the
  // speakers and the microphone for both recordings.
  orvik::ProgramSettings().WriteText(L"SystemSoundDevice", L"Monitor of Speakers");
  RunShell(
      "bash -c '. \"$ORVIK_PULSE_ENV\" && orvik_pulse_play speakers tone 1000 120 0.3 && "
      "orvik_pulse_play micsink tone 440 120 0.3'",
      nullptr);
  const orvik::SoundChoice choices[2] = {orvik::SoundChoice::None, orvik::SoundChoice::Both};
  const BothWays both =
      RecordBothWays(servers, dir + L"\\sound.avi", [&](int i) { form2().CheckSound(choices[i]); });
  PrintBothWays("Sound", "without sound", "with the system's sound and the microphone", both, 1.0);
  std::printf("   file %.2f MB a minute without sound, %.2f with\n", both.mbPerMinute[0],
              both.mbPerMinute[1]);
}

// A 32-bit frame of the screen's size selected into a memory DC, as a tick draws into.
struct ScreenFrame {
  ScreenFrame() {
    BITMAPINFO bmi{};
    bmi.bmiHeader = {
        sizeof(BITMAPINFOHEADER), area.width, area.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bitmap.reset(CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
    dc.reset(CreateCompatibleDC(nullptr));
    if (bitmap && dc) selected = std::make_unique<tk::SelectGuard>(dc.get(), bitmap.get());
  }
  const orvik::CaptureArea area{0, 0, tk::ScreenWidthPixels(), tk::ScreenHeightPixels()};
  tk::UniqueBitmap bitmap;
  tk::UniqueMemDc dc;
  std::unique_ptr<tk::SelectGuard> selected;
};

// Two rings drawn into a 32-bit frame of the screen's size, as a tick draws them: CPU a frame.
constexpr int kRingFrames = 2000;
double TwoRingsMs() {
  ScreenFrame frame;
  if (!frame.selected) return 0;
  const int w = frame.area.width, h = frame.area.height;
  orvik::RingPainter rings;
  if (!rings.Create(orvik::kDesignDpi)) return 0;
  const std::vector<orvik::VisibleRing> shown = {{orvik::PressButton::Left, w / 2, h / 2, 0.6f},
                                                 {orvik::PressButton::Right, w / 3, h / 3, 1.0f}};
  const double cpu0 = ProcessCpuSeconds();
  for (int i = 0; i < kRingFrames; ++i) rings.Draw(frame.dc.get(), frame.area, shown);
  return (ProcessCpuSeconds() - cpu0) * 1000 / kRingFrames;
}

// The same recording with 显示点击 off and on, back to back, while a click lands on the screen's
// middle every quarter second through both (two rings fading at any moment when on): what the
// rings and the hook cost a frame.
void CompareClicks(const Servers& servers, const std::wstring& dir) {
  std::string clicker;
  RunShell(
      "(for i in $(seq 240); do xdotool mousemove 960 540 click 1; sleep 0.25; done) "
      ">/dev/null 2>&1 & echo $!",
      &clicker);
  const BothWays both = RecordBothWays(servers, dir + L"\\clicks.avi",
                                       [](int i) { form2().showclicks->SetChecked(i == 1); });
  RunShell("kill " + Trim(clicker), nullptr);
  const double ringsMs = TwoRingsMs();
  PrintBothWays("Clicks shown (4 clicks a second)", "off", "on", both, 0.3);
  std::printf(
      "   (per-second figures come in 1 ms steps at 10 fps; the rings alone: two drawn into a "
      "frame of the screen's size cost %.3f ms, CPU over %d frames)\n",
      ringsMs, kRingFrames);
}

// The caption drawn into a 32-bit frame of the screen's size, as a tick draws it: CPU a frame
// when only its opacity changes (most frames), and when its text changes each frame.
struct CaptionCost {
  double blendMs = 0, newTextMs = 0;
};
CaptionCost CaptionMs() {
  CaptionCost cost;
  ScreenFrame frame;
  orvik::KeyCaptionPainter painter;
  if (!frame.selected || !painter.Create(orvik::kDesignDpi)) return cost;
  auto run = [&](bool newText) {
    const double cpu0 = ProcessCpuSeconds();
    for (int i = 0; i < kRingFrames; ++i) {
      const int count = newText ? i + 2 : 3;
      painter.Draw(frame.dc.get(), frame.area,
                   {orvik::CaptionText({orvik::kKeyCtrl | orvik::kKeyShift, 'S'}, count), 0.6f});
    }
    return (ProcessCpuSeconds() - cpu0) * 1000 / kRingFrames;
  };
  cost.blendMs = run(false);
  cost.newTextMs = run(true);
  return cost;
}

// Ctrl + Shift + S pressed every half second through the system's input, until `stop`: the
// same combination, so the caption's text changes with each press ("×2", "×3").
void PressShortcuts(const std::atomic<bool>& stop) {
  auto key = [](WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
  };
  while (!stop) {
    INPUT keys[] = {key(VK_CONTROL, false), key(VK_SHIFT, false), key('S', false),
                    key('S', true),         key(VK_SHIFT, true),  key(VK_CONTROL, true)};
    SendInput(6, keys, sizeof(INPUT));
    for (int i = 0; i < 10 && !stop; ++i) Sleep(50);
  }
}

// The same recording with 显示按键 off and on, back to back, while a shortcut is pressed twice a
// second through both: what the hook and the caption cost a frame.
void CompareKeys(const Servers& servers, const std::wstring& dir) {
  std::atomic<bool> stop{false};
  std::thread presser([&] { PressShortcuts(stop); });
  const BothWays both = RecordBothWays(servers, dir + L"\\keys.avi",
                                       [](int i) { form2().showkeys->SetChecked(i == 1); });
  stop = true;
  presser.join();
  const CaptionCost caption = CaptionMs();
  PrintBothWays("Keys shown (a shortcut every 0.5 s)", "off", "on", both, 0.3);
  std::printf(
      "   (the caption alone, in a frame of the screen's size, CPU over %d frames: %.3f ms a frame "
      "blended, %.3f ms when its text changes every frame)\n",
      kRingFrames, caption.blendMs, caption.newTextMs);
}

// The same recording with the main window minimized (as a start leaves it) and restored, back to
// back: what the face's live count costs a frame.
void CompareFace(const Servers& servers, const std::wstring& dir) {
  const BothWays both = RecordBothWays(servers, dir + L"\\face.avi",
                                       [](int i) { g_restoredDuringRecording = i == 1; });
  PrintBothWays("The main window during a recording", "minimized", "restored", both, 0.3);
}

// Where a followed window is now, as a tick asks it: CPU a look.
constexpr int kFollowLooks = 2000;
double FollowLookMs(HWND window, const orvik::FollowedFrame& frame) {
  orvik::FollowedWindow followed;
  followed.Follow(window, frame);
  const double cpu0 = ProcessCpuSeconds();
  for (int i = 0; i < kFollowLooks; ++i) followed.Now();
  return (ProcessCpuSeconds() - cpu0) * 1000 / kFollowLooks;
}

// Moves the scene's window by 200 px and back, a move each call. Asked of the window's own thread
// (SWP_ASYNCWINDOWPOS posts the request), so the move's work is the scene's, not this process's;
// an X-side move (xdotool windowmove) would not do, as this Wine does not see it.
HWND g_movedScene = nullptr;
void CALLBACK MoveTheScene(HWND, UINT, UINT_PTR, DWORD) {
  static bool aside = false;
  aside = !aside;
  SetWindowPos(g_movedScene, nullptr, aside ? -200 : 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
}

// The same 800 x 450 part of the scene's window recorded as a plain area and as a followed
// window, back to back, while the window moves every second through both (so what the moves
// cost the servers and the scene is in both): what following costs a frame.
void CompareFollow(const Servers& servers, const std::wstring& dir) {
  HWND scene = FindWindowW(L"OrvikVideoScene", nullptr);
  if (!scene) scene = FindWindowW(L"OrvikDemoScene", nullptr);
  if (!scene) {
    std::printf("capture_bench follow: no scene window to follow\n");
    return;
  }
  const int w = 800, h = 450;
  const orvik::FollowedFrame frame{tk::ScreenWidthPixels() - w - 40, 100, w, h};
  orvik::Form1& f = form1();
  f.x0 = frame.offsetX, f.y0 = frame.offsetY, f.aviwidth = w, f.aviheight = h;
  f.followedFrame = frame;
  form2().recordareae->SetChecked(true);
  g_movedScene = scene;
  const UINT_PTR mover = SetTimer(nullptr, 0, 1000, MoveTheScene);
  const BothWays both = RecordBothWays(servers, dir + L"\\follow.avi", [&](int i) {
    form1().followedWindow = i == 1 ? scene : nullptr;
  });
  KillTimer(nullptr, mover);
  SetWindowPos(scene, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  const double lookMs = FollowLookMs(scene, frame);
  form2().recordareae->SetChecked(false);
  PrintBothWays("A window moved every second", "plain area", "followed", both, 0.3);
  std::printf("   (the look alone, as a tick makes it: %.4f ms, CPU over %d looks)\n", lookMs,
              kFollowLooks);
}

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
    PrintMp4Row("fresh slots in the file (%)", "", r.mp4.FreshPercent(), r.avi.FreshPercent());
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
      "   targets: MP4 at most 1.5x the bare copy at 10 fps; at 30 fps at least 99%% fresh "
      "slots\n");
}

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

}  // namespace
