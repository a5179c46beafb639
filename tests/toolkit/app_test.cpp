#include "toolkit/app.h"
#include "toolkit/files.h"

#include <gtest/gtest.h>

#include "support/dialogs.h"
#include "support/unix_tools.h"

using namespace testsupport;

TEST(MessageBoxes, ReturnThePressedButtonAndCarryTheAppTitle) {
  DialogWatcher yes(tk::AppTitle(), [](HWND h) { PressButton(h, IDYES); });
  EXPECT_EQ(tk::MsgBox(L"Replace it?", MB_YESNO), IDYES);
  ASSERT_TRUE(yes.Wait());
  EXPECT_EQ(yes.Text(), L"Replace it?");

  DialogWatcher no(L"", [](HWND h) { PressButton(h, IDNO); });
  EXPECT_EQ(tk::MsgBox(L"Stop?", MB_YESNO, L""), IDNO);
  EXPECT_TRUE(no.Wait());
}

TEST(Files, OpenErrorsAreToldApart) {
  std::wstring dir = MakeTempDir(L"files");
  tk::OpenError err;
  tk::File f = tk::File::Open(dir + L"\\missing.bmp", tk::FileMode::Read, &err);
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(err, tk::OpenError::NotFound);

  std::wstring path = dir + L"\\locked.bin";
  HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  f = tk::File::Open(path, tk::FileMode::Read, &err);
  EXPECT_EQ(err, tk::OpenError::PermissionDenied);
  CloseHandle(lock);

  f = tk::File::Open(path, tk::FileMode::ReadWrite, &err);
  ASSERT_TRUE(f.IsOpen());
  const char data[] = "0123456789";
  ASSERT_TRUE(f.WriteAt(100, data, 10));
  EXPECT_EQ(f.Length(), 110u);
  char back[4] = {};
  ASSERT_TRUE(f.ReadAt(103, back, 3));
  EXPECT_STREQ(back, "345");
  EXPECT_FALSE(f.ReadAt(108, back, 4));  // runs past the end
  f.Close();
  EXPECT_EQ(tk::FileLength(path), 110u);
  EXPECT_TRUE(tk::RemoveFile(path));
  EXPECT_FALSE(tk::FileExists(path));
  RemoveTree(dir);
}

TEST(UnixTools, ShellRunsAndPathsMap) {
  std::string out;
  EXPECT_EQ(RunShell("echo hello", &out), 0);
  EXPECT_EQ(out, "hello\n");
  EXPECT_EQ(UnixPath(L"Z:\\tmp"), "/tmp");
}
