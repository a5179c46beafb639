#pragma once
// The buffers a recording's frames are captured into: DIB sections in the recording's frame
// format, each selected into its own memory DC, so the screen is copied straight into memory the
// writer's thread compresses from (no second full-frame copy on the GUI thread). Each keeps
// room before its pixels for the file's chunk header, so an uncompressed frame goes to the file
// in one write.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "toolkit/handles.h"

namespace orvik {

class FrameSurfaces {
 public:
  // `bitmapInfo`: BITMAPINFOHEADER (+ masks / colour table) of the frames.
  bool Create(const std::vector<uint8_t>& bitmapInfo, size_t frameBytes, size_t count);
  void Release() { surfaces_.clear(); }

  size_t Count() const { return surfaces_.size(); }
  std::vector<uint8_t*> Bits() const;
  // The DC of the surface whose pixels start at `bits` (null for none of ours).
  HDC DcOf(const uint8_t* bits) const;
  // The pixels have the frame room (kFrameRoomBefore, kFrameRoomAfter) around them.
  bool HaveRoom() const { return haveRoom_; }

 private:
  struct Surface {
    tk::UniqueHandle mapping;  // the memory the pixels live in, room included
    tk::UniqueBitmap bitmap;
    tk::UniqueMemDc dc;
    std::unique_ptr<tk::SelectGuard> selected;
    uint8_t* bits = nullptr;
  };
  bool Add(const BITMAPINFO* info, size_t frameBytes, bool withRoom);

  std::vector<std::unique_ptr<Surface>> surfaces_;
  bool haveRoom_ = false;
};

}  // namespace orvik
