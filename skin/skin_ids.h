#pragma once
// Resource ids of the skin. The resource compiler reads the #defines; C++ also gets the
// pieces' names and sizes, so the generator, the loader and the frame window agree on them.

// The application icon: the frame window's form options ask for icon 1.
#define IDI_ORVIK 1

// Skin pieces (24-bit bitmaps).
#define IDB_BACKCAPTION 101
#define IDB_LEFTCAPTION 102
#define IDB_RIGHTCAPTION 103
#define IDB_TOOLBARBACK 104
#define IDB_LEFTBORDER 105
#define IDB_RIGHTBORDER 106
#define IDB_BOTTOMBORDER 107

// Stored property bags of the title buttons Button1..Button4 (RCDATA, "OBAG" format).
#define IDR_BUTTON1_BAG 201
#define IDR_BUTTON2_BAG 202
#define IDR_BUTTON3_BAG 203
#define IDR_BUTTON4_BAG 204

#ifndef RC_INVOKED

#include "toolkit/units.h"

namespace orvik {

enum class SkinId : int {
  backcaption = IDB_BACKCAPTION,
  leftcaption = IDB_LEFTCAPTION,
  rightcaption = IDB_RIGHTCAPTION,
  toolbarback = IDB_TOOLBARBACK,
  leftborder = IDB_LEFTBORDER,
  rightborder = IDB_RIGHTBORDER,
  bottomborder = IDB_BOTTOMBORDER,
};

struct SkinPiece {
  SkinId id;
  const char* file;  // under skin/res/
  int width;         // pixels
  int height;
};

inline constexpr SkinPiece kSkinPieces[] = {
    {SkinId::backcaption, "backcaption.bmp", 1600, 23},
    {SkinId::leftcaption, "leftcaption.bmp", 23, 23},
    {SkinId::rightcaption, "rightcaption.bmp", 101, 25},
    {SkinId::toolbarback, "toolbarback.bmp", 1600, 28},
    {SkinId::leftborder, "leftborder.bmp", 4, 1200},
    {SkinId::rightborder, "rightborder.bmp", 4, 1200},
    {SkinId::bottomborder, "bottomborder.bmp", 1600, 26},
};

// Title buttons: Button1 minimize, Button2 maximize, Button3 close, Button4 restore.
inline constexpr int kButtonCount = 4;
inline constexpr int kButtonBagIds[kButtonCount] = {IDR_BUTTON1_BAG, IDR_BUTTON2_BAG,
                                                    IDR_BUTTON3_BAG, IDR_BUTTON4_BAG};
inline constexpr int kButtonSide = 19;  // pixels
// Where the title buttons sit in `rightcaption`, in pixels at 96 DPI (their controls are at
// these positions times 15 twips).
inline constexpr int kButtonLeft[3] = {32, 52, 72};
inline constexpr int kButtonTop = 5;

// The skin at `dpi`: every length above in whole pixels there, the same number its twips
// give (a piece at 120 DPI is drawn for 120 DPI, never stretched from its 96 DPI picture).
struct PixelSize {
  int width;
  int height;
};
inline PixelSize SkinPieceSizeAt(const SkinPiece& piece, int dpi) {
  return {ScaledPixelsAt(piece.width, dpi), ScaledPixelsAt(piece.height, dpi)};
}
inline int ButtonSideAt(int dpi) { return ScaledPixelsAt(kButtonSide, dpi); }
inline int ButtonLeftAt(int place, int dpi) { return ScaledPixelsAt(kButtonLeft[place], dpi); }
inline int ButtonTopAt(int dpi) { return ScaledPixelsAt(kButtonTop, dpi); }

}  // namespace orvik

#endif  // RC_INVOKED
