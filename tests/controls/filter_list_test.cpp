#include "controls/filter_list.h"

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>

using namespace orvik::filedlg;
using namespace std::string_literals;

namespace {
std::wstring Nuls(size_t n) { return std::wstring(n, L'\0'); }
}  // namespace

TEST(FileDlgFlags, NewInstanceAsksForExistingFilesAndHidesTheReadOnlyBox) {
  Fields f;
  EXPECT_EQ(DialogFlags(f, DialogKind::Open), 0x1004);
  EXPECT_EQ(DialogFlags(f, DialogKind::Save), 0x6);
  // Hook and template bits are dropped, every other bit passes.
  f.Flags = 0x60;
  EXPECT_EQ(DialogFlags(f, DialogKind::Open), 0x1004);
  EXPECT_EQ(DialogFlags(f, DialogKind::Save), 0x6);
  f.Flags = 0x80000 | 0x800 | 0x8;
  EXPECT_EQ(DialogFlags(f, DialogKind::Open), 0x80808 | 0x1004);
  f.Flags = -1;
  EXPECT_EQ(DialogFlags(f, DialogKind::Save), ~0x60);
}

TEST(FileDlgFlags, BooleansAddTheirBitsButNeverClearOnesAlreadyInFlags) {
  Fields f;
  f.FileMustExist = kFalse;
  f.HideReadOnly = kFalse;
  EXPECT_EQ(DialogFlags(f, DialogKind::Open), 0);
  f.MultiSelect = kTrue;
  f.ReadOnly = kTrue;
  EXPECT_EQ(DialogFlags(f, DialogKind::Open), 0x201);

  f.MultiSelect = kFalse;
  f.ReadOnly = kFalse;
  f.Flags = 0x1205;
  EXPECT_EQ(DialogFlags(f, DialogKind::Open), 0x1205);

  // Save ignores the open dialog's booleans and always hides the read-only box.
  f.OverwritePrompt = kFalse;
  f.Flags = 0;
  f.ReadOnly = kTrue;
  EXPECT_EQ(DialogFlags(f, DialogKind::Save), 0x4);
  f.Flags = 0x2;
  EXPECT_EQ(DialogFlags(f, DialogKind::Save), 0x6);
}

TEST(FileDlgFilter, BarsAndColonsBecomeNulsAndTwoNulsCloseTheList) {
  EXPECT_EQ(ConvertFilter(L""), Nuls(2));
  EXPECT_EQ(ConvertFilter(L"Text|*.txt"), L"Text\0*.txt\0\0"s);
  EXPECT_EQ(ConvertFilter(L"Video: AVI|*.avi|All|*.*"), L"Video\0 AVI\0*.avi\0All\0*.*\0\0"s);
  EXPECT_EQ(ConvertFilter(L"Bilder (*.bmp)|*.bmp;*.dib"), L"Bilder (*.bmp)\0*.bmp;*.dib\0\0"s);
  EXPECT_EQ(ConvertFilter(L"图片|*.bmp"), L"图片\0*.bmp\0\0"s);
}

TEST(FileDlgFilter, At32767CharactersItConvertsOneMoreOverflows) {
  std::wstring longest(kMaxFilterChars, L'x');
  longest[100] = L'|';
  std::wstring list = ConvertFilter(longest);
  EXPECT_EQ(list.size(), kMaxFilterChars + 2);
  EXPECT_EQ(list[100], L'\0');
  EXPECT_THROW(ConvertFilter(longest + L"x"), std::overflow_error);
}

TEST(FileDlgFilterEntry, PicksOneEntryOrNothing) {
  const std::wstring list = ConvertFilter(L"Text (*.txt)|*.txt|All files|*.*");
  EXPECT_EQ(FilterEntry(list, 1), L"Text (*.txt)\0*.txt"s);
  EXPECT_EQ(FilterEntry(list, 2), L"All files\0*.*"s);
  EXPECT_EQ(FilterEntry(list, 3), L"");
  EXPECT_EQ(FilterEntry(list, 4), L"");
  EXPECT_EQ(FilterEntry(list, 0), L"");
  EXPECT_EQ(FilterEntry(list, -1), L"");
  EXPECT_EQ(FilterEntry(list, INT_MIN), L"");
  EXPECT_EQ(FilterEntry(list, INT_MAX), L"");
}

TEST(FileDlgFilterEntry, OddListsGiveNoEntryRatherThanGarbage) {
  EXPECT_EQ(FilterEntry(Nuls(1), 1), L"");
  EXPECT_EQ(FilterEntry(L"", 1), L"");
  EXPECT_EQ(FilterEntry(L"no separators", 1), L"");
  // A list without its closing NULs still yields its last entry.
  EXPECT_EQ(FilterEntry(L"A\0a\0B\0b"s, 2), L"B\0b"s);
  // An empty filter's list holds one entry made of empty text.
  EXPECT_EQ(FilterEntry(ConvertFilter(L""), 1), Nuls(1));
  // A description split at a colon shifts the pairs: the pattern becomes a description.
  const std::wstring colon = ConvertFilter(L"Video: AVI|*.avi");
  EXPECT_EQ(FilterEntry(colon, 1), L"Video\0 AVI"s);
  EXPECT_EQ(FilterEntry(colon, 2), L"*.avi\0"s);
}

TEST(FileDlgRequest, OwnerMinusOneMeansNoneAnyOtherValueIsPassedOn) {
  Fields f;
  EXPECT_EQ(BuildRequest(f, DialogKind::Save, L"", L"").owner, 0);
  f.OwnerHwnd = 0;
  EXPECT_EQ(BuildRequest(f, DialogKind::Save, L"", L"").owner, 0);
  f.OwnerHwnd = -2;
  EXPECT_EQ(BuildRequest(f, DialogKind::Save, L"", L"").owner, -2);
}

TEST(FileDlgRequest, OverlongArgumentsFailWithTheirOwnError) {
  Fields f;
  EXPECT_THROW(BuildRequest(f, DialogKind::Open, std::wstring(1025, L'a'), L""),
               std::invalid_argument);
  EXPECT_THROW(BuildRequest(f, DialogKind::Save, L"", std::wstring(513, L'a')),
               std::invalid_argument);
  EXPECT_NO_THROW(
      BuildRequest(f, DialogKind::Save, std::wstring(1024, L'a'), std::wstring(512, L'a')));
  f.Filter = std::wstring(kMaxFilterChars + 1, L'a');
  EXPECT_THROW(BuildRequest(f, DialogKind::Open, L"", L""), std::overflow_error);
}

namespace {
Reply Chosen(const std::wstring& path, const std::wstring& title, int32_t flags, int32_t index) {
  Reply r;
  r.ok = true;
  r.file = PadBuffer(path, kFileBufferChars);
  r.fileTitle = PadBuffer(title, kTitleBufferChars);
  r.flags = flags;
  r.filterIndex = index;
  return r;
}
}  // namespace

TEST(FileDlgWriteBack, SuccessNarrowsTheFilterAndStartsTheNextDialogAtTheChoice) {
  Fields f;
  f.Filter = L"Text|*.txt|All|*.*";
  f.FilterIndex = 1;
  Request request = BuildRequest(f, DialogKind::Open, L"", L"");
  std::wstring name, title;
  WriteBack(f, DialogKind::Open, request, Chosen(L"Z:\\tmp\\a.log", L"a.log", 0x1404, 2), name,
            title);
  EXPECT_EQ(name, L"Z:\\tmp\\a.log");
  EXPECT_EQ(title, L"a.log");
  EXPECT_EQ(f.Flags, 0x1404);
  EXPECT_EQ(f.FilterIndex, 2);
  EXPECT_EQ(f.Filter, L"All\0*.*"s);
  EXPECT_EQ(f.InitDirectory.size(), kFileBufferChars);
  EXPECT_EQ(UpToFirstNul(f.InitDirectory), L"Z:\\tmp\\a.log");
  EXPECT_EQ(f.ReadOnly, kFalse);

  // The narrowed filter is the next call's whole list.
  Request next = BuildRequest(f, DialogKind::Open, L"", L"");
  EXPECT_EQ(next.filter, L"All\0*.*\0\0"s);
  EXPECT_EQ(next.flags, 0x1404);
}

TEST(FileDlgWriteBack, ReadOnlyIsSetByOpenDialogsOnlyAndNeverCleared) {
  Fields f;
  std::wstring name, title;
  Request open = BuildRequest(f, DialogKind::Open, L"", L"");
  WriteBack(f, DialogKind::Save, open, Chosen(L"C:\\a", L"a", 0x1, 1), name, title);
  EXPECT_EQ(f.ReadOnly, kFalse);
  WriteBack(f, DialogKind::Open, open, Chosen(L"C:\\a", L"a", 0x1, 1), name, title);
  EXPECT_EQ(f.ReadOnly, kTrue);
  WriteBack(f, DialogKind::Open, open, Chosen(L"C:\\a", L"a", 0x0, 1), name, title);
  EXPECT_EQ(f.ReadOnly, kTrue);
}
