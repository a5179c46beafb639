#pragma once
// A form's menu bar built from a tree: top-level popups holding items, each with a
// caption ("&" marks the access key), an enabled and a checked state and a click handler.
// The tree is the truth: its states are kept here and pushed into the HMENU when one
// exists, so they survive a form being unloaded and loaded again. Clicks come through the
// owning form's WM_COMMAND.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/handles.h"

namespace tk {

class Menu;

class MenuItem {
 public:
  ~MenuItem();
  MenuItem(const MenuItem&) = delete;
  MenuItem& operator=(const MenuItem&) = delete;

  // Adds a child; this item becomes a popup. The reference stays valid as long as the menu.
  MenuItem& Add(const std::wstring& caption, std::function<void()> onClick = {});
  void AddSeparator();

  const std::wstring& Caption() const { return caption_; }
  void SetCaption(const std::wstring& caption);
  // A key shown after the caption ("Ctrl+Shift+F9"); empty shows none. Caption() stays
  // without it.
  const std::wstring& KeyText() const { return keyText_; }
  void SetKeyText(const std::wstring& keyText);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);

  UINT Id() const { return id_; }
  bool IsPopup() const { return !children_.empty(); }
  size_t Count() const { return children_.size(); }
  MenuItem& Child(size_t index) { return *children_[index]; }

  // Runs the click handler (what choosing the item does).
  void Click();

  std::function<void()> onClick;

 private:
  friend class Menu;
  MenuItem(Menu* root, MenuItem* parent, std::wstring caption, std::function<void()> onClick);
  MenuItem& AddChild(std::unique_ptr<MenuItem> child);
  void AppendTo(HMENU parent);
  UINT Flags() const;
  std::wstring Label() const;
  void Update();
  HMENU ParentMenu() const;
  UINT Position() const;

  Menu* root_;
  MenuItem* parent_;
  std::wstring caption_;
  std::wstring keyText_;
  bool enabled_ = true;
  bool checked_ = false;
  bool separator_ = false;
  UINT id_ = 0;
  HMENU popup_ = nullptr;  // owned by the menu bar's HMENU tree
  std::vector<std::unique_ptr<MenuItem>> children_;
};

class Menu {
 public:
  Menu();
  ~Menu();
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;

  // Adds a top-level entry (normally a popup: add items to it).
  MenuItem& Add(const std::wstring& caption, std::function<void()> onClick = {});
  size_t Count() const { return items_.size(); }
  MenuItem& Item(size_t index) { return *items_[index]; }

  // The menu-bar HMENU, built on first use; owned by this object, never by the window.
  HMENU Handle();
  // Runs the click handler of the item with this command id, in whichever menu it is;
  // false when no live item has it. Forms call it for WM_COMMAND.
  static bool DispatchCommand(UINT id);
  static MenuItem* FindById(UINT id);

  // Used by Form: the window showing this bar, redrawn after top-level changes.
  void AttachTo(HWND window);
  HWND Window() const { return window_; }

 private:
  friend class MenuItem;
  void Redraw();
  UniqueMenu bar_;
  HWND window_ = nullptr;
  std::vector<std::unique_ptr<MenuItem>> items_;
};

}  // namespace tk
