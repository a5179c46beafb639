// clang-format off
#include <initguid.h>  // defines the GUIDs of the headers after it, in this file only
// clang-format on
#include "sound/sound_capture.h"

#include <audioclient.h>
#include <avrt.h>
#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>
#include <mmreg.h>

#include <algorithm>
#include <cwctype>

#include "toolkit/screen.h"

namespace orvik::sound {

namespace {

// The device's own buffer: long enough to ride out a stalled thread, as the 10 ms polls empty it.
constexpr REFERENCE_TIME kBufferDuration = 10'000'000;  // 1 s in 100 ns units
constexpr DWORD kPollMs = 10;
// Packets that stop for this long while the recording runs mean the device's sound is missing.
constexpr double kMissingAfterSeconds = 1.0;

struct CoInit {
  CoInit() : ok(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
  ~CoInit() {
    if (ok) CoUninitialize();
  }
  bool ok;
};

std::wstring FriendlyName(IMMDevice* device) {
  tk::ComPtr<IPropertyStore> props;
  if (FAILED(device->OpenPropertyStore(STGM_READ, props.put()))) return L"";
  PROPVARIANT value;
  PropVariantInit(&value);
  std::wstring name;
  if (SUCCEEDED(props->GetValue(PKEY_Device_FriendlyName, &value)) && value.vt == VT_LPWSTR)
    name = value.pwszVal;
  PropVariantClear(&value);
  return name;
}

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

// A capture device that carries what the speakers play: PulseAudio's monitors, the "Stereo Mix"
// inputs of many sound cards.
bool CarriesTheOutput(const std::wstring& name) {
  const std::wstring n = Lower(name);
  return n.rfind(L"monitor of", 0) == 0 || n.find(L"stereo mix") != std::wstring::npos ||
         n.find(L"立体声混音") != std::wstring::npos ||
         n.find(L"what u hear") != std::wstring::npos;
}

// The first active endpoint of `flow` that `match` accepts.
tk::ComPtr<IMMDevice> FindEndpoint(IMMDeviceEnumerator* devices, EDataFlow flow,
                                   const std::function<bool(const std::wstring&)>& match,
                                   std::wstring* name) {
  tk::ComPtr<IMMDeviceCollection> all;
  UINT count = 0;
  if (FAILED(devices->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, all.put())) ||
      FAILED(all->GetCount(&count)))
    return {};
  for (UINT i = 0; i < count; ++i) {
    tk::ComPtr<IMMDevice> device;
    if (FAILED(all->Item(i, device.put()))) continue;
    const std::wstring n = FriendlyName(device.get());
    if (!match(n)) continue;
    *name = n;
    return device;
  }
  return {};
}

bool HasAnyEndpoint(IMMDeviceEnumerator* devices) {
  tk::ComPtr<IMMDeviceCollection> all;
  UINT count = 0;
  return SUCCEEDED(devices->EnumAudioEndpoints(eAll, DEVICE_STATE_ACTIVE, all.put())) &&
         SUCCEEDED(all->GetCount(&count)) && count > 0;
}

// The sub-formats of WAVEFORMATEXTENSIBLE: the format tag in the first word of the usual GUID.
constexpr GUID kSubtypePcm = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr GUID kSubtypeFloat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// What a mix format's samples are.
std::optional<DeviceFormat> FormatOf(const WAVEFORMATEX* wf) {
  DeviceFormat f;
  f.rate = wf->nSamplesPerSec;
  f.channels = wf->nChannels;
  bool isFloat = wf->wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
  bool isPcm = wf->wFormatTag == WAVE_FORMAT_PCM;
  if (wf->wFormatTag == WAVE_FORMAT_EXTENSIBLE && wf->cbSize >= 22) {
    const auto* x = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(wf);
    isFloat = IsEqualGUID(x->SubFormat, kSubtypeFloat);
    isPcm = IsEqualGUID(x->SubFormat, kSubtypePcm);
    f.channelMask = x->dwChannelMask;
  }
  if (isFloat && wf->wBitsPerSample == 32) {
    f.type = SampleType::Float32;
  } else if (isPcm && wf->wBitsPerSample == 16) {
    f.type = SampleType::Int16;
  } else if (isPcm && wf->wBitsPerSample == 24) {
    f.type = SampleType::Int24;
  } else if (isPcm && wf->wBitsPerSample == 32) {
    f.type = SampleType::Int32;
  } else {
    return std::nullopt;
  }
  if (!f.Valid() || f.BytesPerFrame() != wf->nBlockAlign) return std::nullopt;
  return f;
}

struct TaskMemTraits {
  static WAVEFORMATEX* invalid() { return nullptr; }
  static bool valid(WAVEFORMATEX* p) { return p != nullptr; }
  static void close(WAVEFORMATEX* p) { CoTaskMemFree(p); }
};
using UniqueMixFormat = tk::Unique<WAVEFORMATEX*, TaskMemTraits>;

}  // namespace

// The COM objects of one open device, all made and used on the device's thread.
struct DeviceCapture::Device {
  tk::ComPtr<IMMDeviceEnumerator> devices;
  tk::ComPtr<IMMDevice> endpoint;
  tk::ComPtr<IAudioClient> client;
  tk::ComPtr<IAudioCaptureClient> capture;
  // Loopback only: silence played into the output, so loopback delivers packets while nothing
  // else plays (it sends none otherwise).
  tk::ComPtr<IAudioClient> renderClient;
  tk::ComPtr<IAudioRenderClient> render;
  UINT32 renderFrames = 0;
  std::optional<DeviceFormat> format;
  std::wstring name;
  bool loopback = false;

  // Opens `endpoint` for reading, in loopback when `loop`. False when it refuses.
  bool OpenStream(bool loop) {
    client.reset();
    capture.reset();
    if (FAILED(endpoint->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, client.put_void())))
      return false;
    WAVEFORMATEX* raw = nullptr;
    if (FAILED(client->GetMixFormat(&raw))) return false;
    UniqueMixFormat mix(raw);
    format = FormatOf(mix.get());
    if (!format) return false;
    const DWORD flags = loop ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0;
    if (FAILED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, kBufferDuration, 0, mix.get(),
                                  nullptr)) ||
        FAILED(client->GetService(__uuidof(IAudioCaptureClient), capture.put_void())))
      return false;
    loopback = loop;
    return !loop || OpenSilence();
  }

  bool OpenSilence() {
    if (FAILED(endpoint->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                  renderClient.put_void())))
      return false;
    WAVEFORMATEX* raw = nullptr;
    if (FAILED(renderClient->GetMixFormat(&raw))) return false;
    UniqueMixFormat mix(raw);
    return SUCCEEDED(renderClient->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, kBufferDuration, 0,
                                              mix.get(), nullptr)) &&
           SUCCEEDED(renderClient->GetBufferSize(&renderFrames)) &&
           SUCCEEDED(renderClient->GetService(__uuidof(IAudioRenderClient), render.put_void()));
  }

  // Tops the silent stream up to its buffer's length.
  void FeedSilence() {
    if (!render) return;
    UINT32 padding = 0;
    if (FAILED(renderClient->GetCurrentPadding(&padding)) || padding >= renderFrames) return;
    BYTE* data = nullptr;
    const UINT32 frames = renderFrames - padding;
    if (SUCCEEDED(render->GetBuffer(frames, &data)))
      render->ReleaseBuffer(frames, AUDCLNT_BUFFERFLAGS_SILENT);
  }

  // System sound: the named device (an output, recorded in loopback, or an input), or the
  // default output in loopback, or else an input that carries the output.
  DeviceProblem OpenSystemSound(const std::wstring& wanted) {
    if (!wanted.empty()) {
      auto named = [&](const std::wstring& n) { return Lower(n) == Lower(wanted); };
      if ((endpoint = FindEndpoint(devices.get(), eRender, named, &name))) {
        return OpenStream(true) ? DeviceProblem::None : DeviceProblem::Refused;
      }
      if (!(endpoint = FindEndpoint(devices.get(), eCapture, named, &name)))
        return DeviceProblem::NotFound;
      return OpenStream(false) ? DeviceProblem::None : DeviceProblem::Refused;
    }
    std::wstring output;  // the default output's name
    if (SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eConsole, endpoint.put()))) {
      output = name = FriendlyName(endpoint.get());
      if (OpenStream(true)) return DeviceProblem::None;
    }
    // Loopback refused (some systems have none): an input that records what is played, the
    // default output's own first ("Monitor of Speakers"), else any such input.
    renderClient.reset();
    render.reset();
    const std::wstring monitor = Lower(L"Monitor of " + output);
    endpoint = FindEndpoint(
        devices.get(), eCapture, [&](const std::wstring& n) { return Lower(n) == monitor; }, &name);
    if (!endpoint) endpoint = FindEndpoint(devices.get(), eCapture, CarriesTheOutput, &name);
    if (!endpoint) return DeviceProblem::NotFound;
    return OpenStream(false) ? DeviceProblem::None : DeviceProblem::Refused;
  }

  DeviceProblem OpenMicrophone(const std::wstring& wanted) {
    if (!wanted.empty()) {
      auto named = [&](const std::wstring& n) { return Lower(n) == Lower(wanted); };
      if (!(endpoint = FindEndpoint(devices.get(), eCapture, named, &name)))
        return DeviceProblem::NotFound;
    } else {
      if (FAILED(devices->GetDefaultAudioEndpoint(eCapture, eConsole, endpoint.put())))
        return DeviceProblem::NotFound;
      name = FriendlyName(endpoint.get());
    }
    return OpenStream(false) ? DeviceProblem::None : DeviceProblem::Refused;
  }

  DeviceProblem Open(Source source, const std::wstring& wanted) {
    if (FAILED(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                __uuidof(IMMDeviceEnumerator), devices.put_void())) ||
        !HasAnyEndpoint(devices.get()))
      return DeviceProblem::NoSoundSystem;
    const DeviceProblem problem =
        source == Source::SystemSound ? OpenSystemSound(wanted) : OpenMicrophone(wanted);
    if (problem != DeviceProblem::None) return problem;
    if (FAILED(client->Start())) return DeviceProblem::Refused;
    if (renderClient) renderClient->Start();
    return DeviceProblem::None;
  }

  void Close() {
    if (client) client->Stop();
    if (renderClient) renderClient->Stop();
  }
};

DeviceProblem DeviceCapture::Start(Source source, const std::wstring& name, RecordingTime now) {
  Stop();
  now_ = std::move(now);
  missingSince_ = -1;
  opened_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  thread_ = std::thread(&DeviceCapture::Run, this, source, name);
  WaitForSingleObject(opened_.get(), INFINITE);
  if (problem_ != DeviceProblem::None) Stop();
  return problem_;
}

void DeviceCapture::Stop() {
  if (!thread_.joinable()) return;
  SetEvent(stop_.get());
  thread_.join();
}

std::optional<double> DeviceCapture::MissingSince() const {
  const double since = missingSince_;
  if (since < 0) return std::nullopt;
  return since;
}

void DeviceCapture::NoteMissing(double since) {
  if (missingSince_ < 0) missingSince_ = since;
}

void DeviceCapture::Run(Source source, std::wstring name) {
  CoInit com;
  DWORD taskIndex = 0;
  HANDLE task = AvSetMmThreadCharacteristicsW(L"Audio", &taskIndex);
  {
    Device device;
    problem_ = com.ok ? device.Open(source, name) : DeviceProblem::NoSoundSystem;
    if (problem_ == DeviceProblem::None) {
      timeline_ = std::make_unique<Timeline>(*device.format);
      deviceName_ = device.name;
      loopback_ = device.loopback;
    }
    SetEvent(opened_.get());
    if (problem_ == DeviceProblem::None) Read(device);
    device.Close();
  }
  if (task) AvRevertMmThreadCharacteristics(task);
}

// Empties the device's buffer every 10 ms into the timeline, until told to stop. Packets read
// while the recording is paused (or not yet running) are dropped: their time is not recorded.
void DeviceCapture::Read(Device& device) {
  double lastPacket = tk::MonotonicSeconds();
  bool failed = false;
  while (WaitForSingleObject(stop_.get(), kPollMs) == WAIT_TIMEOUT) {
    device.FeedSilence();
    const std::optional<double> now = now_();
    UINT32 next = 0;
    HRESULT hr = S_OK;
    while (!failed && SUCCEEDED(hr = device.capture->GetNextPacketSize(&next)) && next > 0) {
      BYTE* data = nullptr;
      UINT32 frames = 0;
      DWORD flags = 0;
      if (FAILED(hr = device.capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) break;
      if (now && frames > 0)
        timeline_->Push(data, frames, *now, (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0);
      device.capture->ReleaseBuffer(frames);
      lastPacket = tk::MonotonicSeconds();
    }
    if (FAILED(hr)) failed = true;  // unplugged, or the audio service went away
    if (!now) {
      lastPacket = tk::MonotonicSeconds();  // a pause is no silence of the device
      continue;
    }
    const double quiet = tk::MonotonicSeconds() - lastPacket;
    if (failed || quiet > kMissingAfterSeconds) NoteMissing(std::max(0.0, *now - quiet));
  }
}

SoundRecorder::Started SoundRecorder::Start(const Wanted& wanted, RecordingTime now) {
  Stop();
  devices_.clear();
  Started started;
  auto open = [&](Source source, const std::wstring& name, bool* ok, DeviceProblem* problem) {
    auto device = std::make_unique<DeviceCapture>();
    *problem = device->Start(source, name, now);
    *ok = *problem == DeviceProblem::None;
    if (*ok) devices_.push_back(std::move(device));
  };
  if (wanted.system)
    open(Source::SystemSound, wanted.systemDevice, &started.system, &started.systemProblem);
  if (wanted.microphone)
    open(Source::Microphone, wanted.microphoneDevice, &started.microphone,
         &started.microphoneProblem);
  produced_.assign(devices_.size(), {});
  return started;
}

void SoundRecorder::Produce(double until, std::vector<int16_t>* pcm) {
  if (devices_.empty()) return;
  size_t frames = SIZE_MAX;
  for (size_t i = 0; i < devices_.size(); ++i) {
    produced_[i].clear();
    devices_[i]->Sound()->Produce(until, &produced_[i]);
    frames = std::min(frames, produced_[i].size() / kOutputChannels);
  }
  std::vector<const float*> sources;
  for (const auto& p : produced_) sources.push_back(p.data());
  const size_t at = pcm->size();
  pcm->resize(at + frames * kOutputChannels);
  MixToPcm16(sources, frames, pcm->data() + at);
}

// The devices stay, stopped, until the next start: what they missed is still asked for.
void SoundRecorder::Stop() {
  for (auto& d : devices_) d->Stop();
}

std::optional<double> SoundRecorder::MissingSince() const {
  std::optional<double> first;
  for (const auto& d : devices_) {
    const std::optional<double> since = d->MissingSince();
    if (since && (!first || *since < *first)) first = since;
  }
  return first;
}

}  // namespace orvik::sound
