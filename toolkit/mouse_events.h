#pragma once
// The mouse events every toolkit control offers. X and Y are twips inside the control;
// buttons and shift bits as in form.h (1 left, 2 right, 4 middle).
#include <functional>

namespace tk {

struct MouseEvents {
  using MouseHandler = std::function<void(int button, int shift, float x, float y)>;

  MouseHandler onMouseDown;
  MouseHandler onMouseMove;
  MouseHandler onMouseUp;
  std::function<void()> onClick;     // left press and release inside the control
  std::function<void()> onDblClick;  // left double click
};

}  // namespace tk
