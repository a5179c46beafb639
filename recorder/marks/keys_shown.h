#pragma once
// The keys a recording shows in its frames: the keyboard hook while it listens, the caption
// the keys make, and the painter that draws it.
#include <windows.h>

#include <memory>
#include <vector>

#include "recorder/capture/capture_area.h"
#include "recorder/marks/key_caption.h"
#include "recorder/marks/key_caption_painter.h"
#include "recorder/marks/key_hook.h"

namespace orvik {

class KeysShown {
 public:
  // Ready for a recording on a screen of `dpi` that leaves `ownKeys` out; false when no
  // caption can be drawn.
  bool Prepare(int dpi, std::vector<KeyCombo> ownKeys);
  // Makes or removes the hook; either way the caption starts afresh.
  void Listen(bool listen);
  // The caption as it shows at this moment, from the keys taken up to now; nothing while
  // not listening.
  void Draw(HDC surface, const CaptureArea& area);

 private:
  std::unique_ptr<KeyHook> hook_;
  KeyCaption caption_;
  KeyCaptionPainter painter_;
};

}  // namespace orvik
