#pragma once
// The lines the main window shows in its client area: what a start will record, and what the
// last recording left. No <windows.h>.
#include <cstdint>
#include <string>
#include <vector>

#include "settings/recording_choices.h"

namespace orvik {

// What the next start will do, as the menus and remembered values say now.
struct StartFacts {
  bool fullScreen = true;
  int32_t x = 0, y = 0, width = 0, height = 0;  // the area, screen pixels
  int framesPerSecond = kDefaultFrameRate;
  bool cursor = true;
  bool clicks = false;
  bool keys = false;
  int countdownSeconds = 0;  // before the first frame; 0: none
  SoundChoice sound = SoundChoice::None;
  FileFormat format = FileFormat::Mp4;
  std::wstring codec;    // an AVI's: the codec the dialog opens on
  std::wstring folder;   // where the save dialog starts
  std::wstring stopKey;  // "Ctrl+Shift+F9"; empty when another program holds the key
  std::wstring pauseKey;
  // The area follows a window picked on the overlay: its title.
  bool followsWindow = false;
  std::wstring followedTitle;
};
std::vector<std::wstring> StartSummary(const StartFacts& facts);

// What the last recording left.
struct RecordingFacts {
  double seconds = 0;
  int64_t frames = 0;
  uint64_t bytes = 0;
  std::wstring path;
  std::wstring endedBecause;  // why it ended by itself; empty when the user stopped it
  bool followedWindowClosed = false;
};
std::vector<std::wstring> RecordingSummary(const RecordingFacts& facts);

// "mm:ss", or "h:mm:ss" from an hour on; parts of a second are dropped.
std::wstring ClockText(double seconds);
// Bytes in the largest unit of 1024 that keeps the figure at 1 or more, one decimal from KB on:
// "512 B", "1.5 KB", "16.5 MB", "4.0 GB".
std::wstring SizeText(uint64_t bytes);
// While recording: "正在录制 mm:ss · N 帧".
std::wstring LiveText(double seconds, int64_t frames);
// While the countdown before the first frame runs: "3 秒后开始录制".
std::wstring CountdownText(int secondsLeft);

}  // namespace orvik
