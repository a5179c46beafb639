#include "support/sound_tools.h"

#include <cstdio>
#include <cstdlib>

#include "support/unix_tools.h"

namespace testsupport {

namespace {

// The last line a command printed (the functions of pulse-env.sh print their result last).
std::string LastLine(const std::string& out) {
  const size_t end = out.find_last_not_of("\r\n");
  if (end == std::string::npos) return {};
  const size_t newline = out.find_last_of('\n', end);
  const size_t start = newline == std::string::npos ? 0 : newline + 1;
  return out.substr(start, end + 1 - start);
}

std::string Number(double v) {
  char text[32];
  snprintf(text, sizeof text, "%.6g", v);
  return text;
}

const char* SinkName(SoundSink sink) {
  switch (sink) {
    case SoundSink::Speakers:
      return "speakers";
    case SoundSink::Microphone:
      return "micsink";
    case SoundSink::FastMicrophone:
      return "fastmic_feed";
    case SoundSink::Headphones:
      return "headphones";
  }
  return "";
}

}  // namespace

int PulseShell(const std::string& call, std::string* output, DWORD timeoutMs) {
  return RunShell("bash -c " + ShellQuote(". \"$ORVIK_PULSE_ENV\" && " + call), output, timeoutMs);
}

Sound SoundOf(const std::wstring& aviPath, int stream) {
  const std::wstring wav = ScratchFile(L"snd");
  std::string out;
  const int rc = RunShell("ffmpeg -v error -y -i " + ShellQuote(UnixPath(aviPath)) +
                              " -map 0:a:" + std::to_string(stream) + " -c:a pcm_s16le -f wav " +
                              ShellQuote(UnixPath(wav)),
                          &out);
  Sound sound =
      rc == 0
          ? Sound::FromWav(ReadWholeFile(wav))
          : Sound::Failed("ffmpeg found no sound stream " + std::to_string(stream) + ": " + out);
  DeleteFileW(wav.c_str());
  return sound;
}

bool SoundServerUp(std::string* why) {
  if (GetEnvironmentVariableW(L"ORVIK_PULSE_ENV", nullptr, 0) == 0) {
    if (why) *why = "no sound server: run the test through scripts/test.sh, which starts one";
    return false;
  }
  return true;
}

Playing::Playing(SoundSink sink, const Tone& tone) {
  Start(sink,
        "tone " + Number(tone.hz) + " " + Number(tone.seconds) + " " + Number(tone.amplitude));
}

Playing::Playing(SoundSink sink, const Clicks& clicks) {
  std::string sound = "clicks " + Number(clicks.seconds) + " " + Number(clicks.amplitude) + " at";
  for (double t : clicks.at) sound += " " + Number(t);
  Start(sink, sound);
}

void Playing::Start(SoundSink sink, const std::string& sound) {
  if (!SoundServerUp(&error_)) return;
  // The fast microphone is made when first asked for, unless the suite made it already.
  const std::string call = sink == SoundSink::FastMicrophone
                               ? "orvik_pulse_add_fast_mic " + sound
                               : std::string("orvik_pulse_play ") + SinkName(sink) + " " + sound;
  std::string out;
  if (PulseShell(call, &out) == 0) pid_ = atol(LastLine(out).c_str());
  if (pid_ <= 0) error_ = "the sound did not start: " + out;
}

bool Playing::WaitUntilPlayed(DWORD timeoutMs) {
  if (pid_ <= 0) return false;
  const DWORD seconds = (timeoutMs + 999) / 1000;
  return PulseShell(
             "orvik_pulse_wait_played " + std::to_string(pid_) + " " + std::to_string(seconds),
             nullptr, timeoutMs + 10000) == 0;
}

void Playing::Stop() {
  if (pid_ <= 0) return;
  PulseShell("orvik_pulse_end " + std::to_string(pid_) + " pacat", nullptr);
  pid_ = 0;
}

PacedMicrophone::PacedMicrophone(double rate, double until, const std::vector<double>& clickAt) {
  char number[32];
  auto text = [&](double v) {
    snprintf(number, sizeof number, "%.6f", v);
    return std::string(number);
  };
  std::string call = "orvik_pulse_feed_paced_mic " + text(rate) + " " + text(until);
  for (double t : clickAt) call += " " + text(t);
  std::string out;
  if (PulseShell(call, &out) == 0) pid_ = atol(LastLine(out).c_str());
}

PacedMicrophone::~PacedMicrophone() {
  if (pid_ > 0) PulseShell("orvik_pulse_end " + std::to_string(pid_) + " python3", nullptr);
}

FrozenSoundServer::FrozenSoundServer(int atMostSeconds) {
  frozen_ = SoundServerUp() &&
            PulseShell("orvik_pulse_freeze " + std::to_string(atMostSeconds), nullptr, 10000) == 0;
}

FrozenSoundServer::~FrozenSoundServer() {
  if (frozen_) PulseShell("orvik_pulse_thaw", nullptr, 10000);
}

DefaultOutputWatch::DefaultOutputWatch() {
  thread_ = std::thread([this] {
    while (!stop_) {
      std::string out;
      if (PulseShell("orvik_pulse_default_output", &out, 10000) == 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        name_ = Wide(LastLine(out));
      }
      Sleep(250);
    }
  });
}

DefaultOutputWatch::~DefaultOutputWatch() {
  stop_ = true;
  thread_.join();
}

std::wstring DefaultOutputWatch::Name() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return name_;
}

}  // namespace testsupport
