#include "recorder/output/frame_surfaces.h"

#include "recorder/encode/frame_encoder.h"

namespace orvik {

bool FrameSurfaces::Create(const std::vector<uint8_t>& bitmapInfo, size_t frameBytes,
                           size_t count) {
  Release();
  if (bitmapInfo.size() < sizeof(BITMAPINFOHEADER) || frameBytes == 0) return false;
  const auto* info = reinterpret_cast<const BITMAPINFO*>(bitmapInfo.data());
  // Pixels placed after the room in memory of our own; where the system will not place them
  // there, plain DIB sections (their chunks then go out in two writes).
  haveRoom_ = Add(info, frameBytes, true);
  if (!haveRoom_) Release();
  while (surfaces_.size() < count)
    if (!Add(info, frameBytes, haveRoom_)) {
      Release();
      return false;
    }
  return true;
}

bool FrameSurfaces::Add(const BITMAPINFO* info, size_t frameBytes, bool withRoom) {
  auto s = std::make_unique<Surface>();
  if (withRoom) {
    const uint64_t bytes = kFrameRoomBefore + frameBytes + kFrameRoomAfter;
    s->mapping.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(bytes >> 32), static_cast<DWORD>(bytes),
                                        nullptr));
    if (!s->mapping) return false;
  }
  void* bits = nullptr;
  s->bitmap.reset(CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, s->mapping.get(),
                                   withRoom ? kFrameRoomBefore : 0));
  if (!s->bitmap || !bits) return false;
  s->dc.reset(CreateCompatibleDC(nullptr));
  if (!s->dc) return false;
  s->selected = std::make_unique<tk::SelectGuard>(s->dc.get(), s->bitmap.get());
  s->bits = static_cast<uint8_t*>(bits);
  surfaces_.push_back(std::move(s));
  return true;
}

std::vector<uint8_t*> FrameSurfaces::Bits() const {
  std::vector<uint8_t*> bits;
  for (const auto& s : surfaces_) bits.push_back(s->bits);
  return bits;
}

HDC FrameSurfaces::DcOf(const uint8_t* bits) const {
  for (const auto& s : surfaces_)
    if (s->bits == bits) return s->dc.get();
  return nullptr;
}

}  // namespace orvik
