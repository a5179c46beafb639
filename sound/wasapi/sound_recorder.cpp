#include "sound/wasapi/sound_recorder.h"

#include <windows.h>

#include <avrt.h>
#include <objbase.h>

#include "sound/wasapi/wasapi_device.h"
#include "toolkit/app.h"

namespace orvik::sound {

namespace {

// COM for a thread of the recorder, and for the reading thread a raised priority for sound.
class ThreadSetup {
 public:
  explicit ThreadSetup(bool reading)
      : com_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
    if (reading) task_ = AvSetMmThreadCharacteristicsW(L"Audio", &taskIndex_);
  }
  ~ThreadSetup() {
    if (task_) AvRevertMmThreadCharacteristics(task_);
    if (com_) CoUninitialize();
  }
  ThreadSetup(const ThreadSetup&) = delete;
  ThreadSetup& operator=(const ThreadSetup&) = delete;

 private:
  bool com_;
  DWORD taskIndex_ = 0;
  HANDLE task_ = nullptr;
};

class WasapiSystem : public SoundSystem {
 public:
  std::unique_ptr<CaptureDevice> MakeDevice(Source source, const std::wstring& wanted) override {
    return MakeWasapiDevice(source, wanted);
  }
  std::shared_ptr<void> EnterThread(bool reading) override {
    return std::make_shared<ThreadSetup>(reading);
  }
  // The window's thread waits for the devices: it answers what other threads send it meanwhile.
  bool WaitUntil(const std::function<bool()>& done, double seconds) override {
    return tk::WaitUntil(done, seconds);
  }
};

}  // namespace

SoundRecorder::SoundRecorder() : DeviceRecorder(std::make_shared<WasapiSystem>()) {}

}  // namespace orvik::sound
