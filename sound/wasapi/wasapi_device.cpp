// clang-format off
#include <initguid.h>  // defines the GUIDs of the headers after it, in this file only
// clang-format on
#include "sound/wasapi/wasapi_device.h"

#include <audioclient.h>
#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>
#include <mmreg.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>

#include "sound/device_choice.h"
#include "toolkit/handles.h"
#include "toolkit/screen.h"

namespace orvik::sound {

namespace {

// The device's own buffer: a second, so that a reading thread held up (or waking every 40 ms)
// loses nothing.
constexpr REFERENCE_TIME kBufferDuration = 10'000'000;  // 1 s in 100 ns units
// More packets than a full buffer holds: a device that keeps handing packets ends a Read.
constexpr int kMostPacketsARead = 400;
constexpr ULONGLONG kDefaultCheckMs = 1000;

std::mutex g_standInMutex;
std::function<std::wstring()> g_defaultOutputStandIn;

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

std::wstring IdOf(IMMDevice* device) {
  LPWSTR id = nullptr;
  if (!device || FAILED(device->GetId(&id)) || !id) return L"";
  std::wstring text = id;
  CoTaskMemFree(id);
  return text;
}

std::wstring DefaultId(IMMDeviceEnumerator* devices, EDataFlow flow) {
  tk::ComPtr<IMMDevice> device;
  if (FAILED(devices->GetDefaultAudioEndpoint(flow, eConsole, device.put()))) return L"";
  return IdOf(device.get());
}

std::function<std::wstring()> DefaultOutputStandIn() {
  std::lock_guard<std::mutex> lock(g_standInMutex);
  return g_defaultOutputStandIn;
}

// The active endpoints, their names and directions, and which are the defaults.
struct EndpointList {
  Endpoints endpoints;
  std::vector<tk::ComPtr<IMMDevice>> devices;
  std::vector<std::wstring> ids;

  explicit EndpointList(IMMDeviceEnumerator* all) {
    tk::ComPtr<IMMDeviceCollection> active;
    UINT count = 0;
    if (FAILED(all->EnumAudioEndpoints(eAll, DEVICE_STATE_ACTIVE, active.put())) ||
        FAILED(active->GetCount(&count)))
      return;
    for (UINT i = 0; i < count; ++i) {
      tk::ComPtr<IMMDevice> device;
      tk::ComPtr<IMMEndpoint> endpoint;
      EDataFlow flow = eCapture;
      if (FAILED(active->Item(i, device.put())) ||
          FAILED(device->QueryInterface(__uuidof(IMMEndpoint), endpoint.put_void())) ||
          FAILED(endpoint->GetDataFlow(&flow)))
        continue;
      endpoints.active.push_back({FriendlyName(device.get()), flow == eRender});
      ids.push_back(IdOf(device.get()));
      devices.push_back(std::move(device));
    }
    endpoints.defaultOutput = Find(DefaultId(all, eRender));
    endpoints.defaultInput = Find(DefaultId(all, eCapture));
    if (auto standIn = DefaultOutputStandIn()) {
      const std::wstring name = standIn();
      endpoints.defaultOutput.reset();
      for (size_t i = 0; i < endpoints.active.size(); ++i)
        if (endpoints.active[i].output && endpoints.active[i].name == name)
          endpoints.defaultOutput = i;
    }
  }
  std::optional<size_t> Find(const std::wstring& id) const {
    for (size_t i = 0; i < ids.size(); ++i)
      if (!id.empty() && ids[i] == id) return i;
    return std::nullopt;
  }
};

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

// Raises a flag when the default endpoint of one direction changes (for the console role,
// the one sounds play on).
class DefaultWatch final : public IMMNotificationClient {
 public:
  DefaultWatch(EDataFlow flow, std::shared_ptr<std::atomic<bool>> changed)
      : flow_(flow), changed_(std::move(changed)) {}

  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(IMMNotificationClient))) {
      *out = static_cast<IMMNotificationClient*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override {
    if (flow == flow_ && role == eConsole) *changed_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override {
    return S_OK;
  }

 private:
  std::atomic<ULONG> refs_{1};
  EDataFlow flow_;
  std::shared_ptr<std::atomic<bool>> changed_;
};

class WasapiDevice : public CaptureDevice {
 public:
  WasapiDevice(Source source, std::wstring wanted) : source_(source), wanted_(std::move(wanted)) {}
  ~WasapiDevice() override { Close(); }

  DeviceProblem Open() override;
  DeviceFormat Format() const override { return format_; }
  bool Read(Packets* got) override;
  bool DefaultMoved() override;
  void Close() override;

 private:
  bool OpenStream(IMMDevice* endpoint, bool loopback);
  bool OpenSilence(IMMDevice* endpoint);
  void FeedSilence();
  void Follow(EDataFlow flow);
  std::wstring DefaultNow(EDataFlow flow);

  const Source source_;
  const std::wstring wanted_;
  tk::ComPtr<IMMDeviceEnumerator> devices_;
  tk::ComPtr<IAudioClient> client_;
  tk::ComPtr<IAudioCaptureClient> capture_;
  // Loopback only: silence played into the output, so loopback delivers packets while nothing
  // else plays (it sends none otherwise).
  tk::ComPtr<IAudioClient> renderClient_;
  tk::ComPtr<IAudioRenderClient> render_;
  UINT32 renderFrames_ = 0;
  DeviceFormat format_;
  // Chosen as the default of this direction: the default's id when opened, and the watch.
  std::optional<EDataFlow> follows_;
  std::wstring defaultId_;
  ULONGLONG checkedAt_ = 0;
  std::shared_ptr<std::atomic<bool>> defaultChanged_ = std::make_shared<std::atomic<bool>>(false);
  DefaultWatch* watch_ = nullptr;
  std::vector<double> stamps_;  // per packet of a Read: its last frame, in 100 ns units
};

DeviceProblem WasapiDevice::Open() {
  Close();
  if (!devices_ && FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                           __uuidof(IMMDeviceEnumerator), devices_.put_void())))
    return DeviceProblem::NoSoundSystem;
  const EndpointList list(devices_.get());
  const DeviceChoice choice = ChooseDevice(source_, wanted_, list.endpoints);
  if (choice.problem != DeviceProblem::None) return choice.problem;
  for (const Candidate& c : choice.candidates) {
    if (!OpenStream(list.devices[c.endpoint].get(), c.loopback)) continue;
    if (choice.followsDefaultOutput) Follow(*choice.followsDefaultOutput ? eRender : eCapture);
    return DeviceProblem::None;
  }
  Close();
  return DeviceProblem::Refused;
}

// Opens `endpoint` for reading, in loopback when asked, and starts it. False when it refuses.
bool WasapiDevice::OpenStream(IMMDevice* endpoint, bool loopback) {
  Close();
  WAVEFORMATEX* raw = nullptr;
  if (FAILED(endpoint->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, client_.put_void())) ||
      FAILED(client_->GetMixFormat(&raw)))
    return false;
  const UniqueMixFormat mix(raw);
  const std::optional<DeviceFormat> format = FormatOf(mix.get());
  if (!format) return false;
  format_ = *format;
  const DWORD flags = loopback ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0;
  if (FAILED(client_->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, kBufferDuration, 0, mix.get(),
                                 nullptr)) ||
      FAILED(client_->GetService(__uuidof(IAudioCaptureClient), capture_.put_void())) ||
      (loopback && !OpenSilence(endpoint)) || FAILED(client_->Start())) {
    Close();
    return false;
  }
  if (renderClient_) renderClient_->Start();
  return true;
}

bool WasapiDevice::OpenSilence(IMMDevice* endpoint) {
  WAVEFORMATEX* raw = nullptr;
  if (FAILED(endpoint->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                renderClient_.put_void())) ||
      FAILED(renderClient_->GetMixFormat(&raw)))
    return false;
  const UniqueMixFormat mix(raw);
  return SUCCEEDED(renderClient_->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, kBufferDuration, 0,
                                             mix.get(), nullptr)) &&
         SUCCEEDED(renderClient_->GetBufferSize(&renderFrames_)) &&
         SUCCEEDED(renderClient_->GetService(__uuidof(IAudioRenderClient), render_.put_void()));
}

// Tops the silent stream up to its buffer's length.
void WasapiDevice::FeedSilence() {
  UINT32 padding = 0;
  if (!render_ || FAILED(renderClient_->GetCurrentPadding(&padding)) || padding >= renderFrames_)
    return;
  BYTE* data = nullptr;
  const UINT32 frames = renderFrames_ - padding;
  if (SUCCEEDED(render_->GetBuffer(frames, &data)))
    render_->ReleaseBuffer(frames, AUDCLNT_BUFFERFLAGS_SILENT);
}

// Every packet the device holds now. A packet is timed by the performance counter the device
// stamped it with (its first frame's), so packets read together keep the times they were made
// at; one without a usable stamp ends where the packet after it begins, the last one now.
bool WasapiDevice::Read(Packets* got) {
  if (!capture_) return false;
  FeedSilence();
  const size_t first = got->list.size();
  stamps_.clear();
  HRESULT hr = S_OK;
  for (int i = 0; i < kMostPacketsARead; ++i) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 qpc = 0;
    hr = capture_->GetBuffer(&data, &frames, &flags, nullptr, &qpc);
    if (hr == AUDCLNT_S_BUFFER_EMPTY || FAILED(hr)) break;
    if (frames == 0) {  // nothing to take, though it said otherwise: no spinning on it
      capture_->ReleaseBuffer(0);
      break;
    }
    const bool silent = (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0 || !data;
    const size_t bytes = static_cast<size_t>(frames) * format_.BytesPerFrame();
    const size_t at = got->bytes.size();
    got->bytes.resize(at + bytes);
    if (silent)
      std::memset(got->bytes.data() + at, 0, bytes);
    else
      std::memcpy(got->bytes.data() + at, data, bytes);
    got->list.push_back({frames, 0, silent});
    const bool stamped = qpc != 0 && (flags & AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR) == 0;
    stamps_.push_back(stamped ? static_cast<double>(qpc) + frames * 1e7 / format_.rate : -1);
    capture_->ReleaseBuffer(frames);
  }
  const double now = tk::MonotonicSeconds() * 1e7;  // as WASAPI stamps packets: 100 ns units
  double next = now;  // where the packet after this one began, in 100 ns units
  for (size_t i = got->list.size(); i-- > first;) {
    const double stamp = stamps_[i - first];
    // Wine stamps a backlog it takes at once all alike: a packet ends no later than the next
    // one begins.
    const double end = stamp >= 0 && now - stamp < 5e7 ? std::min(stamp, next) : next;
    got->list[i].age = (now - end) / 1e7;
    next = end - got->list[i].frames * 1e7 / format_.rate;
  }
  return SUCCEEDED(hr);
}

void WasapiDevice::Follow(EDataFlow flow) {
  follows_ = flow;
  defaultId_ = DefaultNow(flow);
  checkedAt_ = GetTickCount64();
  *defaultChanged_ = false;
  watch_ = new DefaultWatch(flow, defaultChanged_);
  if (FAILED(devices_->RegisterEndpointNotificationCallback(watch_))) {
    watch_->Release();
    watch_ = nullptr;
  }
}

// The default endpoint of `flow` as this check sees it: its id, or for outputs the stand-in's
// name where one is set.
std::wstring WasapiDevice::DefaultNow(EDataFlow flow) {
  if (flow == eRender)
    if (auto standIn = DefaultOutputStandIn()) return standIn();
  return DefaultId(devices_.get(), flow);
}

bool WasapiDevice::DefaultMoved() {
  if (!follows_) return false;
  if (defaultChanged_->exchange(false)) return true;
  const ULONGLONG now = GetTickCount64();
  if (now - checkedAt_ < kDefaultCheckMs) return false;
  checkedAt_ = now;
  const std::wstring id = DefaultNow(*follows_);
  return !id.empty() && id != defaultId_;
}

void WasapiDevice::Close() {
  if (client_) client_->Stop();
  if (renderClient_) renderClient_->Stop();
  if (watch_) {
    devices_->UnregisterEndpointNotificationCallback(watch_);
    watch_->Release();
    watch_ = nullptr;
  }
  follows_.reset();
  capture_.reset();
  client_.reset();
  render_.reset();
  renderClient_.reset();
}

}  // namespace

std::unique_ptr<CaptureDevice> MakeWasapiDevice(Source source, const std::wstring& wanted) {
  return std::make_unique<WasapiDevice>(source, wanted);
}

void SetDefaultOutputStandIn(std::function<std::wstring()> defaultOutputName) {
  std::lock_guard<std::mutex> lock(g_standInMutex);
  g_defaultOutputStandIn = std::move(defaultOutputName);
}

}  // namespace orvik::sound
