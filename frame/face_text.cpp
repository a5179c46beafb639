#include "frame/face_text.h"

#include <cmath>
#include <cstdio>

namespace orvik {

namespace {
std::wstring KeyOrNone(const std::wstring& key) { return key.empty() ? L"（未设置）" : key; }
}  // namespace

std::vector<std::wstring> StartSummary(const StartFacts& f) {
  const std::wstring size = std::to_wstring(f.width) + L" x " + std::to_wstring(f.height);
  std::vector<std::wstring> lines;
  if (!f.fullScreen && f.followsWindow)
    lines.push_back(L"窗口：" + (f.followedTitle.empty() ? L"（无标题）" : f.followedTitle) +
                    L"  " + size);
  else
    lines.push_back(f.fullScreen ? L"全屏 " + size
                                 : L"区域 " + size + L"，位于 (" + std::to_wstring(f.x) + L", " +
                                       std::to_wstring(f.y) + L")");
  std::wstring rate = L"帧率：" + std::to_wstring(f.framesPerSecond) + L" 帧/秒";
  if (f.countdownSeconds > 0)
    rate += L"    倒计时：" + std::to_wstring(f.countdownSeconds) + L" 秒";
  lines.push_back(rate);
  lines.push_back(std::wstring(L"光标：") + (f.cursor ? L"录制" : L"不录制") + L"    显示点击：" +
                  (f.clicks ? L"开" : L"关") + L"    显示按键：" + (f.keys ? L"开" : L"关"));
  lines.push_back(std::wstring(L"声音：") + SoundCaption(f.sound));
  if (f.format == FileFormat::Mp4)
    lines.push_back(L"编码：MP4（H.264 + AAC）");
  else
    lines.push_back(L"编码：" + (f.codec.empty() ? std::wstring(L"（开始时选择）") : f.codec));
  lines.push_back(L"保存到：" + f.folder);
  lines.push_back(L"停止：" + KeyOrNone(f.stopKey) + L"    暂停/继续：" + KeyOrNone(f.pauseKey));
  return lines;
}

std::vector<std::wstring> RecordingSummary(const RecordingFacts& f) {
  std::vector<std::wstring> lines;
  if (!f.endedBecause.empty()) lines.push_back(f.endedBecause);
  if (f.followedWindowClosed) lines.push_back(L"跟随的窗口已关闭：之后保持最后的画面");
  lines.push_back(L"时长 " + ClockText(f.seconds) + L" · " + std::to_wstring(f.frames) + L" 帧 · " +
                  SizeText(f.bytes));
  lines.push_back(f.path);
  return lines;
}

std::wstring ClockText(double seconds) {
  const auto whole = seconds > 0 ? static_cast<int64_t>(std::floor(seconds)) : 0;
  wchar_t text[32];
  if (whole >= 3600) {
    std::swprintf(text, 32, L"%lld:%02lld:%02lld", static_cast<long long>(whole / 3600),
                  static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60));
  } else {
    std::swprintf(text, 32, L"%02lld:%02lld", static_cast<long long>(whole / 60),
                  static_cast<long long>(whole % 60));
  }
  return text;
}

std::wstring SizeText(uint64_t bytes) {
  static const wchar_t* const kUnits[] = {L"KB", L"MB", L"GB", L"TB"};
  if (bytes < 1024) return std::to_wstring(bytes) + L" B";
  double value = bytes / 1024.0;
  size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  wchar_t text[32];
  std::swprintf(text, 32, L"%.1f %ls", value, kUnits[unit]);
  return text;
}

std::wstring LiveText(double seconds, int64_t frames) {
  return L"正在录制 " + ClockText(seconds) + L" · " + std::to_wstring(frames) + L" 帧";
}

std::wstring CountdownText(int secondsLeft) {
  return std::to_wstring(secondsLeft) + L" 秒后开始录制";
}

}  // namespace orvik
