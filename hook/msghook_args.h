#pragma once
// How the hook class turns a window message into the three numbers of its event. No
// <windows.h>: the SDK's message names are macros there, so the class's read-only copies of
// them carry a `k` prefix and live here, where the native build can test the rules too.
#include <cstdint>

namespace orvik {

// The message, command, mouse-key and hot-key-modifier numbers the hook class deals in, with
// the values the Windows SDK gives the names after the `k`.
struct msghookConstants {
  static constexpr int32_t kSC_KEYMENU = 0xF100;
  static constexpr int32_t kSC_HOTKEY = 0xF150;
  static constexpr int32_t kSC_MOVE = 0xF010;
  static constexpr int32_t kSC_SIZE = 0xF000;
  static constexpr int32_t kSC_MINIMIZE = 0xF020;
  static constexpr int32_t kSC_MAXIMIZE = 0xF030;
  static constexpr int32_t kSC_CLOSE = 0xF060;
  static constexpr int32_t kSC_RESTORE = 0xF120;

  static constexpr int32_t kMK_LBUTTON = 0x0001;
  static constexpr int32_t kMK_RBUTTON = 0x0002;
  static constexpr int32_t kMK_MBUTTON = 0x0010;
  static constexpr int32_t kMK_SHIFT = 0x0004;
  static constexpr int32_t kMK_CONTROL = 0x0008;

  static constexpr int32_t kMOD_ALT = 1;
  static constexpr int32_t kMOD_CONTROL = 2;
  static constexpr int32_t kMOD_SHIFT = 4;

  static constexpr int32_t kWM_MOVE = 0x0003;
  static constexpr int32_t kWM_SIZE = 0x0005;
  static constexpr int32_t kWM_SYSCOMMAND = 0x0112;
  static constexpr int32_t kWM_COMMAND = 0x0111;
  static constexpr int32_t kWM_ACTIVATEAPP = 0x001C;
  static constexpr int32_t kWM_NCACTIVATE = 0x0086;
  static constexpr int32_t kWM_GETMINMAXINFO = 0x0024;
  static constexpr int32_t kWM_QUERYOPEN = 0x0013;
  static constexpr int32_t kWM_HOTKEY = 0x0312;
  static constexpr int32_t kWM_DRAWCLIPBOARD = 0x0308;
  static constexpr int32_t kWM_QUERYENDSESSION = 0x0011;
  static constexpr int32_t kWM_KEYDOWN = 0x0100;
  static constexpr int32_t kWM_KEYUP = 0x0101;

  static constexpr int32_t kWM_MOUSEMOVE = 0x0200;
  static constexpr int32_t kWM_LBUTTONDOWN = 0x0201;
  static constexpr int32_t kWM_LBUTTONUP = 0x0202;
  static constexpr int32_t kWM_LBUTTONDBLCLK = 0x0203;
  static constexpr int32_t kWM_RBUTTONDOWN = 0x0204;
  static constexpr int32_t kWM_RBUTTONUP = 0x0205;
  static constexpr int32_t kWM_RBUTTONDBLCLK = 0x0206;
  static constexpr int32_t kWM_MBUTTONDOWN = 0x0207;
  static constexpr int32_t kWM_MBUTTONUP = 0x0208;
  static constexpr int32_t kWM_MBUTTONDBLCLK = 0x0209;

  static constexpr int32_t kWM_NCMOUSEMOVE = 0x00A0;
  static constexpr int32_t kWM_NCLBUTTONDOWN = 0x00A1;
  static constexpr int32_t kWM_NCLBUTTONUP = 0x00A2;
  static constexpr int32_t kWM_NCLBUTTONDBLCLK = 0x00A3;
  static constexpr int32_t kWM_NCRBUTTONDOWN = 0x00A4;
  static constexpr int32_t kWM_NCRBUTTONUP = 0x00A5;
  static constexpr int32_t kWM_NCRBUTTONDBLCLK = 0x00A6;
  static constexpr int32_t kWM_NCMBUTTONDOWN = 0x00A7;
  static constexpr int32_t kWM_NCMBUTTONUP = 0x00A8;
  static constexpr int32_t kWM_NCMBUTTONDBLCLK = 0x00A9;
};

// What the event's arguments carry for a message; the hook reports only messages that have one.
enum class MsgArgLayout {
  None,            // not reported
  WParamAndPoint,  // mouse messages and WM_HOTKEY: wParam, then the two signed words of lParam
  Point,           // WM_MOVE, WM_SIZE: the two signed words of lParam, then 0
  WParam,          // keys, commands and activation: wParam, 0, 0
  Bare,            // WM_DRAWCLIPBOARD, WM_QUERYENDSESSION: 0, 0, 0
  MinMaxInfo,      // WM_GETMINMAXINFO: reported through the class's eight size fields instead
};

struct MsgEventArgs {
  int32_t arg1 = 0;
  int32_t arg2 = 0;
  int32_t arg3 = 0;
};

MsgArgLayout ClassifyMessage(uint32_t msg);

// lParam's low and high 16-bit words, each read as signed: 0xFFFB is -5, a point left of or
// above the window. Bits above the low 32 of a 64-bit lParam play no part.
int32_t LowWordSigned(int64_t lParam);
int32_t HighWordSigned(int64_t lParam);

// The event's three arguments for a message with this layout (all 0 for None and MinMaxInfo).
MsgEventArgs EventArgs(MsgArgLayout layout, uint64_t wParam, int64_t lParam);

}  // namespace orvik
