#pragma once
// Runs the machine's own tools (ffprobe, ffmpeg) from a test that runs under Wine:
// Wine starts Unix executables given by their Unix path.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// The Unix path of a Windows path (Wine's mapping), or empty when there is none.
std::string UnixPath(const std::wstring& windowsPath);
std::string Utf8(const std::wstring& s);
std::wstring Wide(const std::string& s);

// A whole file's bytes; empty when it cannot be read.
std::string ReadWholeFile(const std::wstring& path);
// The names of the files (not folders) in `folder`, sorted.
std::vector<std::wstring> FilesIn(const std::wstring& folder);

// One word for /bin/sh, whatever it holds.
std::string ShellQuote(const std::string& s);

// Runs `command` through /bin/sh; stdout and stderr go to *output. Returns the exit code,
// or -1 when it could not be started or ran longer than timeoutMs (then it is killed).
int RunShell(const std::string& command, std::string* output, DWORD timeoutMs = 120000);

// A new, empty file in the machine's /tmp (Z:\tmp), for the tools' output. Independent of the
// test process's own temporary folder, which a test may change.
std::wstring ScratchFile(const wchar_t* prefix);

// A fresh, empty folder under the Windows temporary folder, for one test.
std::wstring MakeTempDir(const std::wstring& tag);
// Removes a folder and everything in it.
void RemoveTree(const std::wstring& dir);

// What ffprobe reports of the first video stream of an AVI file.
struct ProbeInfo {
  bool ok = false;
  int streams = 0;
  std::string codecType;  // "video"
  std::string codecTag;   // fourcc as ffprobe prints it
  std::string codecName;
  int width = 0, height = 0;
  std::string frameRate;        // "10/1"
  long frames = 0;              // nb_read_frames
  std::vector<long> packetPts;  // pts of every packet, in stream time base
  double duration = 0;
  std::string raw;
};
ProbeInfo Probe(const std::wstring& aviPath);

// Decodes every frame to packed 24-bit BGR rows, top-down. Empty on failure.
struct DecodedFrames {
  int width = 0, height = 0;
  std::vector<std::vector<uint8_t>> frames;
};
DecodedFrames DecodeBgr24(const std::wstring& aviPath, int width, int height);

}  // namespace testsupport
