#pragma once
// Forms: the base class of every top-level window of the program.
//
// Event convention of the toolkit:
// - A Form raises its events as protected virtual functions named like the design's
//   handlers (Form_Load, Form_Unload, Form_Resize, ...); a form class overrides the ones it
//   handles. The defaults do nothing.
// - Controls (PictureBox, Label, Timer, MenuItem) raise events through public
//   std::function members named on<Event> (onMouseDown, onTimer, onClick); an empty one is
//   skipped. A handler is called on the GUI thread from the window procedure; whatever it
//   throws is caught there and dropped, so nothing crosses a window procedure.
// - Mouse events carry button (1 left, 2 right, 4 middle; for moves the buttons held),
//   shift (1 Shift, 2 Ctrl, 4 Alt) and x, y in twips relative to the window's client area.
//   Pressing a button captures the mouse until every button is up again, so a drag keeps
//   reporting moves outside the window.
// - Geometry is in twips (15 per pixel); twips become pixels rounded half to even.
//
// A Form creates its window on first reference (hWnd() or Create()) and runs Form_Load once
// then. Controls of a form are created in its Form_Load. Unload() runs Form_Unload and
// destroys the window unless cancelled; the next reference loads the form again.
#include <windows.h>

#include <optional>
#include <string>

#include "toolkit/handles.h"

namespace tk {

class Menu;

// Window states as the design numbers them.
enum WindowStateValue : int { kStateNormal = 0, kStateMinimized = 1, kStateMaximized = 2 };
// Mouse buttons and shift-key bits of mouse and key events.
enum MouseButton : int { kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };
enum ShiftBits : int { kShiftMask = 1, kCtrlMask = 2, kAltMask = 4 };

// How a form's window is made; chosen by the form class before the first reference.
struct FormOptions {
  DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  DWORD exStyle = 0;
  std::wstring caption;
  // Client size and outer position in twips; no position means "let the system choose".
  double clientWidth = 6240;
  double clientHeight = 5115;
  std::optional<double> left;
  std::optional<double> top;
  int iconId = 0;                    // icon resource of the executable; 0: none
  HWND owner = nullptr;              // owner window of a top-level form (borrowed)
  COLORREF backColor = CLR_INVALID;  // CLR_INVALID: the system's button-face colour

  // A sizable window with a caption (the default).
  static FormOptions Sizable(std::wstring caption, double clientWidth, double clientHeight);
  // A window without border or caption, e.g. a full-screen overlay.
  static FormOptions BorderlessPopup();
  // A topmost window on the screen that takes neither the focus nor a click (a layered one with
  // WS_EX_TRANSPARENT: every click goes through to what lies below); placed when shown.
  static FormOptions ClickThroughPopup(COLORREF backColor);
};

// What such a window answers when the system asks where a click lands (nowhere of its) and
// whether a click activates it (no); nothing for any other message.
std::optional<LRESULT> ClickThroughAnswer(UINT msg);

class Form {
 public:
  explicit Form(FormOptions options = {});
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  // The window handle; creates and loads the form on first reference. Null only when the
  // window could not be created.
  HWND hWnd();
  bool Create() { return hWnd() != nullptr; }
  bool IsLoaded() const { return hwnd_ != nullptr; }
  // The handle without loading the form (null when not loaded).
  HWND Handle() const { return hwnd_; }

  // Runs Form_Unload; destroys the window unless the handler cancelled. True when the
  // form is (now) not loaded. A WM_CLOSE goes the same way.
  bool Unload();

  void Show();  // modeless; loads the form first when needed
  void Hide();
  bool Visible() const;
  void SetVisible(bool visible);

  std::wstring Caption() const;
  void SetCaption(const std::wstring& caption);

  int WindowState() const;  // kStateNormal, kStateMinimized, kStateMaximized
  void SetWindowState(int state);

  // Outer position and size in twips: screen coordinates for a top-level form, the
  // parent's client coordinates for a form reparented into another window.
  double Left() const;
  double Top() const;
  double Width() const;
  double Height() const;
  void SetLeft(double twips);
  void SetTop(double twips);
  void SetWidth(double twips);
  void SetHeight(double twips);
  void Move(double left, double top);
  void Move(double left, double top, double width, double height);
  // Client size in twips.
  double ScaleWidth() const;
  double ScaleHeight() const;

  COLORREF BackColor() const { return backColor_; }
  void SetBackColor(COLORREF color);

  // 0: to the front of its siblings (without activating), 1: to the back.
  void ZOrder(int position = 0);

  // Attaches a menu bar (borrowed; it must outlive the window or be detached with null).
  // Allowed before the form is loaded: the bar is attached when the window is made.
  void SetMenuBar(Menu* menu);
  Menu* MenuBar() const { return menu_; }

  // The font the form measures text in (borrowed; default: the system's GUI font).
  HFONT Font() const { return font_; }
  void SetFont(HFONT borrowed) { font_ = borrowed; }
  // Width and height of `text` in the form's font, in twips.
  double TextWidth(const std::wstring& text) const;
  double TextHeight(const std::wstring& text) const;

  // Repaints the whole window now.
  void Refresh();

  const FormOptions& Options() const { return options_; }

 protected:
  // Changes creation options before the first reference.
  FormOptions& MutableOptions() { return options_; }

  virtual void Form_Load() {}
  virtual void Form_Unload(int& cancel) { (void)cancel; }
  virtual void Form_Resize() {}
  virtual void Form_Paint() {}
  virtual void Form_Activate() {}
  // Set keyCode to 0 to consume the key (then the system does not act on it, e.g. no
  // system menu for Alt+Space).
  virtual void Form_KeyDown(int& keyCode, int shift) { (void)keyCode, (void)shift; }
  virtual void Form_MouseDown(int button, int shift, float x, float y) {
    (void)button, (void)shift, (void)x, (void)y;
  }
  virtual void Form_MouseMove(int button, int shift, float x, float y) {
    (void)button, (void)shift, (void)x, (void)y;
  }
  virtual void Form_MouseUp(int button, int shift, float x, float y) {
    (void)button, (void)shift, (void)x, (void)y;
  }
  virtual void Form_DblClick() {}
  // Any message before the form's own handling; return a value to consume it.
  virtual std::optional<LRESULT> Form_Message(UINT msg, WPARAM wParam, LPARAM lParam) {
    (void)msg, (void)wParam, (void)lParam;
    return std::nullopt;
  }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  bool MakeWindow();
  void LoadIcons();
  void AfterDestroy();
  LRESULT OnKey(UINT msg, WPARAM wParam, LPARAM lParam);
  void OnMouse(UINT msg, WPARAM wParam, LPARAM lParam);
  RECT OuterRectInParent() const;
  void SetOuterRect(double left, double top, double width, double height);

  FormOptions options_;
  HWND hwnd_ = nullptr;
  Menu* menu_ = nullptr;
  HFONT font_ = nullptr;
  COLORREF backColor_ = 0;
  UniqueBrush backBrush_;
  UniqueIcon bigIcon_;
  UniqueIcon smallIcon_;
  int pendingState_ = -1;  // state chosen while hidden, applied by Show()
  bool creating_ = false;
  bool loading_ = false;
  bool unloading_ = false;
  bool shownOnce_ = false;
  bool swallowSysChar_ = false;
  int buttonsDown_ = 0;
};

}  // namespace tk
