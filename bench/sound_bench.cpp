// What recording sound costs, beside the platform's floor for it: the suite's system sound
// ("Monitor of Speakers") and microphone, a tone playing into each, recorded
//   0. not at all (the tones alone: the sound server's own work for them);
//   1. by a bare WASAPI capture client: both devices in shared mode, read on one thread every
//      40 ms until empty and thrown away, nothing else: the floor;
//   2. by our SoundRecorder, with a writer thread that takes the mixed sound every half second,
//      300 ms behind the clock, as the file's writer does.
// CPU per second of this process, the wine server and the sound server, in rounds so that the
// machine's other work falls on all three alike; ours as a ratio to the floor, the tones' own
// cost taken off both sides. Figures only; nothing is asserted.
//   sound_bench [seconds per run (10)] [rounds (6)]
#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sound/wasapi/sound_recorder.h"
#include "support/capture_devices.h"
#include "support/sound_tools.h"
#include "support/unix_tools.h"
#include "toolkit/handles.h"
#include "toolkit/screen.h"

namespace {

using testsupport::Utf8;

constexpr DWORD kWakeMs = 40;
constexpr double kWriterEverySeconds = 0.5, kWriterBehindSeconds = 0.3;
const wchar_t* const kDevices[] = {testsupport::kSystemSoundDevice, testsupport::kMicrophoneDevice};

// A Unix file read through Wine's "\\?\unix" names. Wine's server opens files for its clients,
// so /proc/self read this way is the wine server itself.
std::string UnixFile(const std::string& path) {
  std::wstring name = L"\\\\?\\unix" + testsupport::Wide(path);
  std::replace(name.begin(), name.end(), L'/', L'\\');
  tk::UniqueFile f(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (f && ReadFile(f.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  return text;
}

// CPU seconds a Unix process has used (all threads), from its stat line; 0 when unreadable.
double UnixCpuSeconds(const std::string& pid) {
  const std::string stat = UnixFile("/proc/" + pid + "/stat");
  const size_t end = stat.rfind(')');
  if (pid.empty() || end == std::string::npos) return 0;
  std::istringstream fields(stat.substr(end + 2));
  std::string field;
  double ticks = 0;
  for (int i = 0; i < 13 && fields >> field; ++i)
    if (i >= 11) ticks += std::atof(field.c_str());  // utime, stime
  return ticks / 100;                                // USER_HZ
}

double Seconds(const FILETIME& f) {
  return static_cast<double>(static_cast<uint64_t>(f.dwHighDateTime) << 32 | f.dwLowDateTime) / 1e7;
}

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  return Seconds(kernel) + Seconds(user);
}

double ThreadCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  return Seconds(kernel) + Seconds(user);
}

struct Pids {
  std::string wineserver, soundServer;
};

Pids FindPids() {
  Pids p;
  const std::string self = UnixFile("/proc/self/stat");
  p.wineserver = self.substr(0, self.find(' '));
  wchar_t dir[1024] = {};
  if (GetEnvironmentVariableW(L"ORVIK_PULSE_DIR", dir, 1024) > 0) {
    const std::string pid = UnixFile(Utf8(dir) + "/server.pid");
    p.soundServer = pid.substr(0, pid.find_first_of("\r\n"));
  }
  return p;
}

// CPU seconds per second of one run, where they went.
struct Cost {
  double process = 0, wineserver = 0, soundServer = 0, writer = 0;
  double Total() const { return process + wineserver + soundServer; }
};

Cost Measure(const Pids& pids, const std::function<void()>& during) {
  const double p0 = ProcessCpuSeconds(), w0 = UnixCpuSeconds(pids.wineserver),
               s0 = UnixCpuSeconds(pids.soundServer), t0 = tk::MonotonicSeconds();
  during();
  const double elapsed = tk::MonotonicSeconds() - t0;
  Cost c;
  c.process = (ProcessCpuSeconds() - p0) / elapsed;
  c.wineserver = (UnixCpuSeconds(pids.wineserver) - w0) / elapsed;
  c.soundServer = (UnixCpuSeconds(pids.soundServer) - s0) / elapsed;
  return c;
}

// ---- 1. the bare client ----

struct BareStream {
  tk::ComPtr<IAudioClient> client;
  tk::ComPtr<IAudioCaptureClient> capture;
};

tk::ComPtr<IMMDevice> CaptureEndpoint(IMMDeviceEnumerator* devices, const std::wstring& name) {
  tk::ComPtr<IMMDeviceCollection> all;
  UINT count = 0;
  if (FAILED(devices->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, all.put())) ||
      FAILED(all->GetCount(&count)))
    return {};
  for (UINT i = 0; i < count; ++i) {
    tk::ComPtr<IMMDevice> device;
    tk::ComPtr<IPropertyStore> props;
    if (FAILED(all->Item(i, device.put())) ||
        FAILED(device->OpenPropertyStore(STGM_READ, props.put())))
      continue;
    // PKEY_Device_FriendlyName
    const PROPERTYKEY key = {
        {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};
    PROPVARIANT value;
    PropVariantInit(&value);
    const bool match =
        SUCCEEDED(props->GetValue(key, &value)) && value.vt == VT_LPWSTR && name == value.pwszVal;
    PropVariantClear(&value);
    if (match) return device;
  }
  return {};
}

bool OpenBare(IMMDeviceEnumerator* devices, const std::wstring& name, BareStream* s) {
  tk::ComPtr<IMMDevice> device = CaptureEndpoint(devices, name);
  WAVEFORMATEX* mix = nullptr;
  if (!device ||
      FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, s->client.put_void())) ||
      FAILED(s->client->GetMixFormat(&mix)))
    return false;
  const bool ok =
      SUCCEEDED(s->client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 10'000'000, 0, mix, nullptr)) &&
      SUCCEEDED(s->client->GetService(__uuidof(IAudioCaptureClient), s->capture.put_void())) &&
      SUCCEEDED(s->client->Start());
  CoTaskMemFree(mix);
  return ok;
}

void RecordBare(double seconds) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  {
    tk::ComPtr<IMMDeviceEnumerator> devices;
    CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                     __uuidof(IMMDeviceEnumerator), devices.put_void());
    std::vector<BareStream> streams(std::size(kDevices));
    for (size_t i = 0; i < streams.size(); ++i)
      if (!devices || !OpenBare(devices.get(), kDevices[i], &streams[i]))
        std::printf("   the bare client could not open %s\n", Utf8(kDevices[i]).c_str());
    const double end = tk::MonotonicSeconds() + seconds;
    while (tk::MonotonicSeconds() < end) {
      Sleep(kWakeMs);
      for (BareStream& s : streams) {
        BYTE* data = nullptr;
        UINT32 frames = 0;
        DWORD flags = 0;
        while (s.capture && s.capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr) == S_OK)
          s.capture->ReleaseBuffer(frames);
      }
    }
    for (BareStream& s : streams)
      if (s.client) s.client->Stop();
  }
  CoUninitialize();
}

// ---- 2. ours ----

double RecordOurs(double seconds) {
  orvik::sound::SoundRecorder recorder;
  orvik::sound::SoundRecorder::Wanted wanted;
  wanted.system = wanted.microphone = true;
  wanted.systemDevice = kDevices[0];
  wanted.microphoneDevice = kDevices[1];
  const double start = tk::MonotonicSeconds();
  auto elapsed = [start] { return tk::MonotonicSeconds() - start; };
  const auto started = recorder.Start(wanted, [&]() -> std::optional<double> { return elapsed(); });
  if (!started.system || !started.microphone) std::printf("   ours did not start both sources\n");
  std::atomic<bool> done{false};
  double writerCpu = 0;
  std::thread writer([&] {
    std::vector<int16_t> pcm;
    while (!done) {
      Sleep(static_cast<DWORD>(kWriterEverySeconds * 1000));
      pcm.clear();
      recorder.Produce(elapsed() - kWriterBehindSeconds, &pcm);
    }
    writerCpu = ThreadCpuSeconds();
  });
  Sleep(static_cast<DWORD>(seconds * 1000));
  done = true;
  writer.join();
  recorder.Stop();
  return writerCpu / seconds;
}

void Print(const char* what, const Cost& c) {
  std::printf("   %-34s %6.2f%% CPU: process %6.2f%%, wine server %5.2f%%, sound server %5.2f%%",
              what, 100 * c.Total(), 100 * c.process, 100 * c.wineserver, 100 * c.soundServer);
  if (c.writer > 0) std::printf(" (the writer's Produce %.2f%%)", 100 * c.writer);
  std::printf("\n");
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::max(2.0, std::atof(argv[1])) : 10;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 6;
  std::string why;
  if (!testsupport::SoundServerUp(&why)) {
    std::printf("sound_bench: %s\n", why.c_str());
    return 1;
  }
  const Pids pids = FindPids();
  std::printf("sound_bench: %.0f s runs, %d rounds; wine server pid %s, sound server pid %s\n",
              seconds, rounds, pids.wineserver.c_str(), pids.soundServer.c_str());
  const double toneSeconds = (3 * seconds + 5) * rounds + 10;
  testsupport::Playing speakers(testsupport::SoundSink::Speakers,
                                testsupport::Tone{1000, toneSeconds, 0.3});
  testsupport::Playing microphone(testsupport::SoundSink::Microphone,
                                  testsupport::Tone{440, toneSeconds, 0.3});
  Sleep(1000);
  // Wine reads the device list once, when the process first uses sound: before any figure.
  testsupport::CaptureDeviceNames();
  std::vector<double> floors, ours, floorsOwn, oursOwn;
  for (int r = 0; r < rounds; ++r) {
    std::printf("round %d\n", r + 1);
    const Cost idle = Measure(pids, [&] { Sleep(static_cast<DWORD>(seconds * 1000)); });
    Print("0. the tones alone", idle);
    const Cost bare = Measure(pids, [&] { RecordBare(seconds); });
    Print("1. bare WASAPI client, 40 ms", bare);
    double writer = 0;
    Cost mine = Measure(pids, [&] { writer = RecordOurs(seconds); });
    mine.writer = writer;
    Print("2. our SoundRecorder", mine);
    floors.push_back(bare.Total() - idle.Total());
    ours.push_back(mine.Total() - idle.Total());
    floorsOwn.push_back(bare.process - idle.process);
    oursOwn.push_back(mine.process - idle.process);
    std::printf("   less the tones: floor %.2f%%, ours %.2f%%: ratio %.2f\n", 100 * floors.back(),
                100 * ours.back(), ours.back() / floors.back());
  }
  const double floor = Median(floors), mine = Median(ours);
  std::printf(
      "Summary: recording both devices costs %.2f%% CPU (medians of %d rounds, with the wine and "
      "sound servers, the tones' own cost taken off); the bare client %.2f%%: ratio %.2f (target "
      "1.2). At 10 fps that is %.2f ms a frame (floor %.2f ms).\n",
      100 * mine, rounds, 100 * floor, mine / floor, mine * 100, floor * 100);
  std::printf("   this process alone: ours %.2f%%, the bare client %.2f%%: ratio %.2f\n",
              100 * Median(oursOwn), 100 * Median(floorsOwn), Median(oursOwn) / Median(floorsOwn));
  return 0;
}
