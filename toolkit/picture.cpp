#include "toolkit/picture.h"

#include <algorithm>
#include <cstring>

#include "toolkit/app.h"
#include "toolkit/bmp_format.h"
#include "toolkit/files.h"
#include "toolkit/property_bag.h"

namespace tk {

namespace {

// A 32-bit bottom-up DIB section; `bits` receives its pixels.
HBITMAP NewDib32(int width, int height, void** bits) {
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = height;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, bits, nullptr, 0);
}

}  // namespace

Picture Picture::Adopt(HBITMAP bitmap) {
  Picture p;
  if (!bitmap) return p;
  DIBSECTION ds{};
  BITMAP bm{};
  if (GetObjectW(bitmap, sizeof(ds), &ds) == sizeof(ds)) {
    bm = ds.dsBm;
  } else if (!GetObjectW(bitmap, sizeof(bm), &bm)) {
    DeleteObject(bitmap);
    return p;
  }
  p.bitmap_ = std::make_shared<UniqueBitmap>(bitmap);
  p.width_ = bm.bmWidth;
  p.height_ = bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight;
  p.bitCount_ = bm.bmBitsPixel;
  return p;
}

Picture Picture::FromBitmap(UniqueBitmap bitmap) { return Adopt(bitmap.release()); }

Picture Picture::CopyOf(HBITMAP borrowed) {
  BITMAP bm{};
  if (!borrowed || !GetObjectW(borrowed, sizeof(bm), &bm)) return Picture();
  const int height = bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight;
  void* bits = nullptr;
  UniqueBitmap copy(NewDib32(bm.bmWidth, height, &bits));
  UniqueMemDc src(CreateCompatibleDC(nullptr));
  UniqueMemDc dst(CreateCompatibleDC(nullptr));
  if (!copy || !src || !dst) return Picture();
  {
    SelectGuard s(src.get(), borrowed);
    SelectGuard d(dst.get(), copy.get());
    if (!BitBlt(dst.get(), 0, 0, bm.bmWidth, height, src.get(), 0, 0, SRCCOPY)) return Picture();
  }
  return FromBitmap(std::move(copy));
}

std::optional<Picture> Picture::FromBmpBytes(const uint8_t* data, size_t size) {
  std::optional<orvik::BmpView> v = orvik::ParseBmp(data, size);
  if (!v) return std::nullopt;
  // The info block is copied so that the BITMAPINFO handed to GDI is aligned, and padded to
  // the largest colour table so that GDI never reads past it.
  std::vector<uint8_t> info(v->info, v->info + v->infoSize);
  info.resize(std::max(info.size(), sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD) + 12));
  auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
  // The pixel block may be declared longer than the rows; the section holds just the rows.
  const size_t rowBytes = v->stride * static_cast<size_t>(v->height < 0 ? -v->height : v->height);
  // GDI trusts biSizeImage for some formats: give it the size that was checked.
  bmi->bmiHeader.biSizeImage = static_cast<DWORD>(rowBytes);
  void* bits = nullptr;
  UniqueBitmap bmp(CreateDIBSection(nullptr, bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bmp || !bits) return std::nullopt;
  std::memcpy(bits, v->pixels, rowBytes);
  GdiFlush();
  Picture p = FromBitmap(std::move(bmp));
  if (p.empty()) return std::nullopt;
  return p;
}

std::optional<Picture> Picture::LoadBmpFile(const std::wstring& path) {
  File f = File::Open(path, FileMode::Read);
  std::optional<uint64_t> length = f.Length();
  // Nothing this program shows comes near 512 MiB; a bigger file is not read into memory.
  if (!length || *length < orvik::kBmpHeaderSize || *length > (512ull << 20)) return std::nullopt;
  std::vector<uint8_t> data(static_cast<size_t>(*length));
  if (!f.ReadAt(0, data.data(), data.size())) return std::nullopt;
  return FromBmpBytes(data.data(), data.size());
}

std::optional<Picture> Picture::LoadBmpResource(int id, HINSTANCE module) {
  HANDLE h = LoadImageW(module ? module : AppInstance(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0,
                        LR_CREATEDIBSECTION);
  if (!h) return std::nullopt;
  Picture p = Adopt(static_cast<HBITMAP>(h));
  if (p.empty()) return std::nullopt;
  return p;
}

Picture Picture::Solid(int width, int height, COLORREF color) {
  void* bits = nullptr;
  UniqueBitmap bmp(NewDib32(width, height, &bits));
  if (!bmp || !bits) return Picture();
  const uint32_t pixel = (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
  auto* p = static_cast<uint32_t*>(bits);
  for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) p[i] = pixel;
  return FromBitmap(std::move(bmp));
}

std::vector<uint8_t> Picture::BmpBytes() const {
  if (empty()) return {};
  const int bits = bitCount_ == 24 ? 24 : 32;
  const size_t stride = orvik::BmpStride(width_, bits);
  if (!stride || height_ <= 0) return {};
  const auto header = orvik::MakeBmpHeader(width_, height_, bits);
  std::vector<uint8_t> out(header.size() + stride * height_);
  std::memcpy(out.data(), header.data(), header.size());
  BITMAPINFO bmi{};
  std::memcpy(&bmi.bmiHeader, header.data() + orvik::kBmpFileHeaderSize, sizeof(BITMAPINFOHEADER));
  UniqueMemDc dc(CreateCompatibleDC(nullptr));
  if (!dc || GetDIBits(dc.get(), handle(), 0, height_, out.data() + header.size(), &bmi,
                       DIB_RGB_COLORS) != height_) {
    return {};
  }
  return out;
}

bool Picture::SaveBmp(const std::wstring& path) const {
  const std::vector<uint8_t> bytes = BmpBytes();
  if (bytes.empty()) return false;
  File f = File::Open(path, FileMode::Replace);
  return f.IsOpen() && f.WriteAt(0, bytes.data(), bytes.size());
}

COLORREF Picture::PixelAt(int x, int y) const {
  if (empty() || x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
  UniqueMemDc dc(CreateCompatibleDC(nullptr));
  if (!dc) return CLR_INVALID;
  SelectGuard g(dc.get(), handle());
  return GetPixel(dc.get(), x, y);
}

std::vector<uint8_t> PictureToPersisted(const Picture& picture) {
  return orvik::MakePersistedPicture(picture.BmpBytes());
}

std::optional<Picture> PictureFromPersisted(const std::vector<uint8_t>& persisted) {
  std::optional<std::vector<uint8_t>> bmp =
      orvik::PersistedPictureBmp(persisted.data(), persisted.size());
  if (!bmp) return std::nullopt;
  if (bmp->empty()) return Picture();
  return Picture::FromBmpBytes(bmp->data(), bmp->size());
}

}  // namespace tk
