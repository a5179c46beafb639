#include "recorder/marks/keys_shown.h"

#include <utility>

#include "toolkit/screen.h"

namespace orvik {

bool KeysShown::Prepare(int dpi, std::vector<KeyCombo> ownKeys) {
  caption_ = KeyCaption(std::move(ownKeys));
  return painter_.Create(dpi);
}

void KeysShown::Listen(bool listen) {
  caption_.Clear();
  if (listen != static_cast<bool>(hook_)) hook_ = listen ? std::make_unique<KeyHook>() : nullptr;
}

void KeysShown::Draw(HDC surface, const CaptureArea& area) {
  if (!hook_) return;
  for (const KeyEvent& event : hook_->Take()) caption_.Add(event);
  if (const auto shown = caption_.CaptionAt(tk::MonotonicSeconds()))
    painter_.Draw(surface, area, *shown);
}

}  // namespace orvik
