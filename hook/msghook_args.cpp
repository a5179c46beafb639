#include "hook/msghook_args.h"

namespace orvik {

namespace {
using C = msghookConstants;

bool IsReportedMouseMessage(uint32_t msg) {
  // Both runs end at the middle button's double click: the wheel and X buttons that follow
  // them are not reported.
  return (msg >= C::kWM_MOUSEMOVE && msg <= C::kWM_MBUTTONDBLCLK) ||
         (msg >= C::kWM_NCMOUSEMOVE && msg <= C::kWM_NCMBUTTONDBLCLK);
}
}  // namespace

MsgArgLayout ClassifyMessage(uint32_t msg) {
  if (IsReportedMouseMessage(msg)) return MsgArgLayout::WParamAndPoint;
  switch (static_cast<int32_t>(msg)) {
    case C::kWM_HOTKEY:
      return MsgArgLayout::WParamAndPoint;
    case C::kWM_MOVE:
    case C::kWM_SIZE:
      return MsgArgLayout::Point;
    case C::kWM_KEYDOWN:
    case C::kWM_KEYUP:
    case C::kWM_SYSCOMMAND:
    case C::kWM_COMMAND:
    case C::kWM_ACTIVATEAPP:
    case C::kWM_NCACTIVATE:
    case C::kWM_QUERYOPEN:
      return MsgArgLayout::WParam;
    case C::kWM_DRAWCLIPBOARD:
    case C::kWM_QUERYENDSESSION:
      return MsgArgLayout::Bare;
    case C::kWM_GETMINMAXINFO:
      return MsgArgLayout::MinMaxInfo;
    default:
      return MsgArgLayout::None;
  }
}

int32_t LowWordSigned(int64_t lParam) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(lParam) & 0xFFFFu));
}

int32_t HighWordSigned(int64_t lParam) {
  return static_cast<int16_t>(
      static_cast<uint16_t>((static_cast<uint64_t>(lParam) >> 16) & 0xFFFFu));
}

MsgEventArgs EventArgs(MsgArgLayout layout, uint64_t wParam, int64_t lParam) {
  // wParam keeps the 32 bits the event carries; the numbers reported there (key states,
  // hit-test codes, commands, hot-key ids) all fit.
  const auto w = static_cast<int32_t>(static_cast<uint32_t>(wParam));
  switch (layout) {
    case MsgArgLayout::WParamAndPoint:
      return {w, LowWordSigned(lParam), HighWordSigned(lParam)};
    case MsgArgLayout::Point:
      return {LowWordSigned(lParam), HighWordSigned(lParam), 0};
    case MsgArgLayout::WParam:
      return {w, 0, 0};
    default:
      return {};
  }
}

}  // namespace orvik
