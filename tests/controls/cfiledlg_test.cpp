#include "controls/cfiledlg.h"

#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <type_traits>

#include "support/dialogs.h"
#include "support/unix_tools.h"
#include "toolkit/app.h"
#include "toolkit/files.h"

using namespace testsupport;
using namespace std::string_literals;
using orvik::cFileDlg;

namespace {

constexpr int kFileNameBox = cmb13;  // 0x47c
constexpr int kFilterBox = cmb1;
constexpr int kReadOnlyBox = chx1;  // 0x410
constexpr DWORD kDialogWaitMs = 20000;
const std::wstring kOneNul(1, L'\0');

// Every test's dialogs carry its own title, so a dialog left open by one test is never
// answered by another.
std::wstring TestTitle() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return Wide(std::string(info->test_suite_name()) + "." + info->name());
}

std::wstring DocumentsFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) {
    return L"";
  }
  return path;
}

// The shell may end a folder path with a separator; both name the same folder.
std::wstring NoTrailingSlash(std::wstring path) {
  if (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

void WriteFile(const std::wstring& path) {
  tk::File f = tk::File::Open(path, tk::FileMode::Replace);
  ASSERT_TRUE(f.IsOpen());
  ASSERT_TRUE(f.WriteAt(0, "x", 1));
}

struct WindowDestroyer {
  void operator()(HWND hwnd) const { DestroyWindow(hwnd); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

// Types a name into the file-name box and presses OK, as a user would.
void TypeNameAndOk(HWND dialog, const std::wstring& name) {
  SetItemText(dialog, kFileNameBox, name);
  PressButton(dialog, IDOK);
}

bool IsChecked(HWND dialog, int id) {
  return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsShown(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item && IsWindowVisible(item);
}

std::vector<std::wstring> FilterDescriptions(HWND dialog) {
  HWND combo = GetDlgItem(dialog, kFilterBox);
  std::vector<std::wstring> out;
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[512] = {};
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    out.push_back(text);
  }
  return out;
}

int SelectedFilter(HWND dialog) {
  return static_cast<int>(SendMessageW(GetDlgItem(dialog, kFilterBox), CB_GETCURSEL, 0, 0));
}

std::wstring FolderShown(HWND dialog) {
  wchar_t path[1024] = {};
  SendMessageW(dialog, CDM_GETFOLDERPATH, 1024, reinterpret_cast<LPARAM>(path));
  return path;
}

BOOL CALLBACK CancelDialog(HWND hwnd, LPARAM found) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  wchar_t cls[16] = {};
  GetClassNameW(hwnd, cls, 16);
  if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && std::wstring(cls) == L"#32770") {
    PressButton(hwnd, IDCANCEL);
    *reinterpret_cast<bool*>(found) = true;
  }
  return TRUE;
}

// Cancels every dialog of this process (a file dialog and whatever it raised), so a test
// that went wrong fails instead of leaving a modal dialog open.
void CancelEveryDialog() {
  for (int round = 0; round < 20; ++round) {
    bool found = false;
    EnumWindows(CancelDialog, reinterpret_cast<LPARAM>(&found));
    if (!found) return;
    Sleep(200);
  }
}

// Types a name the dialog should accept and presses OK; should the dialog stay open (an
// unexpected prompt or error), everything is cancelled.
void ChooseFile(HWND dialog, const std::wstring& name, int nameBox = kFileNameBox) {
  SetItemText(dialog, nameBox, name);
  PressButton(dialog, IDOK);
  for (int i = 0; i < 60 && IsWindow(dialog); ++i) Sleep(50);
  if (IsWindow(dialog)) CancelEveryDialog();
}

class FileDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDir(L"filedlg");
    dlg_.DlgTitle(TestTitle());
  }
  void TearDown() override { RemoveTree(dir_); }

  std::wstring dir_;
  cFileDlg dlg_;
  std::wstring name_;
  std::wstring title_;
};

}  // namespace

TEST(FileDlgInstance, StartsWithTheDocumentedValues) {
  cFileDlg dlg;
  EXPECT_EQ(dlg.OwnerHwnd(), -1);
  EXPECT_EQ(dlg.FileMustExist(), -1);
  EXPECT_EQ(dlg.MultiSelect(), 0);
  EXPECT_EQ(dlg.ReadOnly(), 0);
  EXPECT_EQ(dlg.HideReadOnly(), -1);
  EXPECT_EQ(dlg.Filter(), L"");
  EXPECT_EQ(dlg.FilterIndex(), 0);
  EXPECT_FALSE(DocumentsFolder().empty());
  EXPECT_EQ(NoTrailingSlash(dlg.InitDirectory()), DocumentsFolder());
  EXPECT_EQ(dlg.DlgTitle(), tk::AppTitle());
  EXPECT_EQ(dlg.DefaultExt(), L"");
  EXPECT_EQ(dlg.Flags(), 0);
  EXPECT_EQ(dlg.OverwritePrompt(), -1);

  // Any C++ truth is stored as -1, the value the flag computation relies on.
  dlg.MultiSelect(true);
  dlg.HideReadOnly(1);
  dlg.OverwritePrompt(false);
  EXPECT_EQ(dlg.MultiSelect(), -1);
  EXPECT_EQ(dlg.HideReadOnly(), -1);
  EXPECT_EQ(dlg.OverwritePrompt(), 0);
}

TEST(FileDlgInstance, SpecialFoldersGiveTheirPathOrNothing) {
  cFileDlg dlg;
  dlg.InitDirectory(L"C:\\elsewhere");
  dlg.InitDirectorySpecial(5);
  EXPECT_EQ(NoTrailingSlash(dlg.InitDirectory()), DocumentsFolder());
  dlg.InitDirectorySpecial(CSIDL_WINDOWS);
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_EQ(NoTrailingSlash(dlg.InitDirectory()), windows);
  dlg.InitDirectorySpecial(CSIDL_DRIVES);  // a folder with no file-system path
  EXPECT_EQ(dlg.InitDirectory(), L"");
  dlg.InitDirectorySpecial(0x7FFF);  // no such folder
  EXPECT_EQ(dlg.InitDirectory(), L"");
}

TEST(FileDlgUtilities, ExistFileIsTrueForFilesOnly) {
  cFileDlg dlg;
  std::wstring dir = MakeTempDir(L"existfile");
  std::wstring file = dir + L"\\报告 ü.txt";
  WriteFile(file);
  EXPECT_EQ(dlg.ExistFile(file), -1);
  EXPECT_EQ(dlg.ExistFile(dir + L"\\missing.txt"), 0);
  EXPECT_EQ(dlg.ExistFile(dir), 0);
  EXPECT_EQ(dlg.ExistFile(dir + L"\\*.txt"), 0);
  EXPECT_EQ(dlg.ExistFile(L""), 0);
  EXPECT_EQ(dlg.ExistFile(file + L"\0.bak"s), 0);

  // Held open by someone who shares nothing: it still exists.
  {
    tk::UniqueFile lock(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(lock);
    EXPECT_EQ(dlg.ExistFile(file), -1);
  }
  RemoveTree(dir);
}

TEST(FileDlgUtilities, FileTitleIsTheNameOrEmptyWhenRejected) {
  cFileDlg dlg;
  EXPECT_EQ(dlg.VBGetFileTitle(L"C:\\Videos\\clip one.avi"), L"clip one.avi");
  EXPECT_EQ(dlg.VBGetFileTitle(L"Z:\\tmp\\报告.txt"), L"报告.txt");
  EXPECT_EQ(dlg.VBGetFileTitle(L"plain.bmp"), L"plain.bmp");
  EXPECT_EQ(dlg.VBGetFileTitle(L"C:\\Videos\\"), L"");
  EXPECT_EQ(dlg.VBGetFileTitle(L"C:\\Videos\\*.avi"), L"");
  EXPECT_EQ(dlg.VBGetFileTitle(L""), L"");
  // A name longer than the 1024-character buffer is rejected, not cut.
  EXPECT_EQ(dlg.VBGetFileTitle(L"C:\\" + std::wstring(1100, L'n')), L"");
}

TEST_F(FileDlgTest, OpenChoosesAnExistingFileAndWritesTheChoiceBack) {
  const std::wstring path = dir_ + L"\\日本語 ü.log";
  WriteFile(path);
  dlg_.Filter(L"Text (*.txt)|*.txt|All files|*.*");
  dlg_.FilterIndex(2);
  std::vector<std::wstring> offered;
  int selected = -2;
  bool readOnlyShown = true;
  DialogWatcher user(
      TestTitle(),
      [&](HWND h) {
        offered = FilterDescriptions(h);
        selected = SelectedFilter(h);
        readOnlyShown = IsShown(h, kReadOnlyBox);
        ChooseFile(h, path);
      },
      kDialogWaitMs);

  EXPECT_EQ(dlg_.VBGetOpenFileName(name_, title_), -1);
  ASSERT_TRUE(user.Wait());
  EXPECT_EQ(offered, (std::vector<std::wstring>{L"Text (*.txt)", L"All files"}));
  EXPECT_EQ(selected, 1);
  EXPECT_FALSE(readOnlyShown);
  EXPECT_EQ(name_, path);
  EXPECT_EQ(title_, L"日本語 ü.log");
  EXPECT_EQ(dlg_.FilterIndex(), 2);
  EXPECT_EQ(dlg_.Filter(), L"All files\0*.*"s);
  EXPECT_EQ(dlg_.Flags() & 0x1065, 0x1004);
  EXPECT_EQ(dlg_.ReadOnly(), 0);
  ASSERT_EQ(dlg_.InitDirectory().size(), 1024u);
  EXPECT_EQ(dlg_.InitDirectory().substr(0, path.size() + 1), path + L'\0');
}

TEST_F(FileDlgTest, OpenCancelledLeavesOneNulStringsAndIndexMinusOne) {
  dlg_.Filter(L"Text|*.txt");
  dlg_.FilterIndex(1);
  dlg_.Flags(0x80000);
  name_ = L"start.txt";
  title_ = L"start";
  DialogWatcher user(
      TestTitle(), [](HWND h) { PressButton(h, IDCANCEL); }, kDialogWaitMs);
  EXPECT_EQ(dlg_.VBGetOpenFileName(name_, title_), 0);
  ASSERT_TRUE(user.Wait());
  EXPECT_EQ(name_, kOneNul);
  EXPECT_EQ(title_, kOneNul);
  EXPECT_EQ(dlg_.FilterIndex(), -1);
  EXPECT_EQ(dlg_.Flags(), 0);
  EXPECT_EQ(dlg_.Filter(), kOneNul);

  // What the cancel left behind (index -1, a one-NUL filter and file name) still opens a
  // dialog, and a file can be chosen in it.
  const std::wstring path = dir_ + L"\\after.txt";
  WriteFile(path);
  std::vector<std::wstring> offered;
  DialogWatcher again(
      TestTitle(),
      [&](HWND h) {
        offered = FilterDescriptions(h);
        ChooseFile(h, path);
      },
      kDialogWaitMs);
  EXPECT_EQ(dlg_.VBGetOpenFileName(name_, title_), -1);
  ASSERT_TRUE(again.Wait());
  EXPECT_EQ(name_, path);
  EXPECT_TRUE(offered.empty());  // the cancel dropped the filter list
}

TEST_F(FileDlgTest, ReadOnlyBoxTickedByTheUserComesBackAsReadOnly) {
  const std::wstring path = dir_ + L"\\notes.txt";
  WriteFile(path);
  dlg_.HideReadOnly(false);
  bool shown = false, tickedAtStart = true;
  DialogWatcher user(
      TestTitle(),
      [&](HWND h) {
        shown = IsShown(h, kReadOnlyBox);
        tickedAtStart = IsChecked(h, kReadOnlyBox);
        SendMessageW(GetDlgItem(h, kReadOnlyBox), BM_SETCHECK, BST_CHECKED, 0);
        ChooseFile(h, path);
      },
      kDialogWaitMs);
  EXPECT_EQ(dlg_.VBGetOpenFileName(name_, title_), -1);
  ASSERT_TRUE(user.Wait());
  EXPECT_TRUE(shown);
  EXPECT_FALSE(tickedAtStart);
  EXPECT_EQ(dlg_.ReadOnly(), -1);
  EXPECT_EQ(dlg_.Flags() & 0x1, 0x1);

  // The next dialog starts with the box ticked; unticking it does not clear ReadOnly.
  bool tickedNext = false;
  DialogWatcher again(
      TestTitle(),
      [&](HWND h) {
        tickedNext = IsChecked(h, kReadOnlyBox);
        SendMessageW(GetDlgItem(h, kReadOnlyBox), BM_SETCHECK, BST_UNCHECKED, 0);
        ChooseFile(h, path);
      },
      kDialogWaitMs);
  EXPECT_EQ(dlg_.VBGetOpenFileName(name_, title_), -1);
  ASSERT_TRUE(again.Wait());
  EXPECT_TRUE(tickedNext);
  EXPECT_EQ(dlg_.Flags() & 0x1, 0);
  EXPECT_EQ(dlg_.ReadOnly(), -1);
}

TEST_F(FileDlgTest, SecondCallStartsFromTheFirstCallsResults) {
  const std::wstring sub = dir_ + L"\\second";
  ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
  const std::wstring path = sub + L"\\b.dat";
  WriteFile(path);
  dlg_.Filter(L"Text|*.txt|Data|*.dat|All|*.*");
  dlg_.FilterIndex(2);
  DialogWatcher first(
      TestTitle(), [&](HWND h) { ChooseFile(h, path); }, kDialogWaitMs);
  ASSERT_EQ(dlg_.VBGetOpenFileName(name_, title_), -1);
  ASSERT_TRUE(first.Wait());
  ASSERT_EQ(dlg_.Filter(), L"Data\0*.dat"s);

  // The system remembers where the last dialog ended and may move the current folder there:
  // end a dialog elsewhere first, so only InitDirectory can lead the next one back.
  SetCurrentDirectoryW(L"C:\\");
  WriteFile(dir_ + L"\\other.dat");
  cFileDlg other;
  other.DlgTitle(TestTitle());
  DialogWatcher elsewhere(
      TestTitle(), [&](HWND h) { ChooseFile(h, dir_ + L"\\other.dat"); }, kDialogWaitMs);
  std::wstring otherName, otherTitle;
  ASSERT_EQ(other.VBGetOpenFileName(otherName, otherTitle), -1);
  ASSERT_TRUE(elsewhere.Wait());
  // Flags passed back keep the read-only box hidden although HideReadOnly is now off.
  dlg_.HideReadOnly(false);
  std::vector<std::wstring> offered;
  std::wstring folder;
  bool readOnlyShown = true;
  DialogWatcher second(
      TestTitle(),
      [&](HWND h) {
        offered = FilterDescriptions(h);
        folder = FolderShown(h);
        readOnlyShown = IsShown(h, kReadOnlyBox);
        PressButton(h, IDCANCEL);
      },
      kDialogWaitMs);
  std::wstring nextName, nextTitle;
  EXPECT_EQ(dlg_.VBGetOpenFileName(nextName, nextTitle), 0);
  ASSERT_TRUE(second.Wait());
  EXPECT_EQ(offered, std::vector<std::wstring>{L"Data"});
  EXPECT_EQ(folder, sub);
  EXPECT_FALSE(readOnlyShown);
}

TEST_F(FileDlgTest, MultiSelectHandsTheCallerTheWholeSelectionUnsplit) {
  WriteFile(dir_ + L"\\a.txt");
  WriteFile(dir_ + L"\\b.txt");
  dlg_.MultiSelect(true);
  dlg_.InitDirectory(dir_);
  // Without the explorer flag a multiple selection gets the system's older dialog, whose
  // file-name box is edt1.
  DialogWatcher user(
      TestTitle(), [&](HWND h) { ChooseFile(h, L"a.txt b.txt", edt1); }, kDialogWaitMs);
  EXPECT_EQ(dlg_.VBGetOpenFileName(name_, title_), -1);
  ASSERT_TRUE(user.Wait());
  EXPECT_EQ(name_.rfind(dir_, 0), 0u) << Utf8(name_);
  EXPECT_NE(name_.find(L"a.txt"), std::wstring::npos) << Utf8(name_);
  EXPECT_NE(name_.find(L"b.txt"), std::wstring::npos) << Utf8(name_);
  EXPECT_EQ(dlg_.InitDirectory().substr(0, name_.size() + 1), name_ + L'\0');
}

TEST_F(FileDlgTest, SaveOverExistingFileAsksAndYesAccepts) {
  const std::wstring path = dir_ + L"\\clip.avi";
  WriteFile(path);
  std::wstring prompt;
  DialogWatcher user(
      TestTitle(),
      [&](HWND h) {
        TypeNameAndOk(h, path);
        HWND ask = WaitForDialog(TestTitle(), kDialogWaitMs, h);
        if (!ask) return CancelEveryDialog();
        prompt = DialogText(ask);
        PressButton(ask, IDYES);
      },
      kDialogWaitMs);
  EXPECT_EQ(dlg_.VBGetSaveFileName(name_, title_), -1);
  ASSERT_TRUE(user.Wait());
  EXPECT_FALSE(prompt.empty());
  EXPECT_EQ(name_, path);
  EXPECT_EQ(title_, L"clip.avi");
}

TEST_F(FileDlgTest, SaveOverExistingFileAsksAndNoKeepsTheDialogOpen) {
  const std::wstring path = dir_ + L"\\clip.avi";
  WriteFile(path);
  bool asked = false, stillOpen = false;
  DialogWatcher user(
      TestTitle(),
      [&](HWND h) {
        TypeNameAndOk(h, path);
        HWND ask = WaitForDialog(TestTitle(), kDialogWaitMs, h);
        asked = ask != nullptr;
        if (ask) PressButton(ask, IDNO);
        Sleep(300);
        stillOpen = IsWindow(h) && IsWindowVisible(h);
        CancelEveryDialog();
      },
      kDialogWaitMs);
  EXPECT_EQ(dlg_.VBGetSaveFileName(name_, title_), 0);
  ASSERT_TRUE(user.Wait());
  EXPECT_TRUE(asked);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(name_, kOneNul);
  EXPECT_EQ(dlg_.FilterIndex(), 0);
}

TEST_F(FileDlgTest, SaveWithoutOverwritePromptTakesAnExistingFileAtOnce) {
  const std::wstring path = dir_ + L"\\clip.avi";
  WriteFile(path);
  dlg_.OverwritePrompt(false);
  DialogWatcher user(
      TestTitle(), [&](HWND h) { ChooseFile(h, path); }, kDialogWaitMs);
  EXPECT_EQ(dlg_.VBGetSaveFileName(name_, title_), -1);
  ASSERT_TRUE(user.Wait());
  EXPECT_EQ(name_, path);
  EXPECT_EQ(dlg_.Flags() & 0x2, 0);
}

TEST_F(FileDlgTest, SaveAppendsTheDefaultExtensionOrTheFiltersWhenItIsEmpty) {
  dlg_.DefaultExt(L"avi");
  dlg_.InitDirectory(dir_);
  DialogWatcher user(
      TestTitle(), [&](HWND h) { ChooseFile(h, L"take two"); }, kDialogWaitMs);
  EXPECT_EQ(dlg_.VBGetSaveFileName(name_, title_), -1);
  ASSERT_TRUE(user.Wait());
  EXPECT_EQ(name_, dir_ + L"\\take two.avi");

  // An empty DefaultExt is still a default extension to the system, which then takes the
  // chosen filter's.
  dlg_.DefaultExt(L"");
  dlg_.Filter(L"Bitmaps|*.bmp");
  dlg_.InitDirectory(dir_);
  DialogWatcher again(
      TestTitle(), [&](HWND h) { ChooseFile(h, L"frame"); }, kDialogWaitMs);
  EXPECT_EQ(dlg_.VBGetSaveFileName(name_, title_), -1);
  ASSERT_TRUE(again.Wait());
  EXPECT_EQ(name_, dir_ + L"\\frame.bmp");
}

TEST_F(FileDlgTest, SaveCancelledLeavesIndexZero) {
  dlg_.Filter(L"Video|*.avi");
  dlg_.FilterIndex(1);
  DialogWatcher user(
      TestTitle(), [](HWND h) { PressButton(h, IDCANCEL); }, kDialogWaitMs);
  EXPECT_EQ(dlg_.VBGetSaveFileName(name_, title_), 0);
  ASSERT_TRUE(user.Wait());
  EXPECT_EQ(dlg_.FilterIndex(), 0);
  EXPECT_EQ(dlg_.Filter(), kOneNul);
  EXPECT_EQ(title_, kOneNul);
}

TEST_F(FileDlgTest, OwnerWindowOwnsTheDialogAndMinusOneOrZeroLeaveItUnowned) {
  UniqueWindow window(CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                      nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(window);
  HWND owner = window.get();
  for (int32_t value : {static_cast<int32_t>(reinterpret_cast<intptr_t>(owner)), -1, 0}) {
    dlg_.OwnerHwnd(value);
    HWND seenOwner = reinterpret_cast<HWND>(1);
    DialogWatcher user(
        TestTitle(),
        [&](HWND h) {
          seenOwner = GetWindow(h, GW_OWNER);
          PressButton(h, IDCANCEL);
        },
        kDialogWaitMs);
    EXPECT_EQ(dlg_.VBGetOpenFileName(name_, title_), 0);
    ASSERT_TRUE(user.Wait()) << value;
    EXPECT_EQ(seenOwner, value == -1 || value == 0 ? nullptr : owner) << value;
  }
}

TEST_F(FileDlgTest, PreviewDialogOpensAndCanBeCancelled) {
  dlg_.Filter(L"Video (*.avi)|*.avi");
  DialogWatcher user(
      TestTitle(), [](HWND h) { PressButton(h, IDCANCEL); }, kDialogWaitMs);
  EXPECT_EQ(dlg_.VBGetOpenFileNamePreview(name_, title_), 0);
  ASSERT_TRUE(user.Wait());
  EXPECT_EQ(dlg_.FilterIndex(), -1);
  EXPECT_EQ(name_, kOneNul);
}

TEST_F(FileDlgTest, OverlongArgumentsFailBeforeAnyDialogOpens) {
  dlg_.Filter(L"Text|*.txt");
  dlg_.FilterIndex(1);
  dlg_.Flags(0x8);
  // Should a dialog open after all, cancel it so the test fails instead of hanging.
  DialogWatcher guard(
      TestTitle(), [](HWND h) { PressButton(h, IDCANCEL); }, 60000);

  std::wstring longName(1025, L'a'), title;
  EXPECT_THROW(dlg_.VBGetOpenFileName(longName, title), std::invalid_argument);
  EXPECT_EQ(longName.size(), 1025u);
  std::wstring name, longTitle(513, L't');
  EXPECT_THROW(dlg_.VBGetSaveFileName(name, longTitle), std::invalid_argument);
  EXPECT_THROW(dlg_.VBGetOpenFileNamePreview(name, longTitle), std::invalid_argument);
  EXPECT_EQ(longTitle.size(), 513u);

  dlg_.Filter(std::wstring(32768, L'f'));
  EXPECT_THROW(dlg_.VBGetOpenFileName(name, title), std::overflow_error);
  EXPECT_THROW(dlg_.VBGetSaveFileName(name, title), std::overflow_error);

  EXPECT_FALSE(guard.Seen());
  EXPECT_EQ(dlg_.FilterIndex(), 1);
  EXPECT_EQ(dlg_.Flags(), 0x8);
  EXPECT_EQ(dlg_.Filter().size(), 32768u);
}
