#pragma once
// Sound into and out of the tests' machine: sounds played into the private PulseAudio that
// scripts/test.sh starts (scripts/pulse-env.sh), and the sound stream of a recording as
// ffmpeg decodes it.
//   Playing tone(SoundSink::Speakers, Tone{1000, 3.0});
//   ... record ...
//   EXPECT_NEAR(SoundOf(avi).Between(1.0, 2.0).Frequency(), 1000, 2);
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/sound_samples.h"

namespace testsupport {

// A recording's sound stream (its `stream`th, from 0) as 16-bit samples; Failed, with
// ffmpeg's words, when the file has no such stream.
Sound SoundOf(const std::wstring& aviPath, int stream = 0);

// Where a test's sound goes in, and which of Wine's capture devices hears it.
enum class SoundSink {
  Speakers,        // the default output; heard by kSystemSoundDevice
  Microphone,      // heard by kMicrophoneDevice, the default input
  FastMicrophone,  // heard by kFastMicrophoneDevice
  Headphones,      // a second output, which the default can change to (kHeadphonesOutput)
};
// "System sound" here: this Wine has no WASAPI loopback, so it is the speakers' monitor.
inline const wchar_t kSystemSoundDevice[] = L"Monitor of Speakers";
inline const wchar_t kMicrophoneDevice[] = L"Microphone";
inline const wchar_t kHeadphonesOutput[] = L"Headphones";
// Says 48000 Hz and delivers 48048 samples a second, as a device whose clock runs fast: a
// tone of f Hz played into it is heard at f / kFastMicrophoneRatio.
inline const wchar_t kFastMicrophoneDevice[] = L"Fast Microphone";
constexpr double kFastMicrophoneRatio = 48048.0 / 48000.0;

// A sine of `hz` with peak `amplitude` (of full scale), `seconds` long.
struct Tone {
  double hz;
  double seconds;
  double amplitude = 0.5;
};
// `seconds` of silence with a 10 ms burst of 1 kHz starting at each instant of `at` (seconds
// from the start of the sound).
struct Clicks {
  double seconds;
  std::vector<double> at;
  double amplitude = 0.8;
};

// A sound playing into a sink from its construction (within some 20-50 ms) until it ends or
// this object goes.
class Playing {
 public:
  Playing(SoundSink sink, const Tone& tone);
  Playing(SoundSink sink, const Clicks& clicks);
  ~Playing() { Stop(); }
  Playing(const Playing&) = delete;
  Playing& operator=(const Playing&) = delete;

  bool Started() const { return pid_ > 0; }
  // Why it did not start.
  const std::string& Error() const { return error_; }
  // Waits until the whole sound went into the sink; false when it still plays.
  bool WaitUntilPlayed(DWORD timeoutMs);
  void Stop();

 private:
  void Start(SoundSink sink, const std::string& sound);

  long pid_ = 0;
  std::string error_;
};

// "Paced Microphone": fed while a PacedMicrophone lives, at `rate` real samples a second while it
// says 48000 (48048: a clock 1000 ppm fast), silent but for a click at each instant of `clickAt`
// (seconds of tk::MonotonicSeconds(), the clock the feeder paces itself by), until `until`.
// Unlike a sound played through the server, a click is where the test put it however busy the
// machine: the feeder catches up with the clock rather than slipping.
inline const wchar_t kPacedMicrophoneDevice[] = L"Paced Microphone";
class PacedMicrophone {
 public:
  PacedMicrophone(double rate, double until, const std::vector<double>& clickAt);
  ~PacedMicrophone();
  PacedMicrophone(const PacedMicrophone&) = delete;
  PacedMicrophone& operator=(const PacedMicrophone&) = delete;
  bool Started() const { return pid_ > 0; }

 private:
  long pid_ = 0;
};

// Runs one of scripts/pulse-env.sh's functions (bash) against the suite's server, e.g.
// "orvik_pulse_remove_fast_mic"; its exit status.
int PulseShell(const std::string& call, std::string* output = nullptr, DWORD timeoutMs = 30000);

// Whether this test process runs beside the suite's sound server; when not, *why says so.
bool SoundServerUp(std::string* why = nullptr);

// The suite's sound server stopped (SIGSTOP) as a hung driver stops answering, from
// construction until this object goes, and `atMostSeconds` at the most whatever becomes of the
// test: a guard outside this process lets it go on then.
class FrozenSoundServer {
 public:
  explicit FrozenSoundServer(int atMostSeconds);
  ~FrozenSoundServer();
  FrozenSoundServer(const FrozenSoundServer&) = delete;
  FrozenSoundServer& operator=(const FrozenSoundServer&) = delete;
  bool Frozen() const { return frozen_; }

 private:
  bool frozen_ = false;
};

// The server's default output by the name Wine gives it ("Speakers"), asked every quarter of a
// second on a thread of its own; Name() answers at once with the last answer.
class DefaultOutputWatch {
 public:
  DefaultOutputWatch();
  ~DefaultOutputWatch();
  DefaultOutputWatch(const DefaultOutputWatch&) = delete;
  DefaultOutputWatch& operator=(const DefaultOutputWatch&) = delete;
  std::wstring Name() const;

 private:
  mutable std::mutex mutex_;
  std::wstring name_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace testsupport
