#pragma once
// One sound device as the reading loop drives it. The Windows one speaks WASAPI
// (sound/wasapi/); tests drive the loop with stand-ins of their own. Every call may block for as
// long as the device likes (a hung driver, a sound server that stopped answering): the loop
// makes them on a thread it can leave behind. No <windows.h>.
#include <cstdint>
#include <vector>

#include "sound/sound_sources.h"
#include "sound/sound_timeline.h"

namespace orvik::sound {

// What one Read gave: packets of frames in the device's format, one after another.
struct Packets {
  struct Packet {
    uint32_t frames = 0;
    double age = 0;       // seconds between its last frame's arrival and the end of the Read
    bool silent = false;  // marked as silence by the device: its bytes are zeros
  };
  std::vector<uint8_t> bytes;
  std::vector<Packet> list;
  void Clear() {
    bytes.clear();
    list.clear();
  }
};

class CaptureDevice {
 public:
  virtual ~CaptureDevice() = default;
  // Chooses the device (again after Close: the default may be another by now), opens it and
  // starts it.
  virtual DeviceProblem Open() = 0;
  // Once open: what its frames are.
  virtual DeviceFormat Format() const = 0;
  // Appends every packet the device holds now; false when it failed (unplugged, its service
  // gone), and then it has to be opened again.
  virtual bool Read(Packets* got) = 0;
  // Whether the default device it was chosen as has since become another. Called on every
  // pass of the loop: cheap, or rate-limited inside.
  virtual bool DefaultMoved() = 0;
  // Stops and lets go of the device; Open may follow.
  virtual void Close() = 0;
};

}  // namespace orvik::sound
