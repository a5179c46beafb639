#pragma once
// The skin as the program carries it: the frame window's pictures and the stored
// properties of its title buttons, compiled in from skin/orvik.rc. An executable that
// uses these lists orvik.rc among its sources (a static library cannot carry resources).
#include <optional>

#include "skin/skin_ids.h"
#include "toolkit/picture.h"
#include "toolkit/property_bag.h"

namespace orvik {

// The 24-bit picture of a skin piece, at the size kSkinPieces gives; no picture when the
// executable lacks the resource.
tk::Picture LoadSkinBitmap(SkinId id);

// The stored properties of title button n: 1 minimize, 2 maximize, 3 close, 4 restore.
// nullopt for any other n, a missing resource, or a bag that does not decode whole.
std::optional<PropertyBag> LoadButtonBag(int n);

}  // namespace orvik
