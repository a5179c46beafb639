#include "skin/skin.h"

#include <windows.h>

#include "toolkit/app.h"

namespace orvik {

namespace {

// Resource memory belongs to the loaded module and lives as long as it does: nothing here
// is released (FreeResource does nothing on 32/64-bit Windows).
std::optional<PropertyBag> DecodeRcData(int id) {
  HMODULE module = tk::AppInstance();
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
  if (!info) return std::nullopt;
  const DWORD size = SizeofResource(module, info);
  HGLOBAL data = LoadResource(module, info);
  const void* bytes = data ? LockResource(data) : nullptr;
  if (!bytes || !size) return std::nullopt;
  PropertyBag::Decoded decoded = PropertyBag::Decode(static_cast<const uint8_t*>(bytes), size);
  if (!decoded.ok) return std::nullopt;
  return std::move(decoded.bag);
}

}  // namespace

tk::Picture LoadSkinBitmap(SkinId id) {
  return tk::Picture::LoadBmpResource(static_cast<int>(id)).value_or(tk::Picture());
}

std::optional<PropertyBag> LoadButtonBag(int n) {
  if (n < 1 || n > kButtonCount) return std::nullopt;
  return DecodeRcData(kButtonBagIds[n - 1]);
}

}  // namespace orvik
