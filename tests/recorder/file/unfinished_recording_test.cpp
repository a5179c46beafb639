// The note of a recording whose file is not finished yet, as the program keeps it between runs.
#include "recorder/file/unfinished_recording.h"

#include <gtest/gtest.h>

using namespace orvik;

TEST(UnfinishedRecording, ItsNoteReadsBackAsWrittenAndAnythingElseIsNotOurs) {
  EXPECT_TRUE(MayNeedRepair(L"C:\\v\\clip.mp4"));
  EXPECT_TRUE(MayNeedRepair(L"C:\\v\\CLIP.MP4"));
  EXPECT_FALSE(MayNeedRepair(L"C:\\v\\clip.avi"));
  EXPECT_FALSE(MayNeedRepair(L"C:\\v.mp4\\clip"));
  EXPECT_FALSE(MayNeedRepair(L""));

  UnfinishedRecording note;
  note.id = NewRecordingId();
  EXPECT_NE(note.id, NewRecordingId());
  note.file = {0x89ABCDEF, 0x0123456789ABCDEF};
  note.path = L"C:\\视频\\a b.mp4";
  note.partialPath = L"C:\\视频\\a b.mp4.42.partial";
  const std::wstring name = StoredName(note.id), value = StoredValue(note);
  EXPECT_EQ(name.size(), 32u);
  const std::optional<UnfinishedRecording> back = UnfinishedFromStored(name, value);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->id, note.id);
  EXPECT_EQ(back->file, note.file);
  EXPECT_EQ(back->path, note.path);
  EXPECT_EQ(back->partialPath, note.partialPath);
  // An older program's bare path, a name that is no id, a damaged value: none is taken.
  EXPECT_FALSE(UnfinishedFromStored(L"RecordingInProgress", L"C:\\v\\clip.mp4"));
  EXPECT_FALSE(UnfinishedFromStored(name.substr(1), value));
  EXPECT_FALSE(UnfinishedFromStored(name, L"C:\\v\\clip.mp4"));
  EXPECT_FALSE(UnfinishedFromStored(name, value.substr(0, 24) + L"|" + note.path + L"|"));
  EXPECT_FALSE(UnfinishedFromStored(name, L"89abcdeg:0123456789abcdef|a|b"));
  EXPECT_FALSE(UnfinishedFromStored(name, L"89abcdef:0123456789abcdef||b"));
  EXPECT_FALSE(UnfinishedFromStored(name, L"89abcdef:0123456789abcdef|a|b|c"));
}
