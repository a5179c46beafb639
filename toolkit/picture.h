#pragma once
// A shared, reference-counted picture: copies of a Picture refer to the same bitmap, which
// is deleted when the last copy goes. A default-constructed Picture is "no picture".
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/handles.h"

namespace tk {

class Picture {
 public:
  Picture() = default;  // no picture

  // Takes ownership of `bitmap` (null gives no picture).
  static Picture FromBitmap(UniqueBitmap bitmap);
  // A 32-bit DIB-section copy of a bitmap the caller keeps (for example the clipboard's).
  static Picture CopyOf(HBITMAP borrowed);
  // A BMP file in memory or on disk; nullopt when it is missing or not a usable BMP.
  static std::optional<Picture> FromBmpBytes(const uint8_t* data, size_t size);
  static std::optional<Picture> LoadBmpFile(const std::wstring& path);
  // A bitmap resource (RT_BITMAP) of `module` (the executable when null).
  static std::optional<Picture> LoadBmpResource(int id, HINSTANCE module = nullptr);
  // A new 32-bit picture filled with one colour.
  static Picture Solid(int width, int height, COLORREF color);

  bool empty() const { return !bitmap_ || !*bitmap_; }
  explicit operator bool() const { return !empty(); }
  // Borrowed: stays valid while any copy of this Picture lives.
  HBITMAP handle() const { return empty() ? nullptr : bitmap_->get(); }
  int Width() const { return width_; }    // pixels
  int Height() const { return height_; }  // pixels
  // Bits per pixel of the stored bitmap (24 for 24-bit BMP files, 32 for screen copies).
  int BitCount() const { return bitCount_; }
  bool SameAs(const Picture& o) const { return bitmap_ == o.bitmap_; }

  // The picture as a BMP file (layout in toolkit/bmp_format.h): 24-bit when the bitmap is
  // 24-bit, 32-bit otherwise. Empty for no picture.
  std::vector<uint8_t> BmpBytes() const;
  // Writes BmpBytes() to `path` (replacing the file) in one write. False for no picture or
  // when the file cannot be written.
  bool SaveBmp(const std::wstring& path) const;

  // Colour of one pixel (x, y from the top-left), or CLR_INVALID outside the picture.
  COLORREF PixelAt(int x, int y) const;

 private:
  static Picture Adopt(HBITMAP bitmap);
  std::shared_ptr<UniqueBitmap> bitmap_;
  int width_ = 0;
  int height_ = 0;
  int bitCount_ = 0;
};

// The persisted picture form stored in property bags (see toolkit/property_bag.h).
std::vector<uint8_t> PictureToPersisted(const Picture& picture);
// nullopt when the bytes are not a persisted picture or hold no usable BMP (a picture that
// is not a picture); an empty Picture when they persist "no picture".
std::optional<Picture> PictureFromPersisted(const std::vector<uint8_t>& persisted);

}  // namespace tk
