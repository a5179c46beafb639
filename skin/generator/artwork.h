#pragma once
// The skin's look: every picture of the frame window, the application icon and the stored
// title buttons, drawn from one palette at any DPI. Window-free, so the generator and the
// tests that keep the committed resources honest build natively, and the program paints the
// pieces for its own DPI at start with the same code.
#include <cstdint>
#include <string>
#include <vector>

#include "skin/generator/canvas.h"
#include "skin/skin_ids.h"
#include "toolkit/property_bag.h"

namespace orvik::skinart {

enum class Glyph { minimize, maximize, close, restore };
enum class ButtonState { normal, hover, pressed };

// Colours the pictures are held to (the title buttons' are fixed by the frame's design).
namespace palette {
constexpr Rgb kButtonTop = Hex(0xEBF1FA);
constexpr Rgb kButtonBottom = Hex(0xBFD2EA);
constexpr Rgb kHoverTop = Hex(0xFDFEFF);
constexpr Rgb kHoverBottom = Hex(0xD2E1F4);
constexpr Rgb kHoverEdge = Hex(0x8D9CCD);
constexpr Rgb kPressedFace = Hex(0xBFD2EA);
constexpr Rgb kPressedTopEdge = Hex(0x90A2CE);
constexpr Rgb kPressedBottomEdge = Hex(0xF8FAFD);
constexpr Rgb kGlyph = Hex(0x586485);
constexpr Rgb kBorder = Hex(0x6B99D1);
}  // namespace palette

// Drawn for `dpi`: each design length n (pixels at 96 DPI) is ScaledPixelsAt(n, dpi) pixels,
// and gradients, strokes and curves are drawn again at that size. At 96 DPI these are the
// committed resources.
Canvas DrawPiece(SkinId id, int dpi = kDesignDpi);
Canvas DrawButton(Glyph glyph, ButtonState state, int dpi = kDesignDpi);
// A title-button picture as it is stored: a 24-bit BMP file padded to whole 32-bit words
// (1196 bytes at 96 DPI).
std::vector<uint8_t> ButtonBmp(Glyph glyph, ButtonState state, int dpi = kDesignDpi);
// The .ico file: 32 x 32 and 16 x 16, 24-bit.
std::vector<uint8_t> AppIconFile();

// Glyph of title button n (1..4: minimize, maximize, close, restore).
Glyph ButtonGlyph(int n);
// The stored properties of title button n, as the host would have saved them at `dpi`: its
// extent (HiMetric) and pictures are those of the button drawn for that DPI.
PropertyBag ButtonBag(int n, int dpi = kDesignDpi);

struct GeneratedFile {
  std::string path;  // relative to skin/res, '/' separated
  std::vector<uint8_t> bytes;
};
// Everything the generator writes, in a fixed order.
std::vector<GeneratedFile> SkinFiles();

}  // namespace orvik::skinart
