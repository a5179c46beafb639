// The registry store the program keeps its choices in, against the real registry (the test
// run's own Wine prefix), under a key of the test's own.
#include "toolkit/settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "toolkit/files.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(store_.Clear()); }
  void TearDown() override { store_.Clear(); }
  tk::Settings store_{L"Software\\OrvikTest\\settings-" + std::to_wstring(GetCurrentProcessId())};
};

}  // namespace

TEST_F(SettingsTest, ValuesSurviveIntoAFreshStoreAndReadBackExactly) {
  EXPECT_FALSE(store_.ReadNumber(L"FrameRate"));
  EXPECT_FALSE(store_.ReadText(L"SaveFolder"));

  const std::wstring folder = L"Z:\\tmp\\录像 folder\\" + std::wstring(300, L'x');
  ASSERT_TRUE(store_.WriteNumber(L"FrameRate", 30));
  ASSERT_TRUE(store_.WriteText(L"SaveFolder", folder));
  ASSERT_TRUE(store_.WriteNumber(L"Big", 0xFFFFFFFFu));

  // A new store on the same key, as the next run of the program makes.
  const tk::Settings again(store_.SubKey());
  EXPECT_EQ(again.ReadNumber(L"FrameRate"), 30u);
  EXPECT_EQ(again.ReadText(L"SaveFolder"), folder);
  EXPECT_EQ(again.ReadNumber(L"Big"), 0xFFFFFFFFu);
  // A value of the other kind is nothing stored, not a misread.
  EXPECT_FALSE(again.ReadText(L"FrameRate"));
  EXPECT_FALSE(again.ReadNumber(L"SaveFolder"));

  // Overwritten, the newer value reads.
  ASSERT_TRUE(store_.WriteText(L"SaveFolder", L"C:\\"));
  EXPECT_EQ(again.ReadText(L"SaveFolder"), L"C:\\");

  EXPECT_TRUE(store_.Clear());
  EXPECT_FALSE(again.ReadNumber(L"FrameRate"));
  EXPECT_TRUE(store_.Clear());  // nothing there is no failure
}

TEST(KnownFolders, VideosFolderExistsAndWritableFoldersAreToldApart) {
  const std::wstring videos = tk::UserVideosFolder();
  ASSERT_FALSE(videos.empty());
  EXPECT_TRUE(tk::FolderExists(videos));

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  EXPECT_TRUE(tk::FolderIsWritable(temp));
  EXPECT_FALSE(tk::FolderIsWritable(std::wstring(temp) + L"no-such-folder-here"));
  EXPECT_FALSE(tk::FolderIsWritable(L""));
  // The probe file does not stay behind.
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((std::wstring(temp) + L"~orvik-*").c_str(), &found);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  if (h != INVALID_HANDLE_VALUE) FindClose(h);
}
