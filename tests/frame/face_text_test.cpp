#include "frame/face_text.h"

#include <gtest/gtest.h>

using namespace orvik;

TEST(FaceText, TheStartSummarySaysWhatAStartWillRecord) {
  StartFacts f;
  f.width = 1920, f.height = 1080, f.framesPerSecond = 15, f.cursor = false, f.clicks = true;
  f.sound = SoundChoice::Both, f.format = FileFormat::Avi,
  f.codec = L"Orvik lossless screen codec (ZMBV)";
  f.folder = L"C:\\Videos", f.stopKey = L"Ctrl+Shift+F9";
  auto lines = StartSummary(f);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], L"全屏 1920 x 1080");
  EXPECT_EQ(lines[1], L"帧率：15 帧/秒");
  EXPECT_EQ(lines[2], L"光标：不录制    显示点击：开    显示按键：关");
  EXPECT_EQ(lines[3], L"声音：系统声音和麦克风");
  EXPECT_EQ(lines[4], L"编码：Orvik lossless screen codec (ZMBV)");
  EXPECT_EQ(lines[5], L"保存到：C:\\Videos");
  EXPECT_EQ(lines[6], L"停止：Ctrl+Shift+F9    暂停/继续：（未设置）");  // a key held elsewhere

  f.fullScreen = false, f.x = -100, f.y = 20, f.width = 640, f.height = 480, f.codec.clear();
  lines = StartSummary(f);
  EXPECT_EQ(lines[0], L"区域 640 x 480，位于 (-100, 20)");
  EXPECT_EQ(lines[4], L"编码：（开始时选择）");
  f.format = FileFormat::Mp4;  // needs no codec dialog
  EXPECT_EQ(StartSummary(f)[4], L"编码：MP4（H.264 + AAC）");
  f.followsWindow = true, f.followedTitle = L"记事本";  // a window picked on the overlay
  EXPECT_EQ(StartSummary(f)[0], L"窗口：记事本  640 x 480");
  f.followedTitle.clear();
  EXPECT_EQ(StartSummary(f)[0], L"窗口：（无标题）  640 x 480");
  f.countdownSeconds = 5;
  EXPECT_EQ(StartSummary(f)[1], L"帧率：15 帧/秒    倒计时：5 秒");
}

TEST(FaceText, TheLastRecordingsLengthSizeAndWhyItEnded) {
  EXPECT_EQ(ClockText(0), L"00:00");
  EXPECT_EQ(ClockText(59.99), L"00:59");
  EXPECT_EQ(ClockText(3599.5), L"59:59");
  EXPECT_EQ(ClockText(3600), L"1:00:00");
  EXPECT_EQ(ClockText(-3), L"00:00");
  EXPECT_EQ(SizeText(0), L"0 B");
  EXPECT_EQ(SizeText(1023), L"1023 B");
  EXPECT_EQ(SizeText(1024), L"1.0 KB");
  EXPECT_EQ(SizeText(1536 * 1024), L"1.5 MB");
  EXPECT_EQ(SizeText(5ull << 40), L"5.0 TB");
  EXPECT_EQ(SizeText(5ull << 50), L"5120.0 TB");
  EXPECT_EQ(LiveText(75.2, 752), L"正在录制 01:15 · 752 帧");

  RecordingFacts r{125.4, 1254, 17301504, L"C:\\Videos\\clip.avi", L""};
  auto lines = RecordingSummary(r);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], L"时长 02:05 · 1254 帧 · 16.5 MB");
  EXPECT_EQ(lines[1], L"C:\\Videos\\clip.avi");
  r.endedBecause = L"磁盘空间不足，录制已停止。";
  lines = RecordingSummary(r);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], r.endedBecause);
  r.endedBecause.clear(), r.followedWindowClosed = true;
  EXPECT_EQ(RecordingSummary(r)[0], L"跟随的窗口已关闭：之后保持最后的画面");
}
