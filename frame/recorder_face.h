#pragma once
// The main window's client area as the recorder's face: before a recording what a start will
// record, during one its time and frames, after one a picture of it with its length, size and
// path, and the commands 播放, 打开文件夹, 复制路径 and 复制文件. Drawn in the skin's colours with
// the system's message font; it repaints only when something it shows changes.
#include <windows.h>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "frame/face_text.h"
#include "toolkit/handles.h"

namespace orvik {

class RecorderFace {
 public:
  enum Command { kPlay, kOpenFolder, kCopyPath, kCopyFile, kCommands };

  RecorderFace() = default;
  ~RecorderFace();
  RecorderFace(const RecorderFace&) = delete;
  RecorderFace& operator=(const RecorderFace&) = delete;

  bool Create(HWND parent);
  // A press on the face itself (not on a command), as on the rest of the frame window.
  std::function<void()> onPress;
  HWND hWnd() const { return hwnd_; }
  // Where it lies in the parent's client area, pixels.
  void Place(int left, int top, int width, int height);
  // The fonts and sizes for the windows' DPI, after it changed.
  void UseFontForTheScaling();

  void ShowStart(const StartFacts& facts);
  void ShowLive(double seconds, int64_t frames);
  // While the countdown before the first frame runs; what was shown before it comes back with
  // ShowBeforeCountdown, when the recording does not begin after all.
  void ShowCountdown(int secondsLeft);
  void ShowBeforeCountdown();
  // After a recording: `picture` (a frame of it, owned by the caller and kept while shown;
  // null for none) and its facts; the commands act on `facts.path`.
  void ShowRecording(const RecordingFacts& facts, HBITMAP picture);
  bool ShowsRecording() const { return showsRecording_; }
  // A line of its own under whatever is shown (a repair running beside); empty: none.
  void SetNotice(const std::wstring& notice);

  // The controls, for keyboard focus and for tests: the text lines in order, the commands.
  const std::vector<HWND>& Lines() const { return lines_; }
  HWND CommandButton(Command c) const { return commands_[c]; }
  // Where the picture is drawn, in the face's client pixels (empty when none is shown).
  RECT PictureRect() const;
  void Run(Command c);
  // Puts the keyboard on the first command while they are shown; false when they are not.
  bool FocusCommands() const;

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void SetLines(const std::vector<std::wstring>& texts);
  void ShowLines();
  void ShowCommands(bool show);
  void LayOut();
  void PaintPicture(HDC dc);
  void Play();
  void OpenFolder();
  void CopyPath();
  // The file itself, to be pasted into a folder, a mail or a chat as a copy.
  void CopyTheFile();

  HWND hwnd_ = nullptr;
  std::vector<HWND> lines_;
  std::array<HWND, kCommands> commands_{};
  tk::UniqueFont font_;
  tk::UniqueBrush back_;
  HBITMAP picture_ = nullptr;  // the caller's
  std::wstring path_;
  std::vector<std::wstring> content_;  // the lines shown, without the notice
  std::wstring notice_;
  bool showsRecording_ = false;
  WNDPROC buttonDefault_ = nullptr;
  // What the countdown covered: the lines, and whether the last recording was shown.
  struct Shown {
    std::vector<std::wstring> lines;
    bool recording = false;
    HBITMAP picture = nullptr;
  };
  std::optional<Shown> beforeCountdown_;
  std::vector<std::wstring> ShownLines() const;
};

}  // namespace orvik
