#pragma once
// The measuring every scenario shares: the clock, a few statistics, the pump that lets the
// program run, and the CPU used by this process, its threads and the two servers it leans on.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace capture_bench {

double Now();
std::string Quote(const std::string& s);
std::string Trim(std::string s);

double Median(std::vector<double> v);
double Mean(const std::vector<double>& v);
double Percentile(std::vector<double> v, double p);

// Lets the program's messages (its timer ticks among them) run until `deadline`.
void PumpUntil(double deadline);

// ---- CPU of this process and of the two servers it leans on ----

double ProcessCpuSeconds();

// Reads a Unix file (here under /proc) through Wine's "\\?\unix" names: no shell is
// started, so sampling every second disturbs nothing. Wine's server opens files for its
// clients, so /proc/self read this way is the wine server itself.
std::string ReadUnixFile(const std::string& unixPath);

// The name of a Unix process (/proc/<pid>/comm); empty for an empty pid.
std::string Comm(const std::string& pid);

struct Servers {
  std::string wineserver, xvfb, self, scene;
  double tick = 0.01;  // seconds per clock tick
};

// The wine server of this prefix, the X server of this display, this process and the scene's
// (when `sceneExe` is given) as Unix processes, and the length of a clock tick.
Servers FindServers(const std::string& sceneExe);

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

Cpu ReadCpu(const Servers& s);

// ---- CPU of each thread of this process ----

// CPU seconds so far of every thread of this process, by id. Under Wine GetThreadTimes reads
// /proc/<pid>/task/<tid>/stat, in steps of a clock tick.
using ThreadCpu = std::map<DWORD, double>;

ThreadCpu ReadThreadCpu();

// What each thread of `a` used since `b`; a thread that ended in between is not counted.
ThreadCpu operator-(const ThreadCpu& a, const ThreadCpu& b);

// A recording's CPU by thread: the GUI thread (the capture), the busiest other one (the
// writer: its codec and file), and the rest (Wine's own threads, the press hook's).
struct ThreadSplit {
  double gui = 0, writer = 0, rest = 0;
};

ThreadSplit SplitByThread(const ThreadCpu& used);

}  // namespace capture_bench
