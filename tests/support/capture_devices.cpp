#include "support/capture_devices.h"

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <mmreg.h>
#include <wrl/client.h>

#include <utility>

namespace testsupport {

namespace {

using Microsoft::WRL::ComPtr;

// PKEY_Device_FriendlyName, spelled out: its header defines it only with INITGUID.
constexpr PROPERTYKEY kFriendlyName = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};
constexpr GUID kFloatSubtype = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr REFERENCE_TIME kBuffer = 2000000;  // 200 ms, in 100-ns units

// COM for this thread, for as long as the scope lasts (already there is fine too).
class ComScope {
 public:
  ComScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }

 private:
  HRESULT hr_;
};

std::wstring FriendlyName(IMMDevice* device) {
  ComPtr<IPropertyStore> props;
  PROPVARIANT value;
  PropVariantInit(&value);
  std::wstring name;
  if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, &props)) &&
      SUCCEEDED(props->GetValue(kFriendlyName, &value)) && value.vt == VT_LPWSTR)
    name = value.pwszVal;
  PropVariantClear(&value);
  return name;
}

// Every active capture endpoint with its name.
std::vector<std::pair<std::wstring, ComPtr<IMMDevice>>> CaptureDevices() {
  std::vector<std::pair<std::wstring, ComPtr<IMMDevice>>> out;
  ComPtr<IMMDeviceEnumerator> devices;
  ComPtr<IMMDeviceCollection> all;
  UINT count = 0;
  if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                              IID_PPV_ARGS(&devices))) ||
      FAILED(devices->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, &all)) ||
      FAILED(all->GetCount(&count)))
    return out;
  for (UINT i = 0; i < count; ++i) {
    ComPtr<IMMDevice> device;
    if (SUCCEEDED(all->Item(i, &device))) out.emplace_back(FriendlyName(device.Get()), device);
  }
  return out;
}

bool IsFloat(const WAVEFORMATEX& f) {
  if (f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) return true;
  return f.wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
         IsEqualGUID(reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(f).SubFormat, kFloatSubtype);
}

void Append(const BYTE* data, UINT32 frames, DWORD flags, const WAVEFORMATEX& f,
            std::vector<float>* samples) {
  const size_t count = static_cast<size_t>(frames) * f.nChannels;
  if ((flags & AUDCLNT_BUFFERFLAGS_SILENT) || !data) {
    samples->insert(samples->end(), count, 0.0f);
  } else if (IsFloat(f)) {
    const auto* in = reinterpret_cast<const float*>(data);
    samples->insert(samples->end(), in, in + count);
  } else {
    const auto* in = reinterpret_cast<const int16_t*>(data);
    for (size_t i = 0; i < count; ++i) samples->push_back(in[i] / 32768.0f);
  }
}

struct Stream {
  ComPtr<IAudioClient> client;
  ComPtr<IAudioCaptureClient> capture;
  WAVEFORMATEX* format = nullptr;
  ~Stream() { CoTaskMemFree(format); }
};

std::string Open(IMMDevice* device, Stream* s) {
  if (FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, &s->client)) ||
      FAILED(s->client->GetMixFormat(&s->format)))
    return "the device gives no audio client";
  if (!IsFloat(*s->format) && s->format->wBitsPerSample != 16)
    return "the mix format is neither float nor 16-bit";
  if (FAILED(s->client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, kBuffer, 0, s->format, nullptr)) ||
      FAILED(s->client->GetService(IID_PPV_ARGS(&s->capture))) || FAILED(s->client->Start()))
    return "the capture stream did not start";
  return {};
}

}  // namespace

std::vector<std::wstring> CaptureDeviceNames() {
  ComScope com;
  std::vector<std::wstring> names;
  for (const auto& d : CaptureDevices()) names.push_back(d.first);
  return names;
}

Sound RecordDevice(const std::wstring& friendlyName, double seconds) {
  ComScope com;
  ComPtr<IMMDevice> device;
  for (const auto& d : CaptureDevices())
    if (d.first == friendlyName) device = d.second;
  if (!device) return Sound::Failed("no capture device is called so");
  Stream s;
  if (std::string why = Open(device.Get(), &s); !why.empty()) return Sound::Failed(why);
  const WAVEFORMATEX& f = *s.format;
  const size_t wanted = static_cast<size_t>(seconds * f.nSamplesPerSec) * f.nChannels;
  std::vector<float> samples;
  const DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000) + 5000;
  while (samples.size() < wanted && static_cast<LONG>(GetTickCount() - deadline) < 0) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    if (s.capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr) != S_OK) {
      Sleep(5);
      continue;
    }
    Append(data, frames, flags, f, &samples);
    s.capture->ReleaseBuffer(frames);
  }
  s.client->Stop();
  if (samples.empty()) return Sound::Failed("the device delivered nothing");
  return Sound(std::move(samples), f.nChannels, static_cast<int>(f.nSamplesPerSec));
}

}  // namespace testsupport
