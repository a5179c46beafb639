// Sizes and paths past the old limits: wide captures, long temporary folders, DPI awareness.
#include "e2e/app_fixture.h"
#include "toolkit/files.h"

using namespace testsupport;

TEST_F(AppTest, CapturesWiderThan2184PixelsWork) {
  // An area wider than the screen: what lies outside the screen records as black.
  form1().x0 = 0;
  form1().y0 = 0;
  form1().aviwidth = 2400;
  form1().aviheight = 64;
  form2().recordareae->SetChecked(true);
  const std::wstring avi = Path(L"wide.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  EXPECT_EQ(form1().Picture1.PixelWidth(), 2400);
  PumpFor(500);
  form1().stop_click();
  ProbeInfo info = Probe(avi);
  ASSERT_TRUE(info.ok) << info.raw;
  EXPECT_EQ(info.width, 2400);
  EXPECT_EQ(info.height, 64);
  EXPECT_GE(info.frames, 3);
}

// The temporary folder is whatever the system says, however long.
TEST(TempFolder, AnyLengthIsUsedWhole) {
  std::wstring base = MakeTempDir(L"long");
  std::wstring dir = base;
  while (dir.size() < 200) {
    dir += L"\\a-rather-long-folder-name";
    CreateDirectoryW(dir.c_str(), nullptr);
  }
  ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", dir.c_str()));
  ASSERT_TRUE(SetEnvironmentVariableW(L"TEMP", dir.c_str()));
  ASSERT_TRUE(form1().Create());
  EXPECT_EQ(form1().temppath, dir + L"\\");

  DialogWatcher save(L"保存文件", [&](HWND h) {
    const std::wstring path = base + L"\\t.avi";
    SendMessageW(h, CDM_SETCONTROLTEXT, kFileNameBox, reinterpret_cast<LPARAM>(path.c_str()));
    PressButton(h, IDOK);
  });
  CodecDialogAnswer codec(kCodecFullFrames);
  form2().start_Click();
  ASSERT_TRUE(form1().Recording());
  PumpFor(400);
  form1().stop_click();
  EXPECT_TRUE(tk::FileExists(dir + L"\\tem.bmp"));
  EXPECT_TRUE(Probe(base + L"\\t.avi").ok);
  RemoveTree(base);
}

// Coordinates and captures are physical pixels on scaled displays.
TEST(Manifest, DeclaresDpiAwareness) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring exe(self);
  exe = exe.substr(0, exe.find_last_of(L"\\/")) + L"\\..\\..\\frame\\Orvik.exe";
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(module) << "Orvik.exe not found next to the tests";
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_TRUE(res);
  const char* text = static_cast<const char*>(LockResource(LoadResource(module, res)));
  const std::string manifest(text, SizeofResource(module, res));
  EXPECT_NE(manifest.find("<dpiAware"), std::string::npos);
  EXPECT_NE(manifest.find("true/pm"), std::string::npos);
  EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
  FreeLibrary(module);
}
