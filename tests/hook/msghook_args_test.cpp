#include "hook/msghook_args.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace orvik;
using C = msghookConstants;

TEST(MessageClassification, EveryReportedMessageHasItsLayout) {
  for (int32_t m = C::kWM_MOUSEMOVE; m <= C::kWM_MBUTTONDBLCLK; ++m) {
    EXPECT_EQ(ClassifyMessage(m), MsgArgLayout::WParamAndPoint) << m;
  }
  for (int32_t m = C::kWM_NCMOUSEMOVE; m <= C::kWM_NCMBUTTONDBLCLK; ++m) {
    EXPECT_EQ(ClassifyMessage(m), MsgArgLayout::WParamAndPoint) << m;
  }
  EXPECT_EQ(ClassifyMessage(C::kWM_HOTKEY), MsgArgLayout::WParamAndPoint);
  EXPECT_EQ(ClassifyMessage(C::kWM_MOVE), MsgArgLayout::Point);
  EXPECT_EQ(ClassifyMessage(C::kWM_SIZE), MsgArgLayout::Point);
  for (int32_t m : {C::kWM_KEYDOWN, C::kWM_KEYUP, C::kWM_SYSCOMMAND, C::kWM_COMMAND,
                    C::kWM_ACTIVATEAPP, C::kWM_NCACTIVATE, C::kWM_QUERYOPEN}) {
    EXPECT_EQ(ClassifyMessage(m), MsgArgLayout::WParam) << m;
  }
  EXPECT_EQ(ClassifyMessage(C::kWM_DRAWCLIPBOARD), MsgArgLayout::Bare);
  EXPECT_EQ(ClassifyMessage(C::kWM_QUERYENDSESSION), MsgArgLayout::Bare);
  EXPECT_EQ(ClassifyMessage(C::kWM_GETMINMAXINFO), MsgArgLayout::MinMaxInfo);
}

TEST(MessageClassification, NeighboursOfTheReportedRunsAreNotReported) {
  const uint32_t unreported[] = {
      0x0000,            // WM_NULL
      0x000F,            // WM_PAINT
      0x0010,            // WM_CLOSE
      0x0102,            // WM_CHAR
      0x0104,            // WM_SYSKEYDOWN
      0x009F,            // just below the non-client mouse run
      0x00AB,            // WM_NCXBUTTONDOWN
      0x01FF,            // just below the client mouse run
      0x020A,            // WM_MOUSEWHEEL
      0x020B,            // WM_XBUTTONDOWN
      0x030D,            // WM_CHANGECBCHAIN
      0x8001,            // WM_APP + 1
      0x10000 + 0x0201,  // a message number that only matches in its low word
  };
  for (uint32_t m : unreported) EXPECT_EQ(ClassifyMessage(m), MsgArgLayout::None) << m;
}

TEST(MessageArguments, WordsOfLParamAreSigned) {
  EXPECT_EQ(LowWordSigned(0x012CFFFB), -5);
  EXPECT_EQ(HighWordSigned(0x012CFFFB), 300);
  EXPECT_EQ(LowWordSigned(0x80007FFF), 32767);
  EXPECT_EQ(HighWordSigned(0x80007FFF), -32768);
  EXPECT_EQ(HighWordSigned(0xFFFF0000), -1);
  // Only the low 32 bits of a 64-bit lParam carry the point.
  EXPECT_EQ(LowWordSigned(INT64_C(0x7FFFFFFF00010002)), 2);
  EXPECT_EQ(HighWordSigned(INT64_C(0x7FFFFFFF00010002)), 1);
  EXPECT_EQ(HighWordSigned(-1), -1);
}

TEST(MessageArguments, EachLayoutFillsItsArguments) {
  const int64_t clickAtMinus5And300 = 0x012CFFFB;
  MsgEventArgs a = EventArgs(MsgArgLayout::WParamAndPoint, C::kMK_LBUTTON, clickAtMinus5And300);
  EXPECT_EQ(a.arg1, 1);
  EXPECT_EQ(a.arg2, -5);
  EXPECT_EQ(a.arg3, 300);

  // WM_HOTKEY: id, modifiers, virtual key.
  a = EventArgs(MsgArgLayout::WParamAndPoint, 7, (0x77 << 16) | (C::kMOD_CONTROL | C::kMOD_ALT));
  EXPECT_EQ(a.arg1, 7);
  EXPECT_EQ(a.arg2, 3);
  EXPECT_EQ(a.arg3, 0x77);

  a = EventArgs(MsgArgLayout::Point, 0xDEAD, (600 << 16) | 800);
  EXPECT_EQ(a.arg1, 800);
  EXPECT_EQ(a.arg2, 600);
  EXPECT_EQ(a.arg3, 0);

  a = EventArgs(MsgArgLayout::WParam, C::kSC_CLOSE, 0x12345678);
  EXPECT_EQ(a.arg1, C::kSC_CLOSE);
  EXPECT_EQ(a.arg2, 0);
  EXPECT_EQ(a.arg3, 0);

  // A 64-bit wParam keeps its low 32 bits.
  a = EventArgs(MsgArgLayout::WParam, UINT64_C(0x100000000000F060), 0);
  EXPECT_EQ(a.arg1, 0xF060);

  for (MsgArgLayout l : {MsgArgLayout::Bare, MsgArgLayout::None, MsgArgLayout::MinMaxInfo}) {
    a = EventArgs(l, 5, 0x00050005);
    EXPECT_EQ(a.arg1, 0);
    EXPECT_EQ(a.arg2, 0);
    EXPECT_EQ(a.arg3, 0);
  }
}
