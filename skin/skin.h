#pragma once
// The skin as the program carries it: the frame window's pictures and the stored
// properties of its title buttons, compiled in from skin/orvik.rc for 96 DPI and painted by
// the artwork for any other DPI. An executable that uses these lists orvik.rc among its
// sources (a static library cannot carry resources).
#include <optional>

#include "skin/skin_ids.h"
#include "toolkit/picture.h"
#include "toolkit/property_bag.h"

namespace orvik {

// The 24-bit picture of a skin piece at `dpi`, SkinPieceSizeAt(piece, dpi) in size: the
// compiled-in one at 96 DPI (no picture when the executable lacks it), else drawn for that
// DPI. No picture for an id that is no piece. A DPI below 96 is taken as 96.
tk::Picture LoadSkinBitmap(SkinId id, int dpi);
inline tk::Picture LoadSkinBitmap(SkinId id) { return LoadSkinBitmap(id, kDesignDpi); }

// The stored properties of title button n (1 minimize, 2 maximize, 3 close, 4 restore) at
// `dpi`: pictures ButtonSideAt(dpi) square and the extent that size has there. At 96 DPI the
// compiled-in bag: nullopt for a missing resource or one that does not decode whole. nullopt
// for any other n.
std::optional<PropertyBag> LoadButtonBag(int n, int dpi);
inline std::optional<PropertyBag> LoadButtonBag(int n) { return LoadButtonBag(n, kDesignDpi); }

}  // namespace orvik
