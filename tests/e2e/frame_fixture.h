#pragma once
// The skinned frame window, run in the test's own process and looked at the way a user sees
// it: screen pixels, window rectangles and the real pointer.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "frame/form1.h"
#include "frame/forms.h"
#include "panel/form2.h"
#include "panel/form3.h"
#include "support/ui_driver.h"
#include "toolkit/picture.h"

namespace testsupport {

class FrameTest : public ::testing::Test {
 public:
  static HWND Frame() { return form1().Handle(); }
  static RECT Outer();
  // A point of the frame's client area in screen pixels.
  static POINT ClientPoint(int x, int y);
  // The centre of a child window on the screen.
  static POINT CentreOf(HWND window);
  // The window region's bounding box, relative to the window's outer corner.
  static RECT RegionBox();
  static bool InRegion(int x, int y);

 protected:
  void SetUp() override;
  void TearDown() override;
};

// What the screen shows now.
class ScreenShot {
 public:
  ScreenShot();
  COLORREF At(int x, int y) const { return image_.PixelAt(x, y); }
  COLORREF At(POINT p) const { return At(p.x, p.y); }

 private:
  tk::Picture image_;
};

// Watches for a pop-up menu (class #32768) on another thread while the GUI thread runs the
// menu's modal loop; records where it opened and then closes it with Escape or chooses the
// item with the given command identifier.
class PopupWatch {
 public:
  explicit PopupWatch(DWORD timeoutMs = 5000, UINT chooseCommand = 0);
  ~PopupWatch();
  PopupWatch(const PopupWatch&) = delete;
  PopupWatch& operator=(const PopupWatch&) = delete;

  // Pumps until the watch has finished; true when a menu opened.
  bool PumpUntilDone();
  bool Opened() const { return opened_; }
  RECT Where() const { return where_; }
  DWORD OpenedAfterMs() const { return openedAfter_; }

 private:
  void Run(DWORD timeoutMs, UINT chooseCommand);
  std::atomic<bool> done_{false};
  std::atomic<bool> opened_{false};
  RECT where_{};
  DWORD openedAfter_ = 0;
  std::thread thread_;
};

}  // namespace testsupport
