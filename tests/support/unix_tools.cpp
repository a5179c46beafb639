#include "support/unix_tools.h"

#include <algorithm>
#include <cstdio>
#include <regex>
#include <sstream>

namespace testsupport {

std::string Utf8(const std::wstring& s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

std::wstring Wide(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

std::string UnixPath(const std::wstring& windowsPath) {
  using Fn = char*(CDECL*)(const wchar_t*);
  static auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!fn) return {};
  char* p = fn(windowsPath.c_str());
  if (!p) return {};
  std::string s(p);
  HeapFree(GetProcessHeap(), 0, p);
  return s;
}

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

namespace {

// Quotes one argument by the rules Windows (and Wine, when it builds a Unix argv) split by.
std::wstring ArgvQuote(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace

std::string ReadWholeFile(const std::wstring& path) {
  std::string out;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return out;
  char buf[1 << 16];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
  CloseHandle(h);
  return out;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileW(h, &found));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

// Wine starts Unix programs but hands back no process handle that can be waited on, so the
// shell reports its exit code through a file that appears (by rename) when it is done.
int RunShell(const std::string& command, std::string* output, DWORD timeoutMs) {
  const std::wstring outFile = ScratchFile(L"sh");
  std::wstring rcFile = outFile + L".rc";
  std::string rcUnix = UnixPath(outFile) + ".rc";
  std::string script = "( " + command + " ) >" + ShellQuote(UnixPath(outFile)) +
                       " 2>&1 </dev/null; echo $? >" + ShellQuote(rcUnix + ".tmp") + " && mv " +
                       ShellQuote(rcUnix + ".tmp") + " " + ShellQuote(rcUnix);
  std::wstring cmd = L"/bin/sh -c " + ArgvQuote(Wide(script));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  int code = -1;
  if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
    DWORD start = GetTickCount();
    while (GetFileAttributesW(rcFile.c_str()) == INVALID_FILE_ATTRIBUTES &&
           GetTickCount() - start < timeoutMs)
      Sleep(10);
    std::string rc = ReadWholeFile(rcFile);
    if (!rc.empty()) code = atoi(rc.c_str());
  }
  if (output) *output = ReadWholeFile(outFile);
  DeleteFileW(outFile.c_str());
  DeleteFileW(rcFile.c_str());
  return code;
}

std::wstring ScratchFile(const wchar_t* prefix) {
  wchar_t path[MAX_PATH];
  if (!GetTempFileNameW(L"Z:\\tmp", prefix, 0, path)) return L"Z:\\tmp\\orvik-scratch";
  return path;
}

std::wstring MakeTempDir(const std::wstring& tag) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  static unsigned counter = 0;
  std::wstring dir = std::wstring(tmp) + L"orvik-" + tag + L"-" +
                     std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
  RemoveTree(dir);
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

void RemoveTree(const std::wstring& dir) {
  std::string unixDir = UnixPath(dir);
  if (unixDir.size() > 5) RunShell("rm -rf " + ShellQuote(unixDir), nullptr);
}

ProbeInfo Probe(const std::wstring& aviPath) {
  ProbeInfo info;
  std::string path = ShellQuote(UnixPath(aviPath));
  std::string out;
  int rc = RunShell(
      "ffprobe -v error -count_frames -show_entries "
      "stream=codec_type,codec_name,codec_tag_string,width,height,r_frame_rate,"
      "nb_read_frames:format=nb_streams,duration -of default=nw=1 " +
          path,
      &out);
  info.raw = out;
  if (rc != 0) return info;
  auto field = [&](const char* key) {
    std::smatch m;
    std::regex re(std::string("(^|\n)") + key + "=([^\n]*)");
    return std::regex_search(out, m, re) ? m[2].str() : std::string();
  };
  info.codecType = field("codec_type");
  info.codecName = field("codec_name");
  info.codecTag = field("codec_tag_string");
  info.width = atoi(field("width").c_str());
  info.height = atoi(field("height").c_str());
  info.frameRate = field("r_frame_rate");
  info.frames = atol(field("nb_read_frames").c_str());
  info.streams = atoi(field("nb_streams").c_str());
  info.duration = atof(field("duration").c_str());
  std::string pk;
  if (RunShell("ffprobe -v error -select_streams v:0 -show_entries packet=pts -of csv=p=0 " + path,
               &pk) == 0) {
    std::istringstream ss(pk);
    std::string line;
    while (std::getline(ss, line))
      if (!line.empty()) info.packetPts.push_back(atol(line.c_str()));
  }
  info.ok = true;
  return info;
}

DecodedFrames DecodeBgr24(const std::wstring& aviPath, int width, int height) {
  DecodedFrames d;
  const std::wstring rawFile = ScratchFile(L"raw");
  std::string cmd = "ffmpeg -v error -y -i " + ShellQuote(UnixPath(aviPath)) +
                    " -f rawvideo -pix_fmt bgr24 " + ShellQuote(UnixPath(rawFile));
  if (RunShell(cmd, nullptr) == 0) {
    std::string bytes = ReadWholeFile(rawFile);
    size_t frameSize = static_cast<size_t>(width) * height * 3;
    if (frameSize > 0) {
      d.width = width;
      d.height = height;
      for (size_t off = 0; off + frameSize <= bytes.size(); off += frameSize)
        d.frames.emplace_back(bytes.begin() + off, bytes.begin() + off + frameSize);
    }
  }
  DeleteFileW(rawFile.c_str());
  return d;
}

}  // namespace testsupport
