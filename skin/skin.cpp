#include "skin/skin.h"

#include <windows.h>

#include "skin/generator/artwork.h"
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

bool IsPiece(SkinId id) {
  for (const SkinPiece& p : kSkinPieces)
    if (p.id == id) return true;
  return false;
}

}  // namespace

// Painting at start costs a few milliseconds at 200% and fits every DPI exactly, where
// resources drawn for a few scales would add megabytes and still be off between them.
tk::Picture LoadSkinBitmap(SkinId id, int dpi) {
  if (SaneDpi(dpi) == kDesignDpi)
    return tk::Picture::LoadBmpResource(static_cast<int>(id)).value_or(tk::Picture());
  if (!IsPiece(id)) return tk::Picture();
  const std::vector<uint8_t> bmp = skinart::DrawPiece(id, dpi).Bmp24();
  return tk::Picture::FromBmpBytes(bmp.data(), bmp.size()).value_or(tk::Picture());
}

std::optional<PropertyBag> LoadButtonBag(int n, int dpi) {
  if (n < 1 || n > kButtonCount) return std::nullopt;
  if (SaneDpi(dpi) == kDesignDpi) return DecodeRcData(kButtonBagIds[n - 1]);
  return skinart::ButtonBag(n, dpi);
}

}  // namespace orvik
