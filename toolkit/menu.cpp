#include "toolkit/menu.h"

#include <unordered_map>

#include "toolkit/key_text.h"
#include "toolkit/window_util.h"

namespace tk {

namespace {

// Command ids are unique across every live menu of the process, so a WM_COMMAND finds its
// item without the form holding a pointer that could outlive the menu.
std::unordered_map<UINT, MenuItem*>& Registry() {
  static std::unordered_map<UINT, MenuItem*> items;
  return items;
}

constexpr UINT kFirstId = 0x100;
constexpr UINT kLastId = 0x7FFF;

UINT NewId() {
  static UINT next = kFirstId;
  for (;;) {
    const UINT id = next;
    next = next == kLastId ? kFirstId : next + 1;
    if (!Registry().count(id)) return id;
  }
}

}  // namespace

MenuItem::MenuItem(Menu* root, MenuItem* parent, std::wstring caption,
                   std::function<void()> onClick)
    : onClick(std::move(onClick)),
      root_(root),
      parent_(parent),
      caption_(std::move(caption)),
      id_(NewId()) {
  Registry()[id_] = this;
}

MenuItem::~MenuItem() { Registry().erase(id_); }

MenuItem& MenuItem::Add(const std::wstring& caption, std::function<void()> onClick) {
  return AddChild(
      std::unique_ptr<MenuItem>(new MenuItem(root_, this, caption, std::move(onClick))));
}

void MenuItem::AddSeparator() {
  auto separator = std::unique_ptr<MenuItem>(new MenuItem(root_, this, L"", {}));
  separator->separator_ = true;
  AddChild(std::move(separator));
}

MenuItem& MenuItem::AddChild(std::unique_ptr<MenuItem> child) {
  MenuItem& added = *child;
  children_.push_back(std::move(child));
  if (!root_->bar_) return added;
  if (!popup_) {
    // A plain entry of a built menu turns into a popup.
    popup_ = CreatePopupMenu();
    ModifyMenuW(ParentMenu(), Position(), MF_BYPOSITION | MF_POPUP | Flags(),
                reinterpret_cast<UINT_PTR>(popup_), Label().c_str());
  }
  added.AppendTo(popup_);
  root_->Redraw();
  return added;
}

UINT MenuItem::Flags() const {
  return (enabled_ ? MF_ENABLED : MF_GRAYED) | (checked_ ? MF_CHECKED : MF_UNCHECKED);
}

void MenuItem::AppendTo(HMENU parent) {
  if (separator_) {
    AppendMenuW(parent, MF_SEPARATOR, 0, nullptr);
    return;
  }
  if (children_.empty()) {
    AppendMenuW(parent, MF_STRING | Flags(), id_, Label().c_str());
    return;
  }
  popup_ = CreatePopupMenu();
  for (auto& child : children_) child->AppendTo(popup_);
  AppendMenuW(parent, MF_POPUP | Flags(), reinterpret_cast<UINT_PTR>(popup_), Label().c_str());
}

HMENU MenuItem::ParentMenu() const { return parent_ ? parent_->popup_ : root_->bar_.get(); }

UINT MenuItem::Position() const {
  const auto& siblings = parent_ ? parent_->children_ : root_->items_;
  for (size_t i = 0; i < siblings.size(); ++i) {
    if (siblings[i].get() == this) return static_cast<UINT>(i);
  }
  return 0;
}

void MenuItem::Update() {
  if (!root_->bar_ || separator_) return;
  MENUITEMINFOW mii{};
  mii.cbSize = sizeof(mii);
  mii.fMask = MIIM_STATE | MIIM_STRING;
  mii.fState = (enabled_ ? MFS_ENABLED : MFS_GRAYED) | (checked_ ? MFS_CHECKED : MFS_UNCHECKED);
  std::wstring label = Label();
  mii.dwTypeData = label.data();
  SetMenuItemInfoW(ParentMenu(), Position(), TRUE, &mii);
  if (!parent_) root_->Redraw();
}

void MenuItem::SetCaption(const std::wstring& caption) {
  caption_ = caption;
  Update();
}

void MenuItem::SetKeyText(const std::wstring& keyText) {
  keyText_ = keyText;
  Update();
}

std::wstring MenuItem::Label() const { return MenuLabel(caption_, keyText_); }

void MenuItem::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Update();
}

void MenuItem::SetChecked(bool checked) {
  checked_ = checked;
  Update();
}

void MenuItem::Click() {
  if (onClick) onClick();
}

Menu::Menu() = default;

Menu::~Menu() {
  // The window must not destroy the HMENU again, nor show a destroyed one.
  if (window_ && IsWindow(window_) && bar_ && GetMenu(window_) == bar_.get()) {
    SetMenu(window_, nullptr);
  }
  items_.clear();
}

MenuItem& Menu::Add(const std::wstring& caption, std::function<void()> onClick) {
  items_.push_back(
      std::unique_ptr<MenuItem>(new MenuItem(this, nullptr, caption, std::move(onClick))));
  MenuItem& added = *items_.back();
  if (bar_) {
    added.AppendTo(bar_.get());
    Redraw();
  }
  return added;
}

HMENU Menu::Handle() {
  if (!bar_) {
    bar_.reset(CreateMenu());
    for (auto& item : items_) item->AppendTo(bar_.get());
  }
  return bar_.get();
}

bool Menu::DispatchCommand(UINT id) {
  MenuItem* item = FindById(id);
  if (!item || item->separator_) return false;
  detail::Guarded([&] { item->Click(); });
  return true;
}

MenuItem* Menu::FindById(UINT id) {
  auto it = Registry().find(id);
  return it == Registry().end() ? nullptr : it->second;
}

void Menu::AttachTo(HWND window) { window_ = window; }

void Menu::Redraw() {
  if (window_ && IsWindow(window_) && GetMenu(window_) == bar_.get()) DrawMenuBar(window_);
}

}  // namespace tk
