#include "recorder/recording_text.h"

#include <gtest/gtest.h>

using namespace orvik;

TEST(AviName, ExtensionIsForcedCaseSensitively) {
  EXPECT_EQ(AviPathFromChoice(L"C:\\v\\clip"), L"C:\\v\\clip.avi");
  EXPECT_EQ(AviPathFromChoice(L"C:\\v\\clip.AVI"), L"C:\\v\\clip.AVI.avi");
  EXPECT_EQ(AviPathFromChoice(L"C:\\v\\clip.avi"), L"C:\\v\\clip.avi");
  EXPECT_EQ(AviPathFromChoice(L"  C:\\v\\a b  "), L"C:\\v\\a b.avi");
  EXPECT_EQ(AviPathFromChoice(L"avi"), L"avi.avi");
}

TEST(ProgressCaption, GeneralFormatWithTheUsersSeparator) {
  EXPECT_EQ(ProgressCaption(25, 3.5078125f, L"."), L"Flame:25 Second:3.5078125");
  EXPECT_EQ(ProgressCaption(1, -0.25f, L","), L"Flame:1 Second:-0,25");
  EXPECT_EQ(ProgressCaption(40000, 4000.0f, L"."), L"Flame:40000 Second:4000");
  EXPECT_EQ(GeneralNumber(0.1, L"."), L"0.1");
}
