// The main window's face: what a start will record, the recording live, and the last recording
// with its picture and commands, in the real program's windows.
#include "e2e/app_fixture.h"

#include <tlhelp32.h>

#include <algorithm>

#include "e2e/frame_fixture.h"
#include "frame/face_text.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/screen.h"

using namespace testsupport;

namespace {

std::wstring LineText(size_t i) {
  const auto& lines = form1().Face().Lines();
  if (i >= lines.size() || !IsWindowVisible(lines[i])) return L"";
  wchar_t text[1024] = L"";
  GetWindowTextW(lines[i], text, 1024);
  return text;
}

bool Starts(const std::wstring& s, const std::wstring& prefix) { return s.rfind(prefix, 0) == 0; }

std::wstring ClipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
      text = p;
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  return text;
}

std::vector<DWORD> Explorers() {
  std::vector<DWORD> ids;
  tk::UniqueHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W e{};
  e.dwSize = sizeof e;
  for (bool ok = Process32FirstW(snap.get(), &e); ok; ok = Process32NextW(snap.get(), &e))
    if (_wcsicmp(e.szExeFile, L"explorer.exe") == 0) ids.push_back(e.th32ProcessID);
  return ids;
}

// Mean colour of a rectangle of 24-bit BGR rows.
struct Mean {
  double b = 0, g = 0, r = 0;
};
Mean MeanOfFrame(const std::vector<uint8_t>& bgr, int w, int x0, int y0, int x1, int y1) {
  Mean m;
  const double n = static_cast<double>(x1 - x0) * (y1 - y0);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t* p = &bgr[(static_cast<size_t>(y) * w + x) * 3];
      m.b += p[0] / n, m.g += p[1] / n, m.r += p[2] / n;
    }
  return m;
}

}  // namespace

TEST_F(AppTest, TheFaceSaysWhatAStartWillDoCountsAlongAndKeepsTheLastRecording) {
  // Before: the summary follows the menus at once.
  EXPECT_EQ(LineText(0), L"全屏 " + std::to_wstring(tk::ScreenWidthPixels()) + L" x " +
                             std::to_wstring(tk::ScreenHeightPixels()));
  EXPECT_EQ(LineText(1), L"帧率：10 帧/秒");
  EXPECT_TRUE(Starts(LineText(4), L"编码：Orvik lossless screen codec"));
  EXPECT_TRUE(Starts(LineText(6), L"停止：Ctrl+Shift+F9")) << Utf8(LineText(6));
  Command(form2().rates[4]);  // 30
  Command(form2().recordcursor);
  PumpFor(300);
  EXPECT_EQ(LineText(1), L"帧率：30 帧/秒");
  EXPECT_TRUE(Starts(LineText(2), L"光标：不录制"));
  form1().x0 = 40, form1().y0 = 50, form1().aviwidth = 320, form1().aviheight = 200;
  form2().recordareae->SetChecked(true);
  form1().ShowWhatAStartWillDo();  // as the overlay does when an area is placed
  EXPECT_EQ(LineText(0), L"区域 320 x 200，位于 (40, 50)");
  Command(form2().recordareae);  // back to the whole screen
  Command(form2().rates[1]);     // 10
  PumpFor(300);
  EXPECT_TRUE(Starts(LineText(0), L"全屏 "));

  // During: restored, the face counts along.
  const std::wstring avi = Path(L"face.avi");
  StartViaCommand(avi, kCodecOrvik);
  ASSERT_TRUE(form1().Recording());
  form1().SetWindowState(tk::kStateNormal);
  PumpUntil([] { return form1().Session().ElapsedSeconds() >= 2.5; }, 20000);
  const std::wstring live = LineText(0);
  EXPECT_TRUE(Starts(live, L"正在录制 00:02 · ")) << Utf8(live);
  form2().done_Click();

  // After: length, frames, size, path, and a picture of the recording.
  form1().SetWindowState(tk::kStateNormal);
  PumpFor(800);
  const auto bytes = tk::FileLength(avi);
  ASSERT_TRUE(bytes);
  const int32_t frames = form1().Session().Output().FramesWritten();
  EXPECT_EQ(LineText(0), L"时长 " + orvik::ClockText(form1().Session().ElapsedSeconds()) + L" · " +
                             std::to_wstring(frames) + L" 帧 · " + orvik::SizeText(*bytes));
  EXPECT_EQ(LineText(1), avi);

  // The picture is the recording's last frame, made small: its parts have the colours of the
  // same parts of the file's last frame.
  HWND face = form1().Face().hWnd();
  SetWindowPos(form1().Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  PumpFor(500);
  RECT pic = form1().Face().PictureRect();
  ASSERT_GT(pic.right - pic.left, 40);
  MapWindowPoints(face, nullptr, reinterpret_cast<POINT*>(&pic), 2);
  const DecodedFrames decoded = DecodeBgr24(avi, tk::ScreenWidthPixels(), tk::ScreenHeightPixels());
  ASSERT_FALSE(decoded.frames.empty());
  const ScreenShot shot;
  const int pw = pic.right - pic.left, ph = pic.bottom - pic.top;
  for (int cy = 0; cy < 3; ++cy) {
    for (int cx = 0; cx < 3; ++cx) {
      const Mean want = MeanOfFrame(decoded.frames.back(), decoded.width, decoded.width * cx / 3,
                                    decoded.height * cy / 3, decoded.width * (cx + 1) / 3,
                                    decoded.height * (cy + 1) / 3);
      Mean got;
      const int x0 = pic.left + pw * cx / 3 + 2, x1 = pic.left + pw * (cx + 1) / 3 - 2;
      const int y0 = pic.top + ph * cy / 3 + 2, y1 = pic.top + ph * (cy + 1) / 3 - 2;
      const double n = static_cast<double>(x1 - x0) * (y1 - y0);
      for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
          const COLORREF c = shot.At(x, y);
          got.r += GetRValue(c) / n, got.g += GetGValue(c) / n, got.b += GetBValue(c) / n;
        }
      EXPECT_NEAR(got.r, want.r, 16) << "cell " << cx << "," << cy;
      EXPECT_NEAR(got.g, want.g, 16) << "cell " << cx << "," << cy;
      EXPECT_NEAR(got.b, want.b, 16) << "cell " << cx << "," << cy;
    }
  }

  // The commands: 复制路径 by a click, then Tab and Enter from 播放 to 复制路径.
  HWND play = form1().Face().CommandButton(orvik::RecorderFace::kPlay);
  HWND folder = form1().Face().CommandButton(orvik::RecorderFace::kOpenFolder);
  HWND copy = form1().Face().CommandButton(orvik::RecorderFace::kCopyPath);
  ASSERT_TRUE(IsWindowVisible(play) && IsWindowVisible(folder) && IsWindowVisible(copy));
  SendMessageW(copy, BM_CLICK, 0, 0);
  EXPECT_EQ(ClipboardText(), avi);
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
  SetFocus(form2().Handle());
  SendMessageW(form2().Handle(), WM_KEYDOWN, VK_TAB, 0);  // from the menu into the commands
  EXPECT_EQ(GetFocus(), play);
  SendMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(GetFocus(), folder);
  SendMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(GetFocus(), copy);
  SendMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(ClipboardText(), avi);

  // 播放 where no program plays .avi files (none does in this system): a message, not silence.
  {
    DialogWatcher message(
        tk::AppTitle(), [](HWND h) { PressButton(h, IDNO); }, 20000);
    SendMessageW(play, BM_CLICK, 0, 0);
    ASSERT_TRUE(message.Wait());
    EXPECT_NE(message.Text().find(L"没有可以播放此录像的程序"), std::wstring::npos)
        << Utf8(message.Text());
  }
  // 打开文件夹 starts Explorer.
  const std::vector<DWORD> before = Explorers();
  SendMessageW(folder, BM_CLICK, 0, 0);
  DWORD started = 0;
  PumpUntil(
      [&] {
        for (DWORD id : Explorers())
          if (std::find(before.begin(), before.end(), id) == before.end()) started = id;
        return started != 0;
      },
      15000);
  EXPECT_NE(started, 0u) << "no Explorer started";
  if (started) {
    tk::UniqueHandle explorer(OpenProcess(PROCESS_TERMINATE, FALSE, started));
    if (explorer) TerminateProcess(explorer.get(), 0);
  }

  // It stays through minimize, restore and a new size.
  form1().SetWindowState(tk::kStateMinimized);
  PumpFor(300);
  form1().SetWindowState(tk::kStateNormal);
  form1().Move(form1().Left(), form1().Top(), form1().Width() + 1500, form1().Height() + 900);
  PumpFor(500);
  EXPECT_EQ(LineText(1), avi);
  EXPECT_GT(form1().Face().PictureRect().right, 0);
}
