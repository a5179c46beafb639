#include "measure.h"

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "support/unix_tools.h"
#include "toolkit/app.h"
#include "toolkit/handles.h"
#include "toolkit/screen.h"

namespace capture_bench {

using testsupport::RunShell;

namespace {

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

std::string EnvironmentUtf8(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD n = GetEnvironmentVariableW(name, value, 1024);
  return n > 0 && n < 1024 ? testsupport::Utf8(value) : std::string();
}

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

}  // namespace

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

void PumpUntil(double deadline) {
  for (;;) {
    tk::DoEvents();
    const double left = deadline - Now();
    if (left <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left * 1000) + 1, QS_ALLINPUT);
  }
}

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& f) {
    return (static_cast<uint64_t>(f.dwHighDateTime) << 32 | f.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

// /proc files report a length of 0, hence the read loop.
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

std::string Comm(const std::string& pid) {
  return pid.empty() ? std::string() : Trim(ReadUnixFile("/proc/" + pid + "/comm"));
}

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

Cpu ReadCpu(const Servers& s) {
  Cpu c;
  c.process = ProcessCpuSeconds();
  c.self = ProcTicks(s.self) * s.tick;
  c.server = ProcTicks(s.wineserver) * s.tick;
  c.xvfb = ProcTicks(s.xvfb) * s.tick;
  c.scene = s.scene.empty() ? 0 : ProcTicks(s.scene) * s.tick;
  return c;
}

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

ThreadCpu operator-(const ThreadCpu& a, const ThreadCpu& b) {
  ThreadCpu d = a;
  for (const auto& [id, seconds] : b)
    if (auto it = d.find(id); it != d.end()) it->second -= seconds;
  return d;
}

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

}  // namespace capture_bench
